// The networksetup lines the helper runs, and what the live and stored settings say.
#include <gtest/gtest.h>

#include "helperd/allowed_command_lines.h"
#include "platform/plist/plist.h"
#include "platform/sysconfig/memory_network_configuration.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/proxy_inspection.h"
#include "sysproxy/restore_commands.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
namespace pl = platform::plist;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const char* v) { return pl::Value(v); }
const std::string P = "/usr/sbin/networksetup ";
Bytes blob(const pl::Value& value) { return *pl::toBinary(value); }
Bytes blob(const pl::Dictionary& d) { return blob(pl::Value(d)); }
pl::Dictionary at(const std::string& k, pl::Value host, pl::Value port = n(8080), pl::Value enable = n(1)) {
  return {{k + "Enable", enable}, {k + "Proxy", host}, {k + "Port", port}};
}
pl::Dictionary operator|(pl::Dictionary a, const pl::Dictionary& b) { return a.insert(b.begin(), b.end()), a; }

Lines split(const std::string& line) {
  Lines pieces;
  size_t start = 0;
  for (size_t at; (at = line.find(" && ", start)) != std::string::npos; start = at + 4)
    pieces.push_back(line.substr(start, at - start));
  if (!line.empty()) pieces.push_back(line.substr(start));
  return pieces;
}

