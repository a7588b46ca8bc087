// The conversation between the application and TavluneProxyHelper: one
// connection per request, one JSON object on one line each way. Both sides
// build their socket address, frame their lines and spell their texts from
// here.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace tavlune::helperprotocol {

inline constexpr std::string_view kSocketPath = "/var/run/com.tavlune.proxyhelper.sock";
inline constexpr int64_t kHelperVersion = 2;

// What the daemon's Chrome commands change, read back by the application to
// report whether the protection is on.
inline constexpr std::string_view kChromePolicyPath = "/Library/Managed Preferences/com.google.Chrome.plist";
inline constexpr std::string_view kWebRTCPolicyKey = "WebRtcIPHandlingPolicy";
inline constexpr std::string_view kWebRTCPolicyValue = "disable_non_proxied_udp";

// The whole sockaddr_un (length byte, family byte, 104-byte path), as both
// sides pass it to bind and connect.
inline constexpr socklen_t kAddressLength = 106;

// A command line is networksetup runs joined by "&&": the only lines the
// helper runs, and the only ones the application builds.
inline constexpr std::string_view kToolPath = "/usr/sbin/networksetup";
inline constexpr std::string_view kChainSeparator = "&&";
// The helper refuses a line of this many characters (extended grapheme
// clusters, as people count them) or more.
inline constexpr std::size_t kMaxCommandCharacters = 131072;

inline constexpr std::string_view kPingCommand = "ping";
inline constexpr std::string_view kChromeWebRTCOnCommand = "chrome-webrtc-on";
inline constexpr std::string_view kChromeWebRTCOffCommand = "chrome-webrtc-off";

inline constexpr std::string_view kUnauthorizedText = "Unauthorized helper client.";
inline constexpr std::string_view kInvalidCommandText = "Invalid proxy command.";

struct Request {
  std::string command;
};

struct Reply {
  bool ok = false;
  std::optional<std::string> error;  // sent only when ok is false
  std::optional<int64_t> version;    // sent only in the reply to "ping"
  bool operator==(const Reply&) const = default;

  static Reply success() { return Reply{true, std::nullopt, std::nullopt}; }
  static Reply pong() { return Reply{true, std::nullopt, kHelperVersion}; }
  static Reply failure(std::string text) { return Reply{false, std::move(text), std::nullopt}; }
};

// Zeroed, family AF_UNIX, then the path's bytes and one zero byte. The path
// is not checked: it must fit in 103 bytes, as the fixed path does.
sockaddr_un makeAddress(std::string_view path = kSocketPath);

// The request line: compact JSON with "/" written as "\/", then a line feed.
platform::Result<std::string> encodeRequest(const Request& request);
// Any JSON object with a string "command"; other keys are ignored.
std::optional<Request> decodeRequest(std::string_view message);

// The reply line: compact JSON, then a line feed. Fails only on text that is
// not UTF-8.
platform::Result<std::string> encodeReply(const Reply& reply);
// The reply as the application reads it. Not JSON: the reader's error; JSON
// but not an object: absent. Otherwise "ok" holds only when it is the boolean
// true; "error" is kept when it is a text, and "version" when it is a number
// of whole value (2.0 is 2; "2" and 2.5 are no version).
platform::Result<std::optional<Reply>> decodeReply(std::string_view message);

}  // namespace tavlune::helperprotocol
