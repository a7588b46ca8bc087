#include <gtest/gtest.h>

#include "manager/mac_proxy_manager.h"
#include "manager/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/plist/plist.h"
#include "sysproxy/proxy_inspection.h"
#include "tests/sysproxy/fake_network_configuration.h"

namespace tavlune {
namespace {

namespace pl = platform::plist;

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const char* v) { return pl::Value(v); }

std::vector<uint8_t> blob(const pl::Value& value) { return *pl::toBinary(value); }
std::vector<uint8_t> blob(const pl::Dictionary& d) { return blob(pl::Value(d)); }

TEST(ProxyInspection, SwitchesAndGatewayPerDictionary) {
  struct Case {
    const char* what;
    std::vector<uint8_t> configuration;
    bool enabled;
    bool gateway;
  } cases[] = {
      {"empty dictionary", blob(pl::Dictionary{}), false, false},
      {"not a property list", {'{', '}'}, false, false},
      {"no bytes", {}, false, false},
      {"an array", blob(pl::Value(pl::Array{s("gw.tavlune.com")})), false, false},
      {"switch 1 as number", blob({{"HTTPEnable", n(1)}}), true, false},
      {"switch 1 as text", blob({{"HTTPSEnable", s("1")}}), true, false},
      {"switch 1 as boolean", blob({{"SOCKSEnable", pl::Value(true)}}), true, false},
      {"switch 1.0 as real", blob({{"SOCKSEnable", pl::Value(1.0)}}), true, false},
      {"switch 2", blob({{"HTTPEnable", n(2)}}), false, false},
      {"switch yes", blob({{"HTTPEnable", s("yes")}}), false, false},
      {"only automatic configuration", blob({{"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoDiscoveryEnable", n(1)}}),
       false, false},
      {"gateway on web", blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("gw.tavlune.com")}}), true, true},
      {"gateway upper case and padded", blob({{"SOCKSEnable", n(1)}, {"SOCKSProxy", s(" \tGW.Tavlune.COM\n")}}),
       true, true},
      {"gateway with port", blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("gw.tavlune.com:443")}}), true, false},
      {"gateway with trailing dot", blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("gw.tavlune.com.")}}), true, false},
      {"gateway sub-domain", blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("x.gw.tavlune.com")}}), true, false},
      {"gateway switched off", blob({{"HTTPEnable", n(0)}, {"HTTPProxy", s("gw.tavlune.com")}}), false, false},
      {"gateway under another row's switch",
       blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("other.example")}, {"HTTPSProxy", s("gw.tavlune.com")}}), true,
       false},
      {"gateway on web, foreign SOCKS",
       blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("gw.tavlune.com")}, {"SOCKSEnable", n(1)},
             {"SOCKSProxy", s("foreign.example")}}),
       true, true},
      {"foreign web, gateway on SOCKS",
       blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("foreign.example")}, {"SOCKSEnable", n(1)},
             {"SOCKSProxy", s("gw.tavlune.com")}}),
       true, true},
      {"gateway host missing", blob({{"HTTPSEnable", n(1)}}), true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hasEnabledProxy(c.configuration), c.enabled);
    EXPECT_EQ(containsTavluneGateway(c.configuration), c.gateway);
  }
  auto xml = pl::toXml(pl::Value(pl::Dictionary{{"HTTPEnable", n(1)}, {"HTTPProxy", s("gw.tavlune.com")}}));
  std::vector<uint8_t> xmlBlob(xml->begin(), xml->end());
  EXPECT_TRUE(containsTavluneGateway(xmlBlob));
}

MacProxyConnectionState stateFor(const char* protocol, const char* host = "198.51.100.4", int64_t port = 8080) {
  return {host, port, protocol, "manual", {}, 0, {}, {}, {}, {}, 1};
}

pl::Dictionary liveWeb(const char* host = "198.51.100.4", pl::Value port = pl::Value(int64_t{8080}),
                       pl::Value enable = pl::Value(int64_t{1})) {
  return {{"HTTPEnable", enable}, {"HTTPProxy", s(host)}, {"HTTPPort", port}};
}

