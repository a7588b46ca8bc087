#include <gtest/gtest.h>

#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/plist/plist.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/restore_commands.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
using namespace tavlune::model;

namespace pl = platform::plist;

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> pieces;
  if (line.empty()) return pieces;
  size_t start = 0;
  for (size_t at; (at = line.find(" && ", start)) != std::string::npos; start = at + 4) {
    pieces.push_back(line.substr(start, at - start));
  }
  pieces.push_back(line.substr(start));
  return pieces;
}

std::vector<uint8_t> blob(const pl::Dictionary& proxies) { return *pl::toBinary(pl::Value(proxies)); }

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const char* v) { return pl::Value(v); }

std::string restoreOf(const std::vector<MacNetworkServiceSnapshot>& services) {
  return disconnectCommand(MacProxySnapshot{services});
}

const char* kSwitchOffWiFi =
    "/usr/sbin/networksetup -setwebproxystate 'Wi-Fi' off && "
    "/usr/sbin/networksetup -setsecurewebproxystate 'Wi-Fi' off && "
    "/usr/sbin/networksetup -setsocksfirewallproxystate 'Wi-Fi' off && "
    "/usr/sbin/networksetup -setautoproxystate 'Wi-Fi' off && "
    "/usr/sbin/networksetup -setproxyautodiscovery 'Wi-Fi' off";

TEST(ConnectCommand, WorkedExamples) {
  const std::string prefix = std::string(kSwitchOffWiFi) +
                             " && /usr/sbin/networksetup -setproxybypassdomains 'Wi-Fi' localhost 127.0.0.1 ::1 "
                             "'*.local' && ";
  EXPECT_EQ(connectCommand({"Wi-Fi"}, "203.0.113.5", 80, "http", "", ""),
            prefix +
                "/usr/sbin/networksetup -setwebproxy 'Wi-Fi' '203.0.113.5' 80 off && "
                "/usr/sbin/networksetup -setsecurewebproxy 'Wi-Fi' '203.0.113.5' 80 off");
  EXPECT_EQ(connectCommand({"Wi-Fi"}, "203.0.113.5", 80, "socks5", "", ""),
            prefix + "/usr/sbin/networksetup -setsocksfirewallproxy 'Wi-Fi' '203.0.113.5' 80 off");
}

// The per-protocol commands, service by service, with every kind of value, are
// checked through a shell in quoting_property_test.cc; here the rest.
TEST(ConnectCommand, UnknownProtocolNamesGetTheWebPair) {
  for (const char* protocol : {"HTTPS", "Socks5", ""}) {  // never reach the builder in practice
    auto pieces = split(connectCommand({"A"}, "h", 1, protocol, "", ""));
    ASSERT_EQ(pieces.size(), 8u) << protocol;
    EXPECT_EQ(pieces[6], "/usr/sbin/networksetup -setwebproxy 'A' 'h' 1 off");
    EXPECT_EQ(pieces[7], "/usr/sbin/networksetup -setsecurewebproxy 'A' 'h' 1 off");
  }
}

TEST(ConnectCommand, AuthenticationSuffixAndPort) {
  const struct {
    const char *user, *password;
    int64_t port;
    const char* expected;
  } cases[] = {
      {"", "secret", 8080, "/usr/sbin/networksetup -setsecurewebproxy 'S' 'h' 8080 off"},
      {"bob", "", 65535, "/usr/sbin/networksetup -setsecurewebproxy 'S' 'h' 65535 on 'bob' ''"},
      {" ", " ", -3, "/usr/sbin/networksetup -setsecurewebproxy 'S' 'h' -3 on ' ' ' '"},
  };
  for (const auto& c : cases) {
    auto pieces = split(connectCommand({"S"}, "h", c.port, "https", c.user, c.password));
    ASSERT_EQ(pieces.size(), 7u);
    EXPECT_EQ(pieces.back(), c.expected);
  }
  EXPECT_EQ(connectCommand({}, "h", 1, "http", "u", "p"), "");
}

// The quoting of every kind of value is checked through a shell, and against the
// helper's strict test, in quoting_property_test.cc.

// Order and quoting for several names are checked through a shell in quoting_property_test.cc.
TEST(DisableProxyCommand, FiveSwitchOffsPerName) {
  EXPECT_EQ(disableProxyCommand({}), "");
  EXPECT_EQ(disableProxyCommand({"Wi-Fi"}), kSwitchOffWiFi);
}

TEST(DisconnectCommand, WithoutSnapshotOrServices) {
  EXPECT_EQ(disconnectCommand(std::nullopt), ":");
  EXPECT_EQ(restoreOf({}), "");
}

