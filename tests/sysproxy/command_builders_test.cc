#include <gtest/gtest.h>

#include "platform/plist/plist.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/restore_commands.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
namespace pl = platform::plist;
using Lines = std::vector<std::string>;

const std::string P = "/usr/sbin/networksetup ";

Lines split(const std::string& line) {
  Lines pieces;
  size_t start = 0;
  for (size_t at; (at = line.find(" && ", start)) != std::string::npos; start = at + 4)
    pieces.push_back(line.substr(start, at - start));
  if (!line.empty()) pieces.push_back(line.substr(start));
  return pieces;
}

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

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

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const char* v) { return pl::Value(v); }

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
  EXPECT_EQ(disconnectCommand(std::nullopt), ":");
  EXPECT_EQ(disconnectCommand(model::MacProxySnapshot{}), "");
}

// What follows the five switch-offs of one service named S, per dictionary.
TEST(DisconnectCommand, RestoredPiecesPerDictionary) {
  const std::string empty = P + "-setproxybypassdomains 'S' Empty";
  const auto list = [](std::initializer_list<pl::Value> v) { return pl::Value(pl::Array(v)); };
  const struct { const char* what; pl::Dictionary proxies; Lines expected; } cases[] = {
      {"port missing", {{"HTTPEnable", n(1)}, {"HTTPProxy", s("h")}}, {empty}},
      {"host blank", {{"HTTPEnable", n(1)}, {"HTTPProxy", s(" \n")}, {"HTTPPort", n(1)}}, {empty}},
      {"switch off", {{"HTTPEnable", n(0)}, {"HTTPProxy", s("h")}, {"HTTPPort", n(1)}}, {empty}},
      {"switch 2", {{"HTTPEnable", n(2)}, {"HTTPProxy", s("h")}, {"HTTPPort", n(1)}}, {empty}},
      {"text values, host trimmed", {{"SOCKSEnable", s("1")}, {"SOCKSProxy", s(" socks.example\n")}, {"SOCKSPort", s("1080")}},
       {P + "-setsocksfirewallproxy 'S' 'socks.example' 1080 off", empty}},
      {"secure web user", {{"HTTPSEnable", n(1)}, {"HTTPSProxy", s("h")}, {"HTTPSPort", n(443)}, {"HTTPSUser", s("o'neil")}},
       {P + "-setsecurewebproxy 'S' 'h' 443 on 'o'\"'\"'neil' ''", empty}},
      {"blank user", {{"HTTPEnable", n(1)}, {"HTTPProxy", s("h")}, {"HTTPPort", n(1)}, {"HTTPUser", s("  ")}},
       {P + "-setwebproxy 'S' 'h' 1 off", empty}},
      {"all three in order", {{"SOCKSEnable", n(1)}, {"SOCKSProxy", s("c")}, {"SOCKSPort", n(3)}, {"HTTPSEnable", n(1)},
        {"HTTPSProxy", s("b")}, {"HTTPSPort", n(2)}, {"HTTPEnable", n(1)}, {"HTTPProxy", s("a")}, {"HTTPPort", n(1)}},
       {P + "-setwebproxy 'S' 'a' 1 off", P + "-setsecurewebproxy 'S' 'b' 2 off", P + "-setsocksfirewallproxy 'S' 'c' 3 off", empty}},
      {"empty exceptions", {{"ExceptionsList", list({})}}, {empty}},
      {"numeric exception", {{"ExceptionsList", list({s("a"), n(1)})}}, {empty}},
      {"exceptions not a list", {{"ExceptionsList", s("*.local")}}, {empty}},
      {"exception with a quote", {{"ExceptionsList", list({s("it's.local"), s("")})}},
       {P + "-setproxybypassdomains 'S' 'it'\"'\"'s.local' ''"}},
      {"discovery and URL after the bypass list", {{"ProxyAutoConfigEnable", n(1)},
        {"ProxyAutoConfigURLString", s("http://wpad/x.pac")}, {"ProxyAutoDiscoveryEnable", n(1)}},
       {empty, P + "-setproxyautodiscovery 'S' on", P + "-setautoproxyurl 'S' 'http://wpad/x.pac'"}},
      {"URL blank", {{"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoConfigURLString", s(" ")}}, {empty}},
      {"URL switched off", {{"ProxyAutoConfigEnable", n(0)}, {"ProxyAutoConfigURLString", s("u")}}, {empty}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(split(disconnectCommand(model::MacProxySnapshot{{{"S", *pl::toBinary(pl::Value(c.proxies))}}})),
              switchOffs("'S'") + c.expected) << c.what;
}

TEST(DisconnectCommand, UnreadableEntriesDegradeToSwitchedOff) {
  const std::vector<uint8_t> notPlist{'n', 'o', 'p', 'e'}, array = *pl::toBinary(pl::Value(pl::Array{s("x")}));
  auto xml = pl::toXml(pl::Value(pl::Dictionary{{"HTTPEnable", n(1)}, {"HTTPProxy", s("x")}, {"HTTPPort", n(9)}}));
  const model::MacProxySnapshot snapshot{{{"A", notPlist}, {"B", array}, {"C", {xml->begin(), xml->end()}}}};
  EXPECT_EQ(split(disconnectCommand(snapshot)),  // any property list format reads
            (switchOffs("'A'") + switchOffs("'B'") + switchOffs("'C'") +
             Lines{P + "-setwebproxy 'C' 'x' 9 off", P + "-setproxybypassdomains 'C' Empty"}));
}

}  // namespace
}  // namespace tavlune
