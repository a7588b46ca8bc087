#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/plist/plist.h"
#include "platform/sysconfig/file_network_configuration.h"
#include "platform/sysconfig/preferences_file.h"
#include "sim/preferences/preferences_seed.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/proxy_inspection.h"
#include "sysproxy/restore_commands.h"
#include "tests/support/temp_dir.h"
#include "tests/sysproxy/shell_run.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
using namespace tavlune::model;

namespace pl = platform::plist;
using sim::InterfaceSeed;
using sim::PreferencesSeed;
using sim::seededPreferences;

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const std::string& v) { return pl::Value(v); }

PreferencesSeed realisticMachine() {
  pl::Dictionary wifi{
      {"HTTPEnable", n(1)}, {"HTTPProxy", s("proxy.corp.example")}, {"HTTPPort", n(3128)},
      {"HTTPProxyAuthenticated", n(1)}, {"HTTPUser", s("alice")},
      {"HTTPSEnable", n(1)}, {"HTTPSProxy", s("secure.corp.example")}, {"HTTPSPort", n(3129)},
      {"HTTPSProxyAuthenticated", n(1)}, {"HTTPSUser", s("bob o'brien")},
      {"SOCKSEnable", n(1)}, {"SOCKSProxy", s("socks.corp.example")}, {"SOCKSPort", n(1080)},
      {"SOCKSProxyAuthenticated", n(1)}, {"SOCKSUser", s("carol")},
      {"ExceptionsList", pl::Value(pl::Array{s("*.local"), s("169.254/16"), s("intranet.corp.example")})},
      {"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoConfigURLString", s("http://wpad.corp.example/proxy.pac")},
      {"ProxyAutoDiscoveryEnable", n(1)}, {"FTPPassive", n(1)}};
  pl::Dictionary ethernet{{"HTTPEnable", n(0)}, {"HTTPProxy", s("old.example")}, {"HTTPPort", n(8000)},
                          {"FTPPassive", n(1)}};
  pl::Dictionary bridge{{"HTTPEnable", n(1)}, {"HTTPProxy", s("bridge.example")}, {"HTTPPort", n(1)}};
  PreferencesSeed seed;
  seed.services = {
      {"S-WIFI", "Wi-Fi", InterfaceSeed{"en0", "IEEE80211", "Wi-Fi"}, true, pl::Value(wifi)},
      {"S-ETH", "Ethernet", InterfaceSeed{"en1", "Ethernet", "Ethernet"}, true, pl::Value(ethernet)},
      {"S-PHONE", "Bob's \"iPhone\" $USB", InterfaceSeed{"en7", "Ethernet", "iPhone USB"}, true, std::nullopt},
      {"S-BRIDGE", "Thunderbolt Bridge", InterfaceSeed{"bridge0", "Bridge", "Thunderbolt Bridge"}, false,
       pl::Value(bridge)},
      {"S-VPN", "Office VPN", InterfaceSeed{std::nullopt, "PPP", "VPN"}, true, pl::Value(bridge)},
  };
  seed.serviceOrder = std::vector<std::string>{"S-WIFI", "S-ETH", "S-PHONE", "S-BRIDGE", "S-VPN"};
  return seed;
}

// What the restore can give back, per service: each proxy's switch, and its
// host, port, user and authentication while switched on; the bypass list;
// discovery; the configuration URL while switched on.
pl::Dictionary restorable(const pl::Dictionary& p) {
  auto on = [&](const std::string& key) { return p.contains(key) && p.at(key) == n(1); };
  pl::Dictionary kept;
  auto keep = [&](const std::string& key) { kept[key] = p.contains(key) ? p.at(key) : s("<absent>"); };
  for (const std::string kind : {"HTTP", "HTTPS", "SOCKS"}) {
    kept[kind + "Enable"] = pl::Value(on(kind + "Enable"));
    if (!on(kind + "Enable")) continue;
    for (const char* field : {"Proxy", "Port", "User", "ProxyAuthenticated"}) keep(kind + field);
  }
  keep("ExceptionsList");
  for (const char* key : {"ProxyAutoDiscoveryEnable", "ProxyAutoConfigEnable"}) kept[key] = pl::Value(on(key));
  if (on("ProxyAutoConfigEnable")) keep("ProxyAutoConfigURLString");
  return kept;
}