// What follows the five switch-offs of one service named S, per dictionary.
TEST(DisconnectCommand, RestoredPiecesPerDictionary) {
  const std::string P = "/usr/sbin/networksetup ";
  const std::string emptyBypass = P + "-setproxybypassdomains 'S' Empty";
  struct Case {
    const char* what;
    pl::Dictionary proxies;
    std::vector<std::string> expected;
  } cases[] = {
      {"port missing", {{"HTTPEnable", n(1)}, {"HTTPProxy", s("h")}}, {emptyBypass}},
      {"host blank", {{"HTTPEnable", n(1)}, {"HTTPProxy", s(" \n")}, {"HTTPPort", n(1)}}, {emptyBypass}},
      {"switch off", {{"HTTPEnable", n(0)}, {"HTTPProxy", s("h")}, {"HTTPPort", n(1)}}, {emptyBypass}},
      {"switch 2", {{"HTTPEnable", n(2)}, {"HTTPProxy", s("h")}, {"HTTPPort", n(1)}}, {emptyBypass}},
      {"values as text, host trimmed",
       {{"SOCKSEnable", s("1")}, {"SOCKSProxy", s(" socks.example\n")}, {"SOCKSPort", s("1080")}},
       {P + "-setsocksfirewallproxy 'S' 'socks.example' 1080 off", emptyBypass}},
      {"secure web user",
       {{"HTTPSEnable", n(1)}, {"HTTPSProxy", s("h")}, {"HTTPSPort", n(443)}, {"HTTPSUser", s("o'neil")}},
       {P + "-setsecurewebproxy 'S' 'h' 443 on 'o'\"'\"'neil' ''", emptyBypass}},
      {"blank user is no user",
       {{"HTTPEnable", n(1)}, {"HTTPProxy", s("h")}, {"HTTPPort", n(1)}, {"HTTPUser", s("  ")}},
       {P + "-setwebproxy 'S' 'h' 1 off", emptyBypass}},
      {"all three in order",
       {{"SOCKSEnable", n(1)}, {"SOCKSProxy", s("c")}, {"SOCKSPort", n(3)},
        {"HTTPSEnable", n(1)}, {"HTTPSProxy", s("b")}, {"HTTPSPort", n(2)},
        {"HTTPEnable", n(1)}, {"HTTPProxy", s("a")}, {"HTTPPort", n(1)}},
       {P + "-setwebproxy 'S' 'a' 1 off", P + "-setsecurewebproxy 'S' 'b' 2 off",
        P + "-setsocksfirewallproxy 'S' 'c' 3 off", emptyBypass}},
      {"empty exceptions", {{"ExceptionsList", pl::Value(pl::Array{})}}, {emptyBypass}},
      {"numeric exceptions", {{"ExceptionsList", pl::Value(pl::Array{s("a"), n(1)})}}, {emptyBypass}},
      {"exceptions not a list", {{"ExceptionsList", s("*.local")}}, {emptyBypass}},
      {"exception with a quote", {{"ExceptionsList", pl::Value(pl::Array{s("it's.local"), s("")})}},
       {P + "-setproxybypassdomains 'S' 'it'\"'\"'s.local' ''"}},
      {"discovery and configuration URL after the bypass list",
       {{"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoConfigURLString", s("http://wpad/x.pac")},
        {"ProxyAutoDiscoveryEnable", n(1)}},
       {emptyBypass, P + "-setproxyautodiscovery 'S' on", P + "-setautoproxyurl 'S' 'http://wpad/x.pac'"}},
      {"configuration URL blank", {{"ProxyAutoConfigEnable", n(1)}, {"ProxyAutoConfigURLString", s(" ")}},
       {emptyBypass}},
      {"configuration URL switched off", {{"ProxyAutoConfigEnable", n(0)}, {"ProxyAutoConfigURLString", s("u")}},
       {emptyBypass}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto pieces = split(restoreOf({{"S", blob(c.proxies)}}));
    ASSERT_GE(pieces.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(pieces.begin() + 5, pieces.end()), c.expected);
  }
}

TEST(DisconnectCommand, UnreadableEntriesDegradeToSwitchedOff) {
  std::vector<uint8_t> notPlist{'n', 'o', 'p', 'e'};
  std::vector<uint8_t> array = *pl::toBinary(pl::Value(pl::Array{s("x")}));
  auto xml = pl::toXml(pl::Value(pl::Dictionary{{"HTTPEnable", n(1)}, {"HTTPProxy", s("x")}, {"HTTPPort", n(9)}}));
  auto pieces = split(restoreOf({{"A", notPlist}, {"B", array}, {"C", {xml->begin(), xml->end()}}}));
  // A and B: only their switch-offs. C (any format reads): web proxy and bypass list.
  ASSERT_EQ(pieces.size(), 17u);
  EXPECT_EQ(pieces[5], "/usr/sbin/networksetup -setwebproxystate 'B' off");
  EXPECT_EQ(pieces[15], "/usr/sbin/networksetup -setwebproxy 'C' 'x' 9 off");
}

}  // namespace
}  // namespace tavlune
