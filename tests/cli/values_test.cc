#include <gtest/gtest.h>

#include <cmath>

#include "cli/error_hints.h"
#include "cli/json_values.h"
#include "cli/reply_text.h"

namespace tavlune::cli {
namespace {

using channel::EncodableList, channel::EncodableMap, channel::EncodableValue;
using Pairs = std::initializer_list<std::pair<const char*, EncodableValue>>;
EncodableValue map(Pairs entries) {
  EncodableMap out;
  for (const auto& [key, value] : entries) out[EncodableValue(key)] = value;
  return EncodableValue(out);
}
EncodableValue i32(int32_t v) { return EncodableValue(v); }
EncodableValue i64(int64_t v) { return EncodableValue(v); }
EncodableValue text(const char* v) { return EncodableValue(v); }

TEST(JsonValues, BothWays) {
  for (const auto& [json, expected] : std::initializer_list<std::pair<const char*, EncodableValue>>{
           {"null", EncodableValue()}, {"true", EncodableValue(true)}, {"2147483647", i32(2147483647)},
           {"-2147483648", i32(-2147483647 - 1)}, {"2147483648", i64(2147483648)},
           {"-9223372036854775808", i64(INT64_MIN)}, {"9223372036854775807", i64(INT64_MAX)}, {"1.5", EncodableValue(1.5)},
           {"\"x\"", text("x")}, {"[1,\"a\",[]]", EncodableValue(EncodableList{i32(1), text("a"), EncodableValue(EncodableList{})})},
           {"{\"enabled\":false}", map({{"enabled", EncodableValue(false)}})}})
    EXPECT_EQ(toEncodable(platform::json::parse(json).value()).value(), expected) << json;
  auto tooBig = toEncodable(*platform::json::parse("[9223372036854775808]"));
  EXPECT_EQ(tooBig ? "accepted" : tooBig.error(), "the number 9223372036854775808 is beyond the 64-bit range");
  for (const auto& [value, expected] : std::initializer_list<std::pair<EncodableValue, const char*>>{
           {EncodableValue(), "null"}, {i64(1700000000900), "1700000000900"}, {EncodableValue(std::nan("")), "null"},
           {EncodableValue(HUGE_VAL), "null"}, {EncodableValue(std::vector<uint8_t>{0, 255}), "[0,255]"},
           {EncodableValue(std::vector<double>{0.5, std::nan("")}), "[0.5,null]"}, {map({{"phase", text("offline")}}), "{\"phase\":\"offline\"}"},
           // A map with keys other than text: pairs, none lost.
           {EncodableValue(EncodableMap{{i32(1), text("a")}, {text("1"), text("b")}}), "[[1,\"a\"],[\"1\",\"b\"]]"}})
    EXPECT_EQ(toJson(value).dump(), expected) << expected;
}

// Times in the local zone: a zone two hours east of UTC, with no zone database needed.
TEST(ReplyText, StatusInspectAndHints) {
  const char* zone = std::getenv("TZ");
  const std::optional<std::string> saved = zone ? std::optional<std::string>(zone) : std::nullopt;
  setenv("TZ", "TST-2", 1), tzset();
  const Pairs connected = {{"phase", text("connected")}, {"protocol", text("socks5")}, {"connectedAt", i64(0)}};
  EncodableValue details = map(connected), state = map(connected);
  std::get<EncodableMap>(state)[text("connectionType")] = text("manual");
  for (const auto& [key, value] : Pairs{{"host", text("::1")}, {"port", i32(1080)}, {"webRtcProtection", EncodableValue(true)},
                                        {"services", EncodableValue(EncodableList{text("Wi-Fi"), text("Ethernet")})}})
    std::get<EncodableMap>(details)[text(key)] = value;
  for (const auto& [value, expected] : std::initializer_list<std::pair<EncodableValue, const char*>>{
           {map({{"phase", text("offline")}}), "Not connected.\n"}, {map({{"phase", text("connecting")}}), "Phase: connecting\n"},
           {EncodableValue(true), "Phase: unknown\n"},
           {map({{"phase", text("connected")}, {"connectionType", text("manual")}, {"sessionId", i32(0)},
                 {"protocol", text("socks5")}, {"connectedAt", i64(1700000000900)}}),
            "Connected (socks5, manual) since 2023-11-15 00:13:20 TST.\n"},
           {map({{"phase", text("connected")}, {"connectionType", text("residential")}, {"sessionId", i32(42)},
                 {"protocol", text("http")}, {"connectedAt", i64(0)}, {"profileId", text("p1")}, {"countryCode", text("DE")},
                 {"country", text("Germany")}, {"city", text("Berlin")}}),
            "Connected (http, residential) since 1970-01-01 02:00:00 TST.\n"
            "  profile:  p1\n  session:  42\n  location: Berlin, Germany (DE)\n"}})
    EXPECT_EQ(statusText(value), expected);
  // With the window channel's view: the proxy itself, the services, the protection.
  EXPECT_EQ(statusText(state, &details), "Connected through socks5://[::1]:1080 since 1970-01-01 02:00:00 TST.\n"
                                         "  services: Wi-Fi, Ethernet\n  WebRTC:   protection on\n  type:     manual\n");
  saved ? setenv("TZ", saved->c_str(), 1) : unsetenv("TZ");
  tzset();
  EXPECT_EQ(inspectText(map({{"ip", text("203.0.113.7")}, {"country", text("Germany")}, {"countryCode", text("DE")},
                             {"city", text("")}, {"state", text("Berlin")}, {"isp", text("Example Net")}, {"speed", text("12.5 Mbps")}})),
            "IP address: 203.0.113.7\nCountry:    Germany (DE)\nRegion:     Berlin\nCity:       unknown\n"
            "ISP:        Example Net\nSpeed:      12.5 Mbps\n");
  // A command's own hint first, then the one for any command, else none.
  for (const auto& [command, code, part] : std::initializer_list<std::tuple<const char*, const char*, const char*>>{
           {"connect", "EXISTING_PROXY_ACTIVE", "switch it off"}, {"inspect", "PROXY_VALIDATION_FAILED", "nothing to inspect"},
           {"connect", "PROXY_VALIDATION_FAILED", "did not carry"}, {"status", "PROXY_VALIDATION_FAILED", ""}, {"connect", "X", ""}}) {
    const std::string hint = errorHint(command, code);
    EXPECT_TRUE(*part ? hint.find(part) != std::string::npos : hint.empty()) << command << " " << code << ": " << hint;
  }
}

}  // namespace
}  // namespace tavlune::cli
