#include <gtest/gtest.h>

#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/plist/plist.h"
#include "sysproxy/proxy_inspection.h"
#include "platform/sysconfig/memory_network_configuration.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
using namespace tavlune::model;

namespace pl = platform::plist;

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const char* v) { return pl::Value(v); }

std::vector<uint8_t> blob(const pl::Value& value) { return *pl::toBinary(value); }
std::vector<uint8_t> blob(const pl::Dictionary& d) { return blob(pl::Value(d)); }

TEST(ProxyInspection, SwitchesAndGatewayPerDictionary) {
  const struct {
    const char* what;
    std::vector<uint8_t> configuration;
    bool enabled, gateway;
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hasEnabledProxy(c.configuration), c.enabled);
    EXPECT_EQ(containsTavluneGateway(c.configuration), c.gateway);
  }
  auto xml = pl::toXml(pl::Value(pl::Dictionary{{"HTTPEnable", n(1)}, {"HTTPProxy", s("gw.tavlune.com")}}));
  std::vector<uint8_t> xmlBlob(xml->begin(), xml->end());
  EXPECT_TRUE(containsTavluneGateway(xmlBlob));
}

constexpr const char* kHost = "proxy.example";

MacProxyConnectionState stateFor(const char* protocol) { return {kHost, 8080, protocol, "manual", {}, 0, {}, {}, {}, {}, 1}; }

pl::Dictionary live(const char* kind, pl::Value host = s(kHost), pl::Value port = n(8080), pl::Value enable = n(1)) {
  const std::string k = kind;
  return {{k + "Enable", enable}, {k + "Proxy", host}, {k + "Port", port}};
}

TEST(SystemProxyCarries, ComparesTheProtocolsKeysOnly) {
  pl::Dictionary both = live("HTTP"), socks = live("SOCKS");
  both.insert(socks.begin(), socks.end());
  const struct {
    const char* what;
    const char* protocol;
    pl::Dictionary live;
    bool matches;
  } cases[] = {
      {"http on web", "http", live("HTTP"), true},
      {"http, values as text and padded", "http", live("HTTP", s(" proxy.example\n"), s("8080"), s("1")), true},
      {"http, switch off", "http", live("HTTP", s(kHost), n(8080), n(0)), false},
      {"http, another port", "http", live("HTTP", s(kHost), n(8081)), false},
      {"http, port missing", "http", {{"HTTPEnable", n(1)}, {"HTTPProxy", s(kHost)}}, false},
      {"http, host in another case", "http", live("HTTP", s("Proxy.Example")), false},
      {"http, host with a trailing dot", "http", live("HTTP", s("proxy.example.")), false},
      {"http, only the secure web proxy", "http", live("HTTPS"), false},
      {"https on secure web", "https", live("HTTPS"), true},
      {"https, only web", "https", live("HTTP"), false},
      {"socks5 on SOCKS", "socks5", socks, true},
      {"socks4 on SOCKS", "socks4", socks, true},
      {"socks5, only web", "socks5", live("HTTP"), false},
      {"socks5, web and SOCKS", "socks5", both, true},
      {"unknown protocol reads web", "ftp", live("HTTP"), true},
      {"nothing live", "http", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::sysconfig::MemoryNetworkConfiguration configuration;
    configuration.live = pl::Value(c.live);
    EXPECT_EQ(systemProxyCarries(stateFor(c.protocol), configuration), c.matches);
  }
}

TEST(SystemProxyCarries, FalseWithoutReadableLiveSettings) {
  platform::sysconfig::MemoryNetworkConfiguration configuration;
  configuration.live = pl::Value(live("HTTP"));
  ASSERT_TRUE(systemProxyCarries(stateFor("http"), configuration));
  configuration.live = unexpected(platform::Error{"no store"});
  EXPECT_FALSE(systemProxyCarries(stateFor("http"), configuration));
  configuration.live = pl::Value(pl::Array{pl::Value(live("HTTP"))});
  EXPECT_FALSE(systemProxyCarries(stateFor("http"), configuration));
}

}  // namespace
}  // namespace tavlune