TEST(SystemProxyMatchesCurrentState, ComparesTheProtocolsKeysOnly) {
  pl::Dictionary socks{{"SOCKSEnable", n(1)}, {"SOCKSProxy", s("198.51.100.4")}, {"SOCKSPort", n(8080)}};
  pl::Dictionary secure{{"HTTPSEnable", n(1)}, {"HTTPSProxy", s("198.51.100.4")}, {"HTTPSPort", n(8080)}};
  pl::Dictionary both = liveWeb();
  both.insert(socks.begin(), socks.end());
  struct Case {
    const char* what;
    const char* protocol;
    pl::Dictionary live;
    bool matches;
  } cases[] = {
      {"http on web", "http", liveWeb(), true},
      {"http, values as text and padded", "http", liveWeb(" 198.51.100.4\n", s("8080"), s("1")), true},
      {"http, switch off", "http", liveWeb("198.51.100.4", n(8080), n(0)), false},
      {"http, another port", "http", liveWeb("198.51.100.4", n(8081)), false},
      {"http, port missing", "http", {{"HTTPEnable", n(1)}, {"HTTPProxy", s("198.51.100.4")}}, false},
      {"http, only the secure web proxy", "http", secure, false},
      {"https on secure web", "https", secure, true},
      {"https, only web", "https", liveWeb(), false},
      {"socks5 on SOCKS", "socks5", socks, true},
      {"socks4 on SOCKS", "socks4", socks, true},
      {"socks5, only web", "socks5", liveWeb(), false},
      {"socks5, web and SOCKS", "socks5", both, true},
      {"unknown protocol reads web", "ftp", liveWeb(), true},
      {"nothing live", "http", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::MemoryUserDefaults defaults;
    ASSERT_TRUE(save(defaults, stateFor(c.protocol), MacProxyManager::stateKey).has_value());
    testing::FakeNetworkConfiguration configuration;
    configuration.live = pl::Value(c.live);
    EXPECT_EQ(systemProxyMatchesCurrentState(defaults, configuration), c.matches);
  }
}

TEST(SystemProxyMatchesCurrentState, HostIsComparedExactly) {
  struct Case {
    const char* stored;
    const char* live;
    bool matches;
  } cases[] = {
      {"proxy.example", "proxy.example", true},
      {"proxy.example", "Proxy.Example", false},
      {"proxy.example", "proxy.example.", false},
      {"gw.tavlune.com", "gw.tavlune.com", true},
  };
  for (const Case& c : cases) {
    platform::MemoryUserDefaults defaults;
    ASSERT_TRUE(save(defaults, stateFor("http", c.stored), MacProxyManager::stateKey).has_value());
    testing::FakeNetworkConfiguration configuration;
    configuration.live = pl::Value(liveWeb(c.live));
    EXPECT_EQ(systemProxyMatchesCurrentState(defaults, configuration), c.matches) << c.live;
  }
}

TEST(SystemProxyMatchesCurrentState, FalseWithoutStateOrLiveSettings) {
  testing::FakeNetworkConfiguration configuration;
  configuration.live = pl::Value(liveWeb());
  platform::MemoryUserDefaults defaults;
  EXPECT_FALSE(systemProxyMatchesCurrentState(defaults, configuration));
  ASSERT_TRUE(defaults.setData(MacProxyManager::stateKey, {'[', ']'}).has_value());
  EXPECT_FALSE(systemProxyMatchesCurrentState(defaults, configuration));

  ASSERT_TRUE(save(defaults, stateFor("http"), MacProxyManager::stateKey).has_value());
  ASSERT_TRUE(systemProxyMatchesCurrentState(defaults, configuration));
  configuration.live = unexpected(platform::Error{"no store"});
  EXPECT_FALSE(systemProxyMatchesCurrentState(defaults, configuration));
  configuration.live = pl::Value(pl::Array{pl::Value(liveWeb())});
  EXPECT_FALSE(systemProxyMatchesCurrentState(defaults, configuration));
}

}  // namespace
}  // namespace tavlune
