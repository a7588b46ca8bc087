// Replies of the manager written for people.
#pragma once

#include <string>

#include "channel/encodable_value.h"

namespace tavlune::cli {

// The "getConnectionState" map: "Not connected." or the connection and what
// was recorded with it, one item a line.
std::string statusText(const channel::EncodableValue& state);

// The "inspectProxy" map of the connected proxy's diagnostic.
std::string inspectText(const channel::EncodableValue& diagnostic);

// Milliseconds since 1970 as "YYYY-MM-DD HH:MM:SS UTC".
std::string utcTime(int64_t millisecondsSince1970);

}  // namespace tavlune::cli
