#include <gtest/gtest.h>

#include "manager/flutter_values.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"

namespace tavlune {
namespace {
using namespace tavlune::model;
using namespace tavlune::manager;

using channel::EncodableMap;
using channel::EncodableValue;
using platform::json::Json;

MacProxyConnectionState fullState() {
  return {"203.0.113.7", 1080, "socks5", "residential", "p-1", 42, "DE", "Germany", "Berlin", "Berlin",
          1700000000900};
}

std::set<std::string> keysOf(const EncodableValue& value) {
  std::set<std::string> keys;
  for (const auto& [key, _] : std::get<EncodableMap>(value)) keys.insert(std::get<std::string>(key));
  return keys;
}

template <typename Record>
std::optional<Record> decode(const std::string& text) {
  auto json = platform::json::parse(text);
  return json ? recordFromJson<Record>(*json) : std::nullopt;
}

TEST(Records, RoundTripThroughUserDefaults) {
  platform::MemoryUserDefaults defaults;
  MacProxyConnectionState minimal{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 5};
  MacProxySnapshot snapshot{{{"Wi-Fi", {0x62, 0x70, 0x00, 0xff}}, {"Ethernet 'x'", {}}}};
  MacProxyDiagnostic diagnostic{"198.51.100.1", "Germany", "DE", "Berlin", "Berlin", "Example ISP", "12.3 Mbps"};

  ASSERT_TRUE(saveRecord(defaults, fullState()).has_value());
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(defaults), fullState());
  ASSERT_TRUE(saveRecord(defaults, minimal).has_value());
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(defaults), minimal);
  ASSERT_TRUE(saveRecord(defaults, snapshot).has_value());
  EXPECT_EQ(loadRecord<MacProxySnapshot>(defaults), snapshot);
  ASSERT_TRUE(saveRecord(defaults, diagnostic).has_value());
  EXPECT_EQ(loadRecord<MacProxyDiagnostic>(defaults), diagnostic);

  ASSERT_TRUE(removeRecord<MacProxyConnectionState>(defaults).has_value());
  ASSERT_TRUE(removeRecord<MacProxyConnectionState>(defaults).has_value());  // harmless twice
  EXPECT_FALSE(loadRecord<MacProxyConnectionState>(defaults).has_value());
}

TEST(Records, StoredFormIsCompactJsonWithOptionalMembersLeftOut) {
  platform::MemoryUserDefaults defaults;
  MacProxyConnectionState minimal{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 1700000000900};
  ASSERT_TRUE(saveRecord(defaults, minimal).has_value());
  auto bytes = *defaults.data(recordKey<MacProxyConnectionState>);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find_first_of(" \n"), std::string::npos);
  Json json = Json::parse(text);
  EXPECT_EQ(json.size(), 6u);
  for (const char* absent : {"profileId", "countryCode", "country", "state", "city"})
    EXPECT_FALSE(json.contains(absent)) << absent;
  EXPECT_TRUE(json["connectedAt"].is_number_integer());
  EXPECT_EQ(json["connectedAt"], 1700000000900);

  MacProxySnapshot snapshot{{{"Wi-Fi", {0xfb, 0xff}}}};
  EXPECT_EQ(toJson(snapshot).dump(), R"({"services":[{"configuration":"+/8=","name":"Wi-Fi"}]})");
}

