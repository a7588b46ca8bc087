#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/plist/plist.h"
#include "platform/sysconfig/file_network_configuration.h"
#include "platform/sysconfig/network_preferences.h"
#include "sim/preferences/preferences_seed.h"
#include "tests/support/temp_dir.h"

namespace tavlune::platform::sysconfig {
namespace {

namespace pl = plist;
using sim::InterfaceSeed;
using sim::PreferencesSeed;
using sim::seededPreferences;

pl::Value proxiesWithHost(const std::string& host) {
  return pl::Value(pl::Dictionary{{"HTTPEnable", pl::Value(int64_t{1})}, {"HTTPProxy", pl::Value(host)}});
}

InterfaceSeed en(const std::string& device) { return {device, "Ethernet", device}; }

// Ids sort differently from the service order, so that the two orders can be told apart.
PreferencesSeed mixedSeed() {
  PreferencesSeed seed;
  seed.services = {
      {"C-WIFI", "Wi-Fi", en("en0"), true, proxiesWithHost("wifi.example")},
      {"A-ETH", "Ethernet", en("en1"), true, std::nullopt},
      {"B-OFF", "Thunderbolt Bridge", en("bridge0"), false, proxiesWithHost("off.example")},
      {"D-VPN", "Office VPN", InterfaceSeed{std::nullopt, "PPP", "VPN"}, true, proxiesWithHost("vpn.example")},
      {"E-BARE", std::nullopt, std::nullopt, true, std::nullopt},
  };
  return seed;
}

pl::Dictionary& currentNetwork(pl::Dictionary& root) {
  pl::Dictionary& set = *root["Sets"].as<pl::Dictionary>()->begin()->second.as<pl::Dictionary>();
  return *set["Network"].as<pl::Dictionary>();
}

class PreferencesFile : public ::testing::Test {
 protected:
  void write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  void write(const pl::Dictionary& root) {
    auto bytes = pl::toBinary(pl::Value(root));
    ASSERT_TRUE(bytes.has_value());
    write(std::string(bytes->begin(), bytes->end()));
  }
  void write(const PreferencesSeed& seed) { write(seededPreferences(seed).root()); }

