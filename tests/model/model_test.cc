// The model's values: coercion of loosely typed values, the stored records, the errors.
#include <gtest/gtest.h>

#include "manager/channel_coercion.h"
#include "manager/flutter_values.h"
#include "model/coercion.h"
#include "model/record_store.h"
#include "model/snapshot_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/files/files.h"
#include "tests/support/temp_dir.h"

namespace tavlune {
namespace {
using namespace tavlune::model;
using namespace tavlune::manager;
using channel::EncodableMap;
using V = channel::EncodableValue;
using platform::json::Json;
namespace plist = platform::plist;
using State = MacProxyConnectionState;

const std::optional<std::string> kNoText;
const std::optional<int64_t> kNoInteger;

TEST(Coercion, TextAndIntegerOfChannelValues) {
  const std::pair<V, std::optional<std::string>> texts[] = {
      {V(""), kNoText}, {V("    "), kNoText}, {V("\n"), kNoText}, {V("\u3000\t"), kNoText}, {V("  a  b  "), "a  b"},
      {V(int32_t{443}), "443"}, {V(int64_t{-9000000000}), "-9000000000"}, {V(443.9), "443.9"}, {V(5.0), "5"},
      {V(true), "1"}, {V(), "<null>"},
  };
  for (const auto& [value, expected] : texts) EXPECT_EQ(text(&value), expected);
  EXPECT_EQ(text(static_cast<const V*>(nullptr)), kNoText);
  const std::pair<V, std::optional<int64_t>> cases[] = {
      {V(int32_t{443}), 443}, {V(443.9), 443}, {V(-443.9), -443}, {V(true), 1}, {V(false), 0}, {V("443"), 443},
      {V("+443"), 443}, {V(" 443 "), 443}, {V("-1"), -1}, {V("007"), 7}, {V("443abc"), kNoInteger},
      {V("4 43"), kNoInteger}, {V("+"), kNoInteger}, {V("-"), kNoInteger}, {V("+-5"), kNoInteger},
      {V("--5"), kNoInteger}, {V("44.3"), kNoInteger}, {V("\u0664\u0664\u0663"), kNoInteger},  // Arabic-Indic digits
      {V("9223372036854775807"), INT64_MAX}, {V("9223372036854775808"), kNoInteger},
      {V("-9223372036854775808"), INT64_MIN}, {V(""), kNoInteger}, {V(), kNoInteger}, {V(1e300), INT64_MAX},
      {V(std::nan("")), 0},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(integer(&value), expected) << text(&value).value_or("?");
  EXPECT_EQ(integer(static_cast<const V*>(nullptr)), kNoInteger);
}

TEST(Coercion, PropertyListAndJsonValuesFollowTheSameRules) {
  const std::pair<plist::Value, std::optional<int64_t>> plistCases[] = {
      {plist::Value(int64_t{1}), 1}, {plist::Value("1"), 1}, {plist::Value(true), 1}, {plist::Value(false), 0},
      {plist::Value(2.0), 2}, {plist::Value("yes"), kNoInteger}, {plist::Value(plist::Data{}), kNoInteger},
  };
  for (const auto& [value, expected] : plistCases) EXPECT_EQ(integer(&value), expected);
  plist::Value host(" GW.example\n");
  EXPECT_EQ(text(&host), "GW.example");
  EXPECT_EQ(integer(static_cast<const plist::Value*>(nullptr)), kNoInteger);
  const std::tuple<Json, std::optional<std::string>, std::optional<int64_t>> jsonCases[] = {
      {Json(" 203.0.113.9 "), "203.0.113.9", kNoInteger}, {Json(42), "42", 42}, {Json(2.5), "2.5", 2},
      {Json(uint64_t{18446744073709551615u}), "18446744073709551615", kNoInteger},
      {Json(nullptr), "<null>", kNoInteger}, {Json(false), "0", 0}, {Json("  "), kNoText, kNoInteger},
  };
  for (const auto& [value, asText, asInteger] : jsonCases) {
    EXPECT_EQ(text(&value), asText) << value.dump();
    EXPECT_EQ(integer(&value), asInteger) << value.dump();
  }
}

const State kFull{"203.0.113.7", 1080, "socks5", "residential", "p-1", 42, "DE", "Germany", "Bavaria", "Munich", 1700000000900};
const State kMinimal{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 5};

template <typename Record>
bool decodes(const std::string& text) {
  auto json = platform::json::parse(text);
  return json && recordFromJson<Record>(*json);
}

V map(std::initializer_list<std::pair<const char*, V>> entries) {
  EncodableMap m;
  for (const auto& [key, value] : entries) m[V(key)] = value;
  return V(m);
}

TEST(Records, RoundTripThroughUserDefaults) {
  platform::MemoryUserDefaults defaults;
  const MacProxySnapshot snapshot{{{"Wi-Fi", {0x62, 0x70, 0x00, 0xff}}, {"Ethernet 'x'", {}}}, MacSnapshotProxy{"::1", 3128, "http"}};
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
      // the proxy it was taken for: optional, as files of older builds lack it, but whole when there
      {R"({"services":[],"proxy":null})", true}, {R"({"services":[],"proxy":{"host":"h","port":1,"proxyProtocol":"http"}})", true},
      {R"({"services":[],"proxy":{"host":"h","proxyProtocol":"http"}})", false}, {R"({"services":[],"proxy":"h:1"})", false},
  };
  for (const auto& [json, loads] : snapshots) EXPECT_EQ(decodes<MacProxySnapshot>(json), loads) << json;
}

// Two copies of the snapshot: the file proves itself whole and is read first;
// a damaged file gives way to user defaults, neither copy lost alone loses
// the snapshot, and one left in user defaults alone is known as put back.
TEST(Records, SnapshotKeptTwiceAndNeverTakenDamaged) {
  testing::TempDir folder;
  const std::string copy = folder / "Tavlune/proxy-snapshot.copy";
  const MacProxySnapshot inFile{{{"Wi-Fi", {1, 2}}}, MacSnapshotProxy{"h", 1, "http"}}, inDefaults{{{"Ethernet", {3}}}};
  auto damage = [&](std::size_t at) {  // at 26: the proxy's host "h" made "H", still a snapshot
    std::string bytes = platform::files::read(copy).value();
    bytes[at] ^= 0x20;
    ASSERT_TRUE(platform::files::writeAtomically(copy, bytes, 0600));
  };
  auto forget = [](platform::MemoryUserDefaults& d) { (void)d.removeObject(recordKey<MacProxySnapshot>); };
  const struct { std::function<void(platform::MemoryUserDefaults&)> change; std::optional<MacProxySnapshot> loaded; } cases[] = {
      {[](auto&) {}, inFile}, {forget, inFile}, {[&](auto&) { damage(26); }, inDefaults},
      {[&](auto&) { damage(3); }, inDefaults}, {[&](auto& d) { damage(26), forget(d); }, std::nullopt}};
  for (const auto& c : cases) {
    platform::MemoryUserDefaults defaults;
    SnapshotStore store(defaults, copy);
    ASSERT_TRUE(store.save(inFile));
    ASSERT_TRUE(saveRecord(defaults, inDefaults));  // told apart from the file's
    c.change(defaults);
    EXPECT_EQ(store.load(), c.loaded) << &c - cases;
    ASSERT_TRUE(store.remove());
    EXPECT_FALSE(store.load() || platform::files::exists(copy));
  }
  platform::MemoryUserDefaults left;
  ASSERT_TRUE(SnapshotStore(left, copy).save(inFile));
  left.setFailWrites(true);  // a take-back on a full disk: the file goes, the rest cannot
  EXPECT_FALSE(SnapshotStore(left, copy).remove());
  EXPECT_TRUE(SnapshotStore(left, copy).loadStored()->copyRemoved);
  left.setFailWrites(false);
  ASSERT_TRUE(saveRecord(left, inDefaults));  // an older build's, naming no proxy: nothing known
  EXPECT_FALSE(SnapshotStore(left, copy).loadStored()->copyRemoved);
  ASSERT_TRUE(platform::files::makeDirectories(copy, 0700));  // the file unwritable: nothing saved
  EXPECT_FALSE(SnapshotStore(left, copy).save(inFile));
  EXPECT_EQ(loadRecord<MacProxySnapshot>(left), inDefaults);
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
  EXPECT_EQ(manager::flutterValue(kFull), map({{"phase", V("connected")}, {"connectionType", V("residential")},
                                               {"sessionId", V(42)}, {"protocol", V("socks5")}, {"connectedAt", V(int64_t{1700000000900})},
                                               {"profileId", V("p-1")}, {"countryCode", V("DE")}, {"country", V("Germany")},
                                               {"state", V("Bavaria")}, {"city", V("Munich")}}));
  EXPECT_EQ(manager::flutterValue(kMinimal), map({{"phase", V("connected")}, {"connectionType", V("manual")},
                                                  {"sessionId", V(0)}, {"protocol", V("http")}, {"connectedAt", V(int64_t{5})}}));
  const auto e = V("");
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
