#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/plist/plist.h"
#include "platform/sysconfig/file_network_configuration.h"
#include "sim/preferences/preferences_seed.h"
#include "tests/support/temp_dir.h"

namespace tavlune::platform::sysconfig {
namespace {

namespace pl = plist;
using sim::InterfaceSeed;
using sim::PreferencesSeed;

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
pl::Dictionary seededRoot(const PreferencesSeed& seed = mixedSeed()) { return sim::seededPreferences(seed).root(); }
pl::Dictionary& currentNetwork(pl::Dictionary& root) {
  return *root["Sets"].as<pl::Dictionary>()->begin()->second.as<pl::Dictionary>()->at("Network").as<pl::Dictionary>();
}
std::string binary(pl::Dictionary root) {
  auto bytes = pl::toBinary(pl::Value(std::move(root)));
  return std::string(bytes->begin(), bytes->end());
}

class PreferencesFile : public ::testing::Test {
 protected:
  void write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  tavlune::testing::TempDir dir_;
  std::string path_ = dir_ / "preferences.plist";
};

TEST_F(PreferencesFile, ServicesComeInEnumerationOrderDescribedAsStored) {
  write(binary(seededRoot()));
  auto services = FileNetworkConfiguration(path_).currentServices();
  ASSERT_TRUE(services.has_value()) << services.error().description;
  const NetworkService expected[] = {  // id, name, enabled, has an interface, BSD name, proxies
      {"A-ETH", "Ethernet", true, true, "en1", std::nullopt},
      {"B-OFF", "Thunderbolt Bridge", false, true, "bridge0", proxiesWithHost("off.example")},
      {"C-WIFI", "Wi-Fi", true, true, "en0", proxiesWithHost("wifi.example")},
      {"D-VPN", "Office VPN", true, true, std::nullopt, proxiesWithHost("vpn.example")},
      {"E-BARE", std::nullopt, true, false, std::nullopt, std::nullopt},
  };
  auto fields = [](const NetworkService& s) { return std::tie(s.serviceID, s.name, s.enabled, s.hasInterface, s.bsdName, s.proxies); };
  ASSERT_EQ(services->size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_TRUE(fields((*services)[i]) == fields(expected[i])) << i;
}

// Each case breaks one step on the way from the file to the service list.
TEST_F(PreferencesFile, UnreadableConfigurationsFailWithoutCrashing) {
  auto seeded = [](std::function<void(pl::Dictionary&)> change) {
    pl::Dictionary root = seededRoot();
    change(root);
    return binary(std::move(root));
  };
  auto sets = [](pl::Dictionary& r) -> pl::Dictionary& { return *r["Sets"].as<pl::Dictionary>(); };
  const std::pair<const char*, std::optional<std::string>> cases[] = {  // absent bytes: no file at all
      {"no file", std::nullopt},
      {"not a property list", std::string("this is not a plist")},
      {"top level is an array", std::string("<plist><array><string>x</string></array></plist>")},
      {"no current set", seeded([](pl::Dictionary& r) { r.erase("CurrentSet"); })},
      {"current set not a path", seeded([&](pl::Dictionary& r) { r["CurrentSet"] = pl::Value(sets(r).begin()->first); })},
      {"current set names a missing set", seeded([](pl::Dictionary& r) { r["CurrentSet"] = pl::Value("/Sets/NOPE"); })},
      {"no sets", seeded([](pl::Dictionary& r) { r.erase("Sets"); })},
      {"set without network", seeded([&](pl::Dictionary& r) { sets(r).begin()->second = pl::Value(pl::Dictionary{}); })},
      {"no service list", seeded([](pl::Dictionary& r) { currentNetwork(r).erase("Service"); })},
      {"service list not a dictionary", seeded([](pl::Dictionary& r) { currentNetwork(r)["Service"] = pl::Value(pl::Array{}); })},
  };
  for (const auto& [what, bytes] : cases) {
    std::filesystem::remove(path_);
    if (bytes) write(*bytes);
    FileNetworkConfiguration configuration(path_);
    EXPECT_FALSE(configuration.currentServices().has_value()) << what;
    EXPECT_FALSE(configuration.liveProxies().has_value()) << what;
  }
}

TEST_F(PreferencesFile, LiveProxiesAreThoseOfThePrimaryService) {
  using Order = std::optional<std::vector<std::string>>;
  const pl::Value none{pl::Dictionary{}}, wifi = proxiesWithHost("wifi.example"), eth = proxiesWithHost("eth.example");
  const struct {
    Order order;  // absent: no order stored at all
    bool ethernetHasProxies;
    pl::Value expected;
  } cases[] = {
      {Order({"B-OFF", "D-VPN", "E-BARE", "C-WIFI", "A-ETH"}), true, wifi},  // disabled and BSD-less passed over
      {Order({"A-ETH", "C-WIFI"}), false, none},
      {Order({"NOPE", "C-WIFI"}), true, wifi},
      {std::nullopt, true, eth},  // services missing from the order follow it in enumeration order
      {Order({"B-OFF", "D-VPN"}), true, eth},
  };
  for (const auto& c : cases) {
    PreferencesSeed seed = mixedSeed();
    if (c.ethernetHasProxies) seed.services[1].proxies = eth;
    seed.serviceOrder = c.order;
    pl::Dictionary root = seededRoot(seed);
    if (!c.order) currentNetwork(root).erase("Global");
    write(binary(root));
    EXPECT_EQ(FileNetworkConfiguration(path_).liveProxies().value(), c.expected) << (&c - cases);
  }
}

}  // namespace
}  // namespace tavlune::platform::sysconfig