  tavlune::testing::TempDir dir_;
  std::string path_ = dir_ / "preferences.plist";
};

TEST_F(PreferencesFile, ServicesComeInEnumerationOrderDescribedAsStored) {
  write(mixedSeed());
  auto services = FileNetworkConfiguration(path_).currentServices();
  ASSERT_TRUE(services.has_value()) << services.error().description;
  const struct {
    const char* id;
    std::optional<std::string> name;
    bool enabled, hasInterface;
    std::optional<std::string> bsdName;
    bool hasProxies;
  } expected[] = {
      {"A-ETH", "Ethernet", true, true, "en1", false},
      {"B-OFF", "Thunderbolt Bridge", false, true, "bridge0", true},
      {"C-WIFI", "Wi-Fi", true, true, "en0", true},
      {"D-VPN", "Office VPN", true, true, std::nullopt, true},
      {"E-BARE", std::nullopt, true, false, std::nullopt, false},
  };
  ASSERT_EQ(services->size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const NetworkService& s = (*services)[i];
    SCOPED_TRACE(expected[i].id);
    EXPECT_EQ(s.serviceID, expected[i].id);
    EXPECT_EQ(s.name, expected[i].name);
    EXPECT_EQ(s.enabled, expected[i].enabled);
    EXPECT_EQ(s.hasInterface, expected[i].hasInterface);
    EXPECT_EQ(s.bsdName, expected[i].bsdName);
    EXPECT_EQ(s.proxies.has_value(), expected[i].hasProxies);
  }
  EXPECT_EQ((*services)[2].proxies, proxiesWithHost("wifi.example"));
}

TEST_F(PreferencesFile, ReadsTheXmlFormAsTheSystemWritesIt) {
  // The system's own XML form, abridged: linked set entries, BSD name, proxies.
  write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CurrentSet</key><string>/Sets/0F6D1B4C-1111-4A2B-9C3D-5E6F7A8B9C0D</string>
<key>NetworkServices</key><dict><key>8A1E7B22-AB12-4C3D-8E9F-0A1B2C3D4E5F</key><dict>
  <key>Interface</key><dict><key>DeviceName</key><string>en0</string><key>Hardware</key><string>AirPort</string>
    <key>Type</key><string>Ethernet</string><key>UserDefinedName</key><string>Wi-Fi</string></dict>
  <key>Proxies</key><dict><key>ExceptionsList</key><array><string>*.local</string><string>169.254/16</string></array>
    <key>FTPPassive</key><integer>1</integer><key>HTTPEnable</key><integer>1</integer>
    <key>HTTPPort</key><integer>3128</integer><key>HTTPProxy</key><string>proxy.corp.example</string></dict>
  <key>UserDefinedName</key><string>Wi-Fi</string></dict></dict>
<key>Sets</key><dict><key>0F6D1B4C-1111-4A2B-9C3D-5E6F7A8B9C0D</key><dict>
  <key>Network</key><dict>
    <key>Global</key><dict><key>IPv4</key><dict><key>ServiceOrder</key>
      <array><string>8A1E7B22-AB12-4C3D-8E9F-0A1B2C3D4E5F</string></array></dict></dict>
    <key>Service</key><dict><key>8A1E7B22-AB12-4C3D-8E9F-0A1B2C3D4E5F</key>
      <dict><key>__LINK__</key><string>/NetworkServices/8A1E7B22-AB12-4C3D-8E9F-0A1B2C3D4E5F</string></dict></dict>
  </dict><key>UserDefinedName</key><string>Automatic</string></dict></dict>
</dict></plist>
)");
  FileNetworkConfiguration configuration(path_);
  auto services = configuration.currentServices();
  ASSERT_TRUE(services.has_value()) << services.error().description;
  ASSERT_EQ(services->size(), 1u);
  EXPECT_EQ((*services)[0].name, "Wi-Fi");
  EXPECT_EQ((*services)[0].bsdName, "en0");
  auto live = configuration.liveProxies();
  ASSERT_TRUE(live.has_value());
  EXPECT_EQ(live->as<pl::Dictionary>()->at("HTTPProxy"), pl::Value("proxy.corp.example"));
  EXPECT_EQ(live->as<pl::Dictionary>()->at("HTTPPort"), pl::Value(int64_t{3128}));
}

// Each case breaks one step on the way from the file to the service list.
TEST_F(PreferencesFile, UnreadableConfigurationsFailWithoutCrashing) {
  auto seeded = [](std::function<void(pl::Dictionary&)> change) {
    pl::Dictionary root = seededPreferences(mixedSeed()).root();
    change(root);
    auto bytes = pl::toBinary(pl::Value(std::move(root)));
    return std::string(bytes->begin(), bytes->end());
  };
  const std::pair<const char*, std::optional<std::string>> cases[] = {  // absent bytes: no file at all
      {"no file", std::nullopt},
      {"empty file", std::string()},
      {"not a property list", std::string("this is not a plist")},
      {"truncated binary", seeded([](pl::Dictionary&) {}).substr(0, 40)},
      {"top level is an array", std::string("<plist><array><string>x</string></array></plist>")},
      {"no current set", seeded([](pl::Dictionary& r) { r.erase("CurrentSet"); })},
      {"current set not text", seeded([](pl::Dictionary& r) { r["CurrentSet"] = pl::Value(int64_t{1}); })},
      {"current set not a path",
       seeded([](pl::Dictionary& r) { r["CurrentSet"] = pl::Value(r["Sets"].as<pl::Dictionary>()->begin()->first); })},
      {"current set names a missing set", seeded([](pl::Dictionary& r) { r["CurrentSet"] = pl::Value("/Sets/NOPE"); })},
      {"no sets", seeded([](pl::Dictionary& r) { r.erase("Sets"); })},
      {"set without network",
       seeded([](pl::Dictionary& r) { r["Sets"].as<pl::Dictionary>()->begin()->second = pl::Value(pl::Dictionary{}); })},
      {"no service list", seeded([](pl::Dictionary& r) { currentNetwork(r).erase("Service"); })},
      {"service list not a dictionary", seeded([](pl::Dictionary& r) { currentNetwork(r)["Service"] = pl::Value(pl::Array{}); })},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    std::filesystem::remove(path_);
    if (bytes) write(*bytes);
    FileNetworkConfiguration configuration(path_);
    EXPECT_FALSE(configuration.currentServices().has_value());
    EXPECT_FALSE(configuration.liveProxies().has_value());
  }
}

TEST_F(PreferencesFile, SetEntriesFollowTheirLinksAndSkipMissingServices) {
  pl::Dictionary root = seededPreferences(mixedSeed()).root();
  pl::Dictionary& members = *currentNetwork(root)["Service"].as<pl::Dictionary>();
  members.erase("A-ETH");
  // An entry keyed unlike its target, one without a link, and one to nowhere.
  members["0-ALIAS"] = pl::Value(pl::Dictionary{{"__LINK__", pl::Value("/NetworkServices/A-ETH")}});
  members["B-OFF"] = pl::Value(pl::Dictionary{});
  members["Z-GONE"] = pl::Value(pl::Dictionary{{"__LINK__", pl::Value("/NetworkServices/Z-GONE")}});
  write(root);

  auto services = FileNetworkConfiguration(path_).currentServices();
  ASSERT_TRUE(services.has_value());
  std::vector<std::string> ids;
  for (const auto& s : *services) ids.push_back(s.serviceID);
  EXPECT_EQ(ids, (std::vector<std::string>{"A-ETH", "B-OFF", "C-WIFI", "D-VPN", "E-BARE"}));
}

TEST_F(PreferencesFile, LiveProxiesAreThoseOfThePrimaryService) {
  using Order = std::optional<std::vector<std::string>>;
  const pl::Value none{pl::Dictionary{}}, wifi = proxiesWithHost("wifi.example"), eth = proxiesWithHost("eth.example");
  const struct {
    const char* what;
    Order order;  // absent: no order stored at all
    bool ethernetHasProxies;
    pl::Value expected;
    bool wifiAndEthernetDisabled = false;
  } cases[] = {
      // Disabled and BSD-less services are passed over on the way down the order.
      {"first usable in order", Order({"B-OFF", "D-VPN", "E-BARE", "C-WIFI", "A-ETH"}), true, wifi},
      {"primary without proxies", Order({"A-ETH", "C-WIFI"}), false, none},
      {"unknown ids skipped", Order({"NOPE", "C-WIFI"}), true, wifi},
      // Services missing from the order follow it in enumeration order: A-ETH first.
      {"no order", std::nullopt, true, eth},
      {"order lists only unusable", Order({"B-OFF", "D-VPN"}), true, eth},
      {"no usable service", Order({"C-WIFI", "A-ETH"}), true, none, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PreferencesSeed seed = mixedSeed();
    if (c.ethernetHasProxies) seed.services[1].proxies = eth;
    seed.services[0].enabled = seed.services[1].enabled = !c.wifiAndEthernetDisabled;
    seed.serviceOrder = c.order;
    pl::Dictionary root = seededPreferences(seed).root();
    if (!c.order) currentNetwork(root).erase("Global");
    write(root);
    auto live = FileNetworkConfiguration(path_).liveProxies();
    ASSERT_TRUE(live.has_value());
    EXPECT_EQ(*live, c.expected);
  }
}

// One reader across changes, as the application holds it: every change is
// seen, a same-sized rewrite in place and a broken file included.
TEST_F(PreferencesFile, EveryChangeOfTheFileIsSeen) {
  FileNetworkConfiguration configuration(path_);
  auto liveHost = [&]() -> std::string {
    auto live = configuration.liveProxies();
    if (!live) return "error";
    const pl::Value* host = live->as<pl::Dictionary>() ? &live->as<pl::Dictionary>()->at("HTTPProxy") : nullptr;
    return host && host->as<std::string>() ? *host->as<std::string>() : "none";
  };
  PreferencesSeed seed = mixedSeed();
  for (const char* host : {"a.example", "a.example", "b.example", "", "a.example"}) {
    SCOPED_TRACE(host);
    if (*host) {
      seed.services[0].proxies = proxiesWithHost(host);
      write(seed);
    } else {
      write(std::string("this is not a plist"));
    }
    EXPECT_EQ(liveHost(), *host ? host : "error");
    auto services = configuration.currentServices();
    ASSERT_EQ(services.has_value(), *host != '\0');
    if (services) {
      EXPECT_EQ(services->at(2).proxies, proxiesWithHost(host));
    }
  }
}

}  // namespace
}  // namespace tavlune::platform::sysconfig