class RoundTrip : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    auto bytes = pl::toBinary(pl::Value(seededPreferences(realisticMachine()).root()));
    ASSERT_TRUE(bytes.has_value());
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  }

  testing::ShellRun run(const std::string& line) {
    return testing::runWithNetworksetup(line, NETWORKSETUP_PATH, {"TAVLUNE_SIM_PREFERENCES=" + path_});
  }

  std::map<std::string, pl::Dictionary> allProxies() {
    auto preferences = platform::sysconfig::readPreferencesFile(path_);
    EXPECT_TRUE(preferences.has_value());
    std::map<std::string, pl::Dictionary> all;
    auto services = preferences ? preferences->currentServices() : unexpected(preferences.error());
    EXPECT_TRUE(services.has_value());
    if (!services) return all;
    for (const auto& service : *services) {
      const pl::Dictionary* d = service.proxies ? service.proxies->as<pl::Dictionary>() : nullptr;
      all[*service.name] = d ? *d : pl::Dictionary{};
    }
    return all;
  }

  testing::TempDir dir_;
  std::string path_ = dir_ / "preferences.plist";
};

TEST_P(RoundTrip, ConnectThenDisconnectGivesBackEveryRestorableSetting) {
  const std::string protocol = GetParam();
  platform::sysconfig::FileNetworkConfiguration configuration(path_);
  auto services = enabledNetworkServices(configuration);
  ASSERT_TRUE(services.has_value());
  std::vector<std::string> names;
  for (const auto& service : *services) names.push_back(service.name);
  // Enumeration order is by service id; the disabled and the BSD-less services are left out.
  ASSERT_EQ(names, (std::vector<std::string>{"Ethernet", "Bob's \"iPhone\" $USB", "Wi-Fi"}));
  const MacProxySnapshot snapshot{*services};
  const auto before = allProxies();

  const MacProxyConnectionState state{"203.0.113.9", 8443, protocol, "manual", {}, 0, {}, {}, {}, {}, 1};
  ASSERT_FALSE(systemProxyCarries(state, configuration));

  auto connected = run(connectCommand(names, state.host, state.port, protocol, "tavlune user", "p'w \"$x\""));
  ASSERT_EQ(connected.status, 0) << connected.err;
  EXPECT_TRUE(systemProxyCarries(state, configuration));
  auto during = allProxies();
  const char* hostKey = protocol == "https" ? "HTTPSProxy" : protocol.starts_with("socks") ? "SOCKSProxy" : "HTTPProxy";
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const pl::Dictionary& p = during[name];
    EXPECT_EQ(p.at(hostKey), s("203.0.113.9"));
    for (const char* off : {"ProxyAutoConfigEnable", "ProxyAutoDiscoveryEnable"}) EXPECT_EQ(p.at(off), n(0));
    EXPECT_EQ(p.at("ExceptionsList"), pl::Value(pl::Array{s("localhost"), s("127.0.0.1"), s("::1"), s("*.local")}));
  }

  auto restored = run(disconnectCommand(snapshot));
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_FALSE(systemProxyCarries(state, configuration));
  const auto after = allProxies();
  for (const auto& [name, proxies] : before) {
    SCOPED_TRACE(name);
    const bool listed = std::find(names.begin(), names.end(), name) != names.end();
    if (listed) {
      EXPECT_EQ(restorable(after.at(name)), restorable(proxies));
    } else {
      EXPECT_EQ(after.at(name), proxies);  // never touched
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Protocols, RoundTrip, ::testing::Values("http", "https", "socks4", "socks5"));

}  // namespace
}  // namespace tavlune