Lines operator+(Lines a, const Lines& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

Lines switchOffs(const std::string& q) {
  Lines lines;
  for (const char* o : {"-setwebproxystate ", "-setsecurewebproxystate ", "-setsocksfirewallproxystate ",
                        "-setautoproxystate ", "-setproxyautodiscovery "})
    lines.push_back(P + o + q + " off");
  return lines;
}

Lines connectPrefix(const std::string& q) {
  return switchOffs(q) + Lines{P + "-setproxybypassdomains " + q + " localhost 127.0.0.1 ::1 '*.local'"};
}

TEST(ConnectCommand, ProxyLinesPerProtocolAndAuthentication) {
  const Lines web{P + "-setwebproxy 'S' 'h' 1 off", P + "-setsecurewebproxy 'S' 'h' 1 off"};
  const struct { const char *protocol, *user, *password; int64_t port; Lines proxy; } cases[] = {
      {"http", "", "", 1, web},
      {"HTTPS", "", "", 1, web},  // unknown names get the web pair
      {"", "", "", 1, web},
      {"https", "", "secret", 8080, {P + "-setsecurewebproxy 'S' 'h' 8080 off"}},
      {"socks4", "bob", "", 65535, {P + "-setsocksfirewallproxy 'S' 'h' 65535 on 'bob' ''"}},
      {"socks5", " ", "p'w", -3, {P + "-setsocksfirewallproxy 'S' 'h' -3 on ' ' 'p'\"'\"'w'"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(split(connectCommand({"S"}, "h", c.port, c.protocol, c.user, c.password)), connectPrefix("'S'") + c.proxy)
        << c.protocol;
  EXPECT_EQ(split(connectCommand({"A", "B"}, "h", 2, "socks5", "", "")),
            connectPrefix("'A'") + Lines{P + "-setsocksfirewallproxy 'A' 'h' 2 off"} + connectPrefix("'B'") +
                Lines{P + "-setsocksfirewallproxy 'B' 'h' 2 off"});
  EXPECT_EQ(connectCommand({}, "h", 1, "http", "u", "p"), "");
}

TEST(DisableAndDisconnectCommands, WithoutSnapshotOrServices) {
  EXPECT_EQ(disableProxyCommand({}), "");
  EXPECT_EQ(split(disableProxyCommand({"Wi-Fi", "o'neil"})), switchOffs("'Wi-Fi'") + switchOffs("'o'\"'\"'neil'"));
  EXPECT_EQ(disconnectCommand(std::nullopt, {}), ":");
  EXPECT_EQ(disconnectCommand(model::MacProxySnapshot{}, {}), "");
}

// The restore line of one service S, checked against the daemon's own test on the way.
Lines restoreOfS(const Bytes& before, const std::vector<model::MacNetworkServiceSnapshot>& live = {}) {
  const std::string line = disconnectCommand(model::MacProxySnapshot{{{"S", before}}}, live);
  EXPECT_TRUE(helperd::isAllowedCommandLine(line)) << line;
  return split(line);
}

// What follows the five switch-offs of one service named S, per dictionary.
TEST(DisconnectCommand, RestoredPiecesPerDictionary) {
  const std::string empty = P + "-setproxybypassdomains 'S' Empty";
  const auto list = [](std::initializer_list<pl::Value> v) { return pl::Value(pl::Array(v)); };
  const struct { const char* what; pl::Dictionary proxies; Lines expected; } cases[] = {
      {"port missing", {{"HTTPEnable", n(1)}, {"HTTPProxy", s("h")}}, {empty}}, {"host blank", at("HTTP", s(" \n"), n(1)), {empty}},
      // Setting a proxy switches it on: one that was off is switched off again at once.
      {"switch off", at("HTTP", s("h"), n(1), n(0)), {P + "-setwebproxy 'S' 'h' 1 off", P + "-setwebproxystate 'S' off", empty}},
      {"switch 2", at("SOCKS", s("h"), n(1), n(2)), {P + "-setsocksfirewallproxy 'S' 'h' 1 off", P + "-setsocksfirewallproxystate 'S' off", empty}},
      {"all three off, with users", at("SOCKS", s("c"), n(3), n(0)) | at("HTTPS", s("b"), n(2), n(0)) | at("HTTP", s("a"), n(1), n(1)) |
                                        pl::Dictionary{{"HTTPUser", s("x")}, {"HTTPSUser", s("y")}, {"SOCKSUser", s("z")}},
       {P + "-setwebproxy 'S' 'a' 1 on 'x' ''", P + "-setsecurewebproxy 'S' 'b' 2 on 'y' ''", P + "-setsecurewebproxystate 'S' off",
        P + "-setsocksfirewallproxy 'S' 'c' 3 on 'z' ''", P + "-setsocksfirewallproxystate 'S' off", empty}},
      {"text values, host trimmed", at("SOCKS", s(" socks.example\n"), s("1080"), s("1")),
       {P + "-setsocksfirewallproxy 'S' 'socks.example' 1080 off", empty}},
      {"secure web user", at("HTTPS", s("h"), n(443)) | pl::Dictionary{{"HTTPSUser", s("o'neil")}},
       {P + "-setsecurewebproxy 'S' 'h' 443 on 'o'\"'\"'neil' ''", empty}},
      {"blank user", at("HTTP", s("h"), n(1)) | pl::Dictionary{{"HTTPUser", s("  ")}}, {P + "-setwebproxy 'S' 'h' 1 off", empty}},
      {"all three in order", at("SOCKS", s("c"), n(3)) | at("HTTPS", s("b"), n(2)) | at("HTTP", s("a"), n(1)) | pl::Dictionary{{"HTTPUser", s("x")}, {"SOCKSUser", s("z")}},
       {P + "-setwebproxy 'S' 'a' 1 on 'x' ''", P + "-setsecurewebproxy 'S' 'b' 2 off", P + "-setsocksfirewallproxy 'S' 'c' 3 on 'z' ''", empty}},
      {"empty exceptions", {{"ExceptionsList", list({})}}, {empty}}, {"numeric exception", {{"ExceptionsList", list({s("a"), n(1)})}}, {empty}},
      {"exceptions not a list", {{"ExceptionsList", s("*.local")}}, {empty}},
      {"exception with a quote", {{"ExceptionsList", list({s("it's.local"), s("")})}}, {P + "-setproxybypassdomains 'S' 'it'\"'\"'s.local' ''"}},
      {"discovery and URL after the bypass list", {{"ProxyAutoConfigEnable", n(1)},
        {"ProxyAutoConfigURLString", s("http://wpad/x.pac")}, {"ProxyAutoDiscoveryEnable", n(1)}},
       {empty, P + "-setproxyautodiscovery 'S' on", P + "-setautoproxyurl 'S' 'http://wpad/x.pac'"}},
      {"URL blank", {{"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoConfigURLString", s(" ")}}, {empty}},
      {"URL switched off", {{"ProxyAutoConfigEnable", n(0)}, {"ProxyAutoConfigURLString", s("u")}}, {empty}},
  };
  for (const auto& c : cases) EXPECT_EQ(restoreOfS(blob(c.proxies)), switchOffs("'S'") + c.expected) << c.what;
}

// A kind the snapshot has no server for keeps the host the connect wrote (the tool cannot
// empty one), but never the connect's user name.
TEST(DisconnectCommand, UserNamesTheConnectLeftAreRemoved) {
  const pl::Dictionary login = at("SOCKS", s("127.0.0.1"), n(1080)) | pl::Dictionary{{"SOCKSUser", s("tavlune")}};
  const Lines removed{P + "-setsocksfirewallproxy 'S' '127.0.0.1' 1080 off", P + "-setsocksfirewallproxystate 'S' off"};
  const std::string empty = P + "-setproxybypassdomains 'S' Empty";
  const struct { const char* what; Bytes before; std::vector<model::MacNetworkServiceSnapshot> live; Lines expected; } cases[] = {
      {"empty before", blob(pl::Dictionary{}), {{"S", blob(login)}}, removed + Lines{empty}},
      {"host before but no port", blob({{"SOCKSProxy", s("old")}}), {{"S", blob(login)}}, removed + Lines{empty}},
      {"unreadable before", {'x'}, {{"S", blob(login)}}, removed},
      {"server before wins", blob(at("SOCKS", s("old"), n(9), n(0))), {{"S", blob(login)}},
       {P + "-setsocksfirewallproxy 'S' 'old' 9 off", P + "-setsocksfirewallproxystate 'S' off", empty}},
      {"no user now", blob(pl::Dictionary{}), {{"S", blob(at("SOCKS", s("127.0.0.1"), n(1080)))}}, {empty}},
      {"user but no port now", blob(pl::Dictionary{}), {{"S", blob({{"SOCKSProxy", s("h")}, {"SOCKSUser", s("u")}})}}, {empty}},
      {"another service's user", blob(pl::Dictionary{}), {{"T", blob(login)}}, {empty}},
      {"unreadable now", blob(pl::Dictionary{}), {{"S", {'x'}}}, {empty}},
  };
  for (const auto& c : cases) EXPECT_EQ(restoreOfS(c.before, c.live), switchOffs("'S'") + c.expected) << c.what;
}

TEST(DisconnectCommand, UnreadableEntriesDegradeToSwitchedOff) {
  const std::vector<uint8_t> notPlist{'n', 'o', 'p', 'e'}, array = *pl::toBinary(pl::Value(pl::Array{s("x")}));
  auto xml = pl::toXml(pl::Value(pl::Dictionary{{"HTTPEnable", n(1)}, {"HTTPProxy", s("x")}, {"HTTPPort", n(9)}}));
  const model::MacProxySnapshot snapshot{{{"A", notPlist}, {"B", array}, {"C", {xml->begin(), xml->end()}}}};
  EXPECT_EQ(split(disconnectCommand(snapshot, {})),  // any property list format reads
            (switchOffs("'A'") + switchOffs("'B'") + switchOffs("'C'") +
             Lines{P + "-setwebproxy 'C' 'x' 9 off", P + "-setproxybypassdomains 'C' Empty"}));
}

// The largest lines of 64 services with long names: the connect's fits the helper's bound; a
// take-back of every kind typed in and off with a login, long bypass lists and configuration
// URLs does not, and goes as lines that each fit and together are the one line.
TEST(CommandLines, LongestLinesAgainstTheHelpersBound) {
  std::vector<std::string> names;
  model::MacProxySnapshot snapshot;
  pl::Array bypass;
  for (int i = 0; i < 16; ++i) bypass.push_back(s(("*.intranet-" + std::to_string(i) + ".corp.example.com").c_str()));
  const std::string host(64, 'h'), user(32, 'u');
  for (int i = 0; i < 64; ++i) {
    names.push_back("Thunderbolt Ethernet Slot " + std::to_string(i) + ", Port 2 \u2014 Bob's \"Dock\"");
    pl::Dictionary proxies = at("HTTP", s(host.c_str()), n(65535), n(0)) | at("HTTPS", s(host.c_str()), n(65535), n(0)) |
                             at("SOCKS", s(host.c_str()), n(65535), n(0)) |
                             pl::Dictionary{{"HTTPUser", s(user.c_str())}, {"HTTPSUser", s(user.c_str())}, {"SOCKSUser", s(user.c_str())},
                                            {"ExceptionsList", pl::Value(bypass)}, {"ProxyAutoDiscoveryEnable", n(1)},
                                            {"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoConfigURLString", s(("http://wpad.corp.example/" + std::string(100, 'p') + ".pac").c_str())}};
    snapshot.services.push_back({names.back(), blob(proxies)});
  }
  EXPECT_TRUE(helperd::isAllowedCommandLine(connectCommand(names, std::string(253, 'h'), 65535, "http", user, user)));
  const std::string line = disconnectCommand(snapshot, {});
  ASSERT_FALSE(helperd::isAllowedCommandLine(line));
  const Lines lines = disconnectCommandLines(snapshot, {});
  EXPECT_GT(lines.size(), 1u);
  std::string joined;
  for (const std::string& piece : lines) {
    EXPECT_TRUE(helperd::isAllowedCommandLine(piece));
    joined += (joined.empty() ? "" : " && ") + piece;
  }
  EXPECT_EQ(joined, line);
  EXPECT_EQ(disconnectCommandLines(std::nullopt, {}), Lines{});
  EXPECT_EQ(disconnectCommandLines(model::MacProxySnapshot{}, {}), Lines{});
}

TEST(ProxyInspection, SwitchesAndGatewayPerDictionary) {
  const char* gw = "gw.tavlune.com";
  auto xml = pl::toXml(pl::Value(at("HTTP", s(gw))));
  const struct { const char* what; Bytes configuration; bool enabled, gateway; } cases[] = {
      {"empty dictionary", blob(pl::Dictionary{}), false, false}, {"not a property list", {'{', '}'}, false, false},
      {"an array", blob(pl::Value(pl::Array{s(gw)})), false, false}, {"switch 1", blob({{"HTTPEnable", n(1)}}), true, false},
      {"switch true", blob({{"SOCKSEnable", pl::Value(true)}}), true, false}, {"switch 2", blob({{"HTTPEnable", n(2)}}), false, false},
      {"only automatic configuration", blob({{"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoDiscoveryEnable", n(1)}}), false, false},
      {"gateway on web", blob(at("HTTP", s(gw))), true, true},
      {"gateway on web, XML", {xml->begin(), xml->end()}, true, true},
      {"gateway upper case and padded", blob(at("SOCKS", s(" \tGW.Tavlune.COM\n"))), true, true},
      {"gateway with port", blob(at("HTTP", s("gw.tavlune.com:443"))), true, false},
      {"gateway with trailing dot", blob(at("HTTP", s("gw.tavlune.com."))), true, false},
      {"gateway sub-domain", blob(at("HTTP", s("x.gw.tavlune.com"))), true, false},
      {"gateway switched off", blob(at("HTTP", s(gw), n(1), n(0))), false, false},
      {"gateway under another row's switch", blob({{"HTTPEnable", n(1)}, {"HTTPProxy", s("o.example")}, {"HTTPSProxy", s(gw)}}), true, false},
      {"gateway on web, foreign SOCKS", blob(at("HTTP", s(gw)) | at("SOCKS", s("f.example"))), true, true},
      {"foreign web, gateway on SOCKS", blob(at("HTTP", s("f.example")) | at("SOCKS", s(gw))), true, true},
      {"gateway host missing", blob({{"HTTPSEnable", n(1)}}), true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hasEnabledProxy(c.configuration), c.enabled) << c.what;
    EXPECT_EQ(containsTavluneGateway(c.configuration), c.gateway) << c.what;
  }
}

TEST(SystemProxyCarries, ComparesTheProtocolsKeysOnly) {
  const auto host = s("proxy.example");
  const pl::Dictionary socks = at("SOCKS", host), both = at("HTTP", host) | socks;
  const auto web = [&](pl::Value h, pl::Value p = n(8080), pl::Value on = n(1)) { return pl::Value(at("HTTP", h, p, on)); };
  const struct { const char* protocol; std::optional<pl::Value> live; bool matches; } cases[] = {
      {"http", web(host), true}, {"http", web(s(" proxy.example\n"), s("8080"), s("1")), true},
      {"http", web(host, n(8080), n(0)), false}, {"http", web(host, n(8081)), false},
      {"http", pl::Value(pl::Dictionary{{"HTTPEnable", n(1)}, {"HTTPProxy", host}}), false},
      {"http", web(s("Proxy.Example")), false}, {"http", web(s("proxy.example.")), false},
      {"http", pl::Value(at("HTTPS", host)), false}, {"https", pl::Value(at("HTTPS", host)), true}, {"https", web(host), false},
      {"socks5", pl::Value(socks), true}, {"socks4", pl::Value(socks), true}, {"socks5", web(host), false},
      {"socks5", pl::Value(both), true}, {"ftp", web(host), true},  // unknown protocols read the web keys
      {"http", pl::Value(pl::Dictionary{}), false}, {"http", pl::Value(pl::Array{web(host)}), false},
      {"http", std::nullopt, false},  // no readable live settings
  };
  for (const auto& c : cases) {
    platform::sysconfig::MemoryNetworkConfiguration configuration;
    configuration.live = c.live ? decltype(configuration.live)(*c.live) : unexpected(platform::Error{"no store"});
    const model::MacProxyConnectionState state{"proxy.example", 8080, c.protocol, "manual", {}, 0, {}, {}, {}, {}, 1};
    EXPECT_EQ(systemProxyCarries(state, configuration), c.matches) << &c - cases;
  }
}

}  // namespace
}  // namespace tavlune