TEST(Records, DecodingRules) {
  const std::string state =
      R"("host":"h","port":80,"proxyProtocol":"http","connectionType":"manual","sessionId":0)";
  struct Case {
    std::string json;
    bool loads;
  };
  const Case stateCases[] = {
      {"{" + state + R"(,"connectedAt":5})", true},
      {"{" + state + R"(,"connectedAt":5,"profileId":null,"extra":[1,{}]})", true},
      {"{" + state + R"(,"connectedAt":5.0})", true},
      {"{" + state + "}", false},                                    // connectedAt missing
      {"{" + state + R"(,"connectedAt":null})", false},
      {"{" + state + R"(,"connectedAt":5.5})", false},
      {"{" + state + R"(,"connectedAt":"5"})", false},
      {"{" + state + R"(,"connectedAt":5,"city":7})", false},        // optional of the wrong type
      {R"({"host":"h","port":"80","proxyProtocol":"http","connectionType":"manual","sessionId":0,"connectedAt":5})",
       false},
      {"[1]", false},
  };
  for (const auto& c : stateCases) EXPECT_EQ(decode<MacProxyConnectionState>(c.json).has_value(), c.loads) << c.json;
  auto withNull = decode<MacProxyConnectionState>("{" + state + R"(,"connectedAt":5,"profileId":null})");
  ASSERT_TRUE(withNull.has_value());
  EXPECT_FALSE(withNull->profileId.has_value());

  const std::string diagnostic = R"("ip":"1","country":"c","countryCode":"C","city":"x","state":"s","isp":"i")";
  EXPECT_TRUE(decode<MacProxyDiagnostic>("{" + diagnostic + R"(,"speed":""})").has_value());
  EXPECT_FALSE(decode<MacProxyDiagnostic>("{" + diagnostic + "}").has_value());

  const Case snapshotCases[] = {
      {R"({"services":[]})", true},
      {R"({"services":[{"name":"Wi-Fi","configuration":"YnBsaXN0"}]})", true},
      {R"({"services":[{"name":"Wi-Fi","configuration":"YnBsaXN0="}]})", false},  // bad Base64
      {R"({"services":[{"name":"Wi-Fi","configuration":"YnBs aXN0"}]})", false},
      {R"({"services":[{"name":"Wi-Fi"}]})", false},
      {R"({"services":{}})", false},
      {R"({})", false},
  };
  for (const auto& c : snapshotCases) EXPECT_EQ(decode<MacProxySnapshot>(c.json).has_value(), c.loads) << c.json;
  EXPECT_TRUE(decode<MacProxySnapshot>(R"({"services":[]})")->services.empty());
}

TEST(Records, UnreadableEntriesLoadAsAbsentAndStay) {
  platform::MemoryUserDefaults defaults;
  const std::string broken = R"({"host":"h","port":"80"})";
  ASSERT_TRUE(defaults.setData(recordKey<MacProxyConnectionState>, platform::Bytes(broken.begin(), broken.end())).has_value());
  EXPECT_FALSE(loadRecord<MacProxyConnectionState>(defaults).has_value());
  EXPECT_TRUE(defaults.data(recordKey<MacProxyConnectionState>).has_value());
  defaults.setString(recordKey<MacProxyConnectionState>, "not data");
  EXPECT_FALSE(loadRecord<MacProxyConnectionState>(defaults).has_value());
}

TEST(Records, FailedSaveKeepsWhatWasThere) {
  platform::MemoryUserDefaults defaults;
  ASSERT_TRUE(saveRecord(defaults, fullState()).has_value());
  MacProxyConnectionState invalid = fullState();
  invalid.host = "\xff";  // not UTF-8: cannot be written as JSON
  EXPECT_FALSE(saveRecord(defaults, invalid).has_value());
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(defaults), fullState());
  defaults.setFailWrites(true);
  MacProxyConnectionState other = fullState();
  other.host = "other";
  EXPECT_FALSE(saveRecord(defaults, other).has_value());
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(defaults), fullState());
}

TEST(Records, ChannelForms) {
  MacProxyConnectionState minimal{"h", 80, "socks5", "manual", {}, 7, {}, {}, {}, {}, 1700000000900};
  EXPECT_EQ(keysOf(flutterValue(minimal)),
            (std::set<std::string>{"phase", "connectionType", "sessionId", "protocol", "connectedAt"}));
  const EncodableValue full = flutterValue(fullState());
  const auto& map = std::get<EncodableMap>(full);
  EXPECT_EQ(map.at(EncodableValue("phase")), EncodableValue("connected"));
  EXPECT_EQ(map.at(EncodableValue("protocol")), EncodableValue("socks5"));
  EXPECT_EQ(map.at(EncodableValue("connectedAt")), EncodableValue(int64_t{1700000000900}));
  EXPECT_EQ(map.at(EncodableValue("sessionId")).LongValue(), 42);
  EXPECT_EQ(map.at(EncodableValue("profileId")), EncodableValue("p-1"));
  EXPECT_EQ(map.count(EncodableValue("host")) + map.count(EncodableValue("port")), 0u);
  EXPECT_EQ(map.size(), 10u);

  MacProxyDiagnostic empty{};
  EXPECT_EQ(keysOf(flutterValue(empty)),
            (std::set<std::string>{"ip", "country", "countryCode", "city", "state", "isp", "speed"}));
  EXPECT_EQ(std::get<EncodableMap>(flutterValue(empty)).at(EncodableValue("speed")), EncodableValue(""));
}

}  // namespace
}  // namespace tavlune
