// Replies of the manager written for people.
#pragma once

#include <string>

#include "channel/encodable_value.h"

namespace tavlune::cli {

// The "getConnectionState" map: "Not connected." or the connection and what
// was recorded with it, one item a line. details is the window channel's
// "connection" map (proxy, services, WebRTC protection), when there is one.
std::string statusText(const channel::EncodableValue& state, const channel::EncodableValue* details = nullptr);

// The "inspectProxy" map of the connected proxy's diagnostic.
std::string inspectText(const channel::EncodableValue& diagnostic);

// Milliseconds since 1970 as "YYYY-MM-DD HH:MM:SS ZONE", in the local time zone.
std::string localTime(int64_t millisecondsSince1970);

// A connect under way, from the window channel's progress map: "Connecting
// through PROTOCOL://HOST:PORT: checking the proxy, pass 2 of 5 ...".
std::string connectingText(const channel::EncodableValue& progress);

// The window channel's view of the proxy settings in force: each enabled
// service's, then the live ones.
std::string systemProxyText(const channel::EncodableValue& view);

// "PROTOCOL://HOST:PORT since TIME" of a connection map that has them; empty otherwise.
std::string connectionSummary(const channel::EncodableValue& details);

}  // namespace tavlune::cli
