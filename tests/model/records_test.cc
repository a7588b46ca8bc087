#include <gtest/gtest.h>

#include "manager/flutter_values.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"

namespace tavlune {
namespace {
using namespace tavlune::model;
using channel::EncodableMap;
using channel::EncodableValue;
using State = MacProxyConnectionState;

const State kFull{"203.0.113.7", 1080, "socks5", "residential", "p-1", 42, "DE", "Germany", "Bavaria", "Munich", 1700000000900};
const State kMinimal{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 5};

template <typename Record>
bool decodes(const std::string& text) {
  auto json = platform::json::parse(text);
  return json && recordFromJson<Record>(*json).has_value();
}

EncodableValue map(std::initializer_list<std::pair<const char*, EncodableValue>> entries) {
  EncodableMap m;
  for (const auto& [key, value] : entries) m[EncodableValue(key)] = value;
  return EncodableValue(m);
}

TEST(Records, RoundTripThroughUserDefaults) {
  platform::MemoryUserDefaults defaults;
  const MacProxySnapshot snapshot{{{"Wi-Fi", {0x62, 0x70, 0x00, 0xff}}, {"Ethernet 'x'", {}}}};
  const MacProxyDiagnostic diagnostic{"198.51.100.1", "Germany", "DE", "Berlin", "Berlin", "Example ISP", "12.3 Mbps"};
  for (const State& state : {kFull, kMinimal}) {
    ASSERT_TRUE(saveRecord(defaults, state).has_value());
    EXPECT_EQ(loadRecord<State>(defaults), state);
  }
  ASSERT_TRUE(saveRecord(defaults, snapshot).has_value());
  EXPECT_EQ(loadRecord<MacProxySnapshot>(defaults), snapshot);
  ASSERT_TRUE(saveRecord(defaults, diagnostic).has_value());
  EXPECT_EQ(loadRecord<MacProxyDiagnostic>(defaults), diagnostic);
  ASSERT_TRUE(removeRecord<State>(defaults).has_value());
  ASSERT_TRUE(removeRecord<State>(defaults).has_value());  // harmless twice
  EXPECT_FALSE(loadRecord<State>(defaults).has_value());
  EXPECT_EQ(toJson(kMinimal).size(), 6u);  // absent optional members are left out
  EXPECT_EQ(toJson(MacProxySnapshot{{{"Wi-Fi", {0xfb, 0xff}}}}).dump(), R"({"services":[{"configuration":"+/8=","name":"Wi-Fi"}]})");
}

TEST(Records, DecodingRules) {
  const std::string s = R"({"host":"h","port":80,"proxyProtocol":"http","connectionType":"manual","sessionId":0)";
  const std::string d = R"({"ip":"1","country":"c","countryCode":"C","city":"x","state":"s","isp":"i")";
  const std::pair<std::string, bool> states[] = {
      {s + R"(,"connectedAt":5})", true}, {s + R"(,"connectedAt":5,"profileId":null,"extra":[1,{}]})", true},
      {s + R"(,"connectedAt":5.0})", true}, {s + "}", false}, {s + R"(,"connectedAt":null})", false},
      {s + R"(,"connectedAt":5.5})", false}, {s + R"(,"connectedAt":"5"})", false},
      {s + R"(,"connectedAt":5,"city":7})", false},  // optional of the wrong type
      {R"({"host":"h","port":"80","proxyProtocol":"http","connectionType":"manual","sessionId":0,"connectedAt":5})", false},
      {"[1]", false},
  };
  for (const auto& [json, loads] : states) EXPECT_EQ(decodes<State>(json), loads) << json;
  EXPECT_TRUE(decodes<MacProxyDiagnostic>(d + R"(,"speed":""})"));
  EXPECT_FALSE(decodes<MacProxyDiagnostic>(d + "}"));
  const std::pair<std::string, bool> snapshots[] = {
      {R"({"services":[]})", true}, {R"({"services":[{"name":"Wi-Fi","configuration":"YnBsaXN0"}]})", true},
      {R"({"services":[{"name":"Wi-Fi","configuration":"YnBsaXN0="}]})", false},  // bad Base64
      {R"({"services":[{"name":"Wi-Fi","configuration":"YnBs aXN0"}]})", false},
      {R"({"services":[{"name":"Wi-Fi"}]})", false}, {R"({"services":{}})", false}, {R"({})", false},
  };
  for (const auto& [json, loads] : snapshots) EXPECT_EQ(decodes<MacProxySnapshot>(json), loads) << json;
}

TEST(Records, UnreadableOrUnwritableEntriesKeepWhatWasThere) {
  platform::MemoryUserDefaults defaults;
  const std::string broken = R"({"host":"h","port":"80"})";
  ASSERT_TRUE(defaults.setData(recordKey<State>, platform::Bytes(broken.begin(), broken.end())).has_value());
  EXPECT_FALSE(loadRecord<State>(defaults).has_value());
  EXPECT_TRUE(defaults.data(recordKey<State>).has_value());
  defaults.setString(recordKey<State>, "not data");
  EXPECT_FALSE(loadRecord<State>(defaults).has_value());

  ASSERT_TRUE(saveRecord(defaults, kFull).has_value());
  State invalid = kFull;
  invalid.host = "\xff";  // not UTF-8: cannot be written as JSON
  EXPECT_FALSE(saveRecord(defaults, invalid).has_value());
  defaults.setFailWrites(true);
  EXPECT_FALSE(saveRecord(defaults, kMinimal).has_value());
  EXPECT_EQ(loadRecord<State>(defaults), kFull);
}

TEST(Records, ChannelForms) {
  EXPECT_EQ(manager::flutterValue(kFull),
            map({{"phase", EncodableValue("connected")}, {"connectionType", EncodableValue("residential")},
                 {"sessionId", EncodableValue(42)}, {"protocol", EncodableValue("socks5")},
                 {"connectedAt", EncodableValue(int64_t{1700000000900})}, {"profileId", EncodableValue("p-1")},
                 {"countryCode", EncodableValue("DE")}, {"country", EncodableValue("Germany")},
                 {"state", EncodableValue("Bavaria")}, {"city", EncodableValue("Munich")}}));
  EXPECT_EQ(manager::flutterValue(kMinimal),
            map({{"phase", EncodableValue("connected")}, {"connectionType", EncodableValue("manual")},
                 {"sessionId", EncodableValue(0)}, {"protocol", EncodableValue("http")},
                 {"connectedAt", EncodableValue(int64_t{5})}}));
  const auto e = EncodableValue("");
  EXPECT_EQ(manager::flutterValue(MacProxyDiagnostic{}), map({{"ip", e}, {"country", e}, {"countryCode", e},
                                                              {"city", e}, {"state", e}, {"isp", e}, {"speed", e}}));
}

// The markers of a proxy that closed on the gateway, in any case, anywhere in the text.
TEST(MacProxyError, GatewayMarkersInAnyCase) {
  const std::string gateway = localizedDescription(MacProxyError::validationFailed("curl: (97)"));
  EXPECT_NE(gateway, "curl: (97)");
  for (const char* raw : {"before CURL: (97) after", "Connection to proxy closed", "x PROXY CONNECTION ABORTED"})
    EXPECT_EQ(localizedDescription(MacProxyError::validationFailed(raw)), gateway) << raw;
  for (const char* raw : {"curl: (9) other", "Some Mixed Case Text", "   "})
    EXPECT_EQ(localizedDescription(MacProxyError::validationFailed(raw)), raw);
}

}  // namespace
}  // namespace tavlune
