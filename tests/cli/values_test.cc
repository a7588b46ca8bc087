#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cli/json_values.h"
#include "cli/reply_text.h"

namespace tavlune::cli {
namespace {

using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;
using platform::json::Json;

TEST(JsonValues, JsonToChannel) {
  struct Case {
    const char* json;
    EncodableValue expected;
  } cases[] = {
      {"null", EncodableValue()},
      {"true", EncodableValue(true)},
      {"2147483647", EncodableValue(int32_t{2147483647})},
      {"-2147483648", EncodableValue(int32_t{-2147483647 - 1})},
      {"2147483648", EncodableValue(int64_t{2147483648})},
      {"-9223372036854775808", EncodableValue(std::numeric_limits<int64_t>::min())},
      {"9223372036854775807", EncodableValue(std::numeric_limits<int64_t>::max())},
      {"1.5", EncodableValue(1.5)},
      {"\"x\"", EncodableValue("x")},
      {"[1,\"a\",[]]", EncodableValue(EncodableList{EncodableValue(int32_t{1}), EncodableValue("a"),
                                                    EncodableValue(EncodableList{})})},
      {"{\"enabled\":false}", EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(false)}})},
  };
  for (const auto& c : cases) {
    auto json = platform::json::parse(c.json);
    ASSERT_TRUE(json) << c.json;
    auto value = toEncodable(*json);
    ASSERT_TRUE(value) << c.json;
    EXPECT_EQ(*value, c.expected) << c.json;
  }
  auto tooBig = toEncodable(*platform::json::parse("[9223372036854775808]"));
  ASSERT_FALSE(tooBig);
  EXPECT_EQ(tooBig.error(), "the number 9223372036854775808 is beyond the 64-bit range");
}

TEST(JsonValues, ChannelToJson) {
  struct Case {
    const char* name;
    EncodableValue value;
    const char* expected;
  } cases[] = {
      {"null", EncodableValue(), "null"},
      {"int64", EncodableValue(int64_t{1700000000900}), "1700000000900"},
      {"NaN has no JSON form", EncodableValue(std::nan("")), "null"},
      {"infinity neither", EncodableValue(std::numeric_limits<double>::infinity()), "null"},
      {"bytes", EncodableValue(std::vector<uint8_t>{0, 255}), "[0,255]"},
      {"float64 list", EncodableValue(std::vector<double>{0.5, std::nan("")}), "[0.5,null]"},
      {"map keyed by text",
       EncodableValue(EncodableMap{{EncodableValue("phase"), EncodableValue("offline")}}),
       "{\"phase\":\"offline\"}"},
      {"map with other keys: pairs, none lost",
       EncodableValue(EncodableMap{{EncodableValue(int32_t{1}), EncodableValue("a")},
                                   {EncodableValue("1"), EncodableValue("b")}}),
       "[[1,\"a\"],[\"1\",\"b\"]]"},
  };
  for (const auto& c : cases) EXPECT_EQ(toJson(c.value).dump(), c.expected) << c.name;
}

EncodableValue map(std::initializer_list<std::pair<const char*, EncodableValue>> entries) {
  EncodableMap out;
  for (const auto& [key, value] : entries) out[EncodableValue(key)] = value;
  return EncodableValue(out);
}

// Times in the local zone: a zone two hours east of UTC, with no zone database needed.
class LocalZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* zone = std::getenv("TZ");
    saved_ = zone ? std::optional<std::string>(zone) : std::nullopt;
    setenv("TZ", "TST-2", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_) setenv("TZ", saved_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(LocalZone, Status) {
  struct Case {
    const char* name;
    EncodableValue state;
    const char* expected;
  } cases[] = {
      {"offline", map({{"phase", EncodableValue("offline")}}), "Not connected.\n"},
      {"another phase", map({{"phase", EncodableValue("connecting")}}), "Phase: connecting\n"},
      {"not a map", EncodableValue(true), "Phase: unknown\n"},
      {"the five fixed keys only",
       map({{"phase", EncodableValue("connected")},
            {"connectionType", EncodableValue("manual")},
            {"sessionId", EncodableValue(int32_t{0})},
            {"protocol", EncodableValue("socks5")},
            {"connectedAt", EncodableValue(int64_t{1700000000900})}}),
       "Connected (socks5, manual) since 2023-11-15 00:13:20 TST.\n"},
      {"everything",
       map({{"phase", EncodableValue("connected")},
            {"connectionType", EncodableValue("residential")},
            {"sessionId", EncodableValue(int32_t{42})},
            {"protocol", EncodableValue("http")},
            {"connectedAt", EncodableValue(int64_t{0})},
            {"profileId", EncodableValue("p1")},
            {"countryCode", EncodableValue("DE")},
            {"country", EncodableValue("Germany")},
            {"city", EncodableValue("Berlin")}}),
       "Connected (http, residential) since 1970-01-01 02:00:00 TST.\n"
       "  profile:  p1\n  session:  42\n  location: Berlin, Germany (DE)\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(statusText(c.state), c.expected) << c.name;

  // With the window channel's view: the proxy itself, the services, the protection.
  const EncodableValue state = map({{"phase", EncodableValue("connected")}, {"connectionType", EncodableValue("manual")},
                                    {"protocol", EncodableValue("socks5")}, {"connectedAt", EncodableValue(int64_t{0})}});
  const EncodableValue details = map({{"phase", EncodableValue("connected")},
                                      {"protocol", EncodableValue("socks5")},
                                      {"host", EncodableValue("::1")},
                                      {"port", EncodableValue(int32_t{1080})},
                                      {"connectedAt", EncodableValue(int64_t{0})},
                                      {"services", EncodableValue(EncodableList{EncodableValue("Wi-Fi"),
                                                                                EncodableValue("Ethernet")})},
                                      {"webRtcProtection", EncodableValue(true)}});
  EXPECT_EQ(statusText(state, &details),
            "Connected through socks5://[::1]:1080 since 1970-01-01 02:00:00 TST.\n"
            "  services: Wi-Fi, Ethernet\n  WebRTC:   protection on\n  type:     manual\n");
}

TEST(ReplyText, Inspect) {
  EXPECT_EQ(inspectText(map({{"ip", EncodableValue("203.0.113.7")},
                             {"country", EncodableValue("Germany")},
                             {"countryCode", EncodableValue("DE")},
                             {"city", EncodableValue("")},
                             {"state", EncodableValue("Berlin")},
                             {"isp", EncodableValue("Example Net")},
                             {"speed", EncodableValue("12.5 Mbps")}})),
            "IP address: 203.0.113.7\nCountry:    Germany (DE)\nRegion:     Berlin\nCity:       unknown\n"
            "ISP:        Example Net\nSpeed:      12.5 Mbps\n");
}

}  // namespace
}  // namespace tavlune::cli
