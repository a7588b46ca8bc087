#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fstream>
#include <sstream>
#include <thread>
#include "platform/plist/plist.h"
#include "platform/process/process.h"
#include "platform/sysconfig/network_preferences.h"
#include "sim/networksetup/service_lookup.h"
#include "sim/preferences/preferences_seed.h"
#include "tests/support/temp_dir.h"
namespace tavlune {
namespace {
namespace pl = platform::plist;
using Words = std::vector<std::string>;
pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const std::string& v) { return pl::Value(v); }
std::string bytesOf(const std::string& path) { return (std::stringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str(); }
struct stat statOf(const std::string& path) {
  struct stat st{};
  ::stat(path.c_str(), &st);
  return st;
}

class Networksetup : public ::testing::Test {
 protected:
  // Also called again to start a row afresh.
  void SetUp() override {
    sim::PreferencesSeed seed;
    seed.services = {{"W", "Wi-Fi", sim::InterfaceSeed{"en0", "IEEE80211", "Wi-Fi"}, true,
                      pl::Value(pl::Dictionary{{"ExceptionsList", pl::Value(pl::Array{s("*.local"), s("169.254/16")})},
                                               {"FTPPassive", n(1)}})},
                     {"E", "Ethernet", sim::InterfaceSeed{"en1", "Ethernet", "Ethernet"}, true, std::nullopt},
                     {"D", "Bob's \"Lab\" $x", sim::InterfaceSeed{"en2", "Ethernet", "USB"}, false, std::nullopt}};
    seed.serviceOrder = Words{"E", "W", "D"};
    auto bytes = pl::toBinary(pl::Value(sim::seededPreferences(seed).root())).value();
    std::filesystem::remove(keychain);
    temp.write("preferences.plist", std::string(bytes.begin(), bytes.end()));
  }
  std::tuple<int, std::string, std::string> run(const Words& arguments) {
    auto r = platform::runProcess(NETWORKSETUP_PATH, arguments, {.environment = Words{"TAVLUNE_SIM_PREFERENCES=" + path}});
    if (!r) return {-1, "", r.error().description};
    return {r->succeeded() ? 0 : r->terminationStatus ? r->terminationStatus : -1,
            std::string(r->standardOutput.begin(), r->standardOutput.end()), std::string(r->standardError.begin(), r->standardError.end())};
  }
  int status(const Words& arguments) { return std::get<0>(run(arguments)); }
  pl::Dictionary proxiesOf(const std::string& serviceID) {
    const std::string bytes = bytesOf(path);
    auto parsed = platform::sysconfig::NetworkPreferences::fromBytes(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    if (!parsed) return {{"unreadable", pl::Value(true)}};
    pl::Dictionary root = parsed->root();
    pl::Dictionary* proxies = sim::mutableProxies(root, serviceID);
    return proxies ? *proxies : pl::Dictionary{{"missing service", pl::Value(true)}};
  }
  testing::TempDir temp;
  const std::string path = temp / "preferences.plist", keychain = temp / "tavlune-sim-keychain.plist";
};

// Passwords live in the private keychain, not the preferences; a file is
// rewritten (beside it, then renamed over it: a new inode) only when it changes.
TEST_F(Networksetup, PasswordsInThePrivateKeychainAndOnlyChangesWritten) {
  ASSERT_EQ(status({"-setsocksfirewallproxy", "Wi-Fi", "h", "2", "on", "bob", "socks-pw"}), 0);
  ASSERT_EQ(status({"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "s3cr\xC3\xABt 'pw'"}), 0);
  EXPECT_EQ(bytesOf(path).find("s3cr"), std::string::npos);
  EXPECT_NE(bytesOf(keychain).find("s3cr\xC3\xABt 'pw'"), std::string::npos);
  EXPECT_EQ(std::pair(statOf(keychain).st_mode & 0777, statOf(path).st_mode & 0777), std::pair(0600u, 0644u));
  // Setting the proxy again without authentication forgets user and password.
  ASSERT_EQ(status({"-setwebproxy", "Wi-Fi", "h", "1", "off"}), 0);
  EXPECT_EQ(proxiesOf("W").count("HTTPUser"), 0u);
  EXPECT_EQ(bytesOf(keychain).find("s3cr"), std::string::npos);
  for (const auto& [arguments, preferencesWritten, keychainWritten] : std::initializer_list<std::tuple<Words, int, bool>>{
           {{"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "pw1"}, 1, true},
           {{"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "pw1"}, 0, false},
           {{"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "pw2"}, -1, true},  // a new password alone; -1: either way
           {{"-setwebproxystate", "Wi-Fi", "on"}, 0, false}, {{"-setwebproxystate", "Wi-Fi", "off"}, 1, false},
           {{"-setproxybypassdomains", "Wi-Fi", "*.local", "169.254/16"}, 0, false},
           {{"-setproxybypassdomains", "Wi-Fi", "*.local"}, 1, false}}) {
    const auto preferences = statOf(path).st_ino, secrets = statOf(keychain).st_ino;
    ASSERT_EQ(status(arguments), 0);
    EXPECT_TRUE(preferencesWritten < 0 || (statOf(path).st_ino != preferences) == (preferencesWritten == 1)) << arguments.back();
    EXPECT_EQ(statOf(keychain).st_ino != secrets, keychainWritten) << arguments.back();
  }
  EXPECT_NE(bytesOf(keychain).find("pw2"), std::string::npos);
  // A switch keeps the user; another kind's login is never touched.
  EXPECT_EQ(proxiesOf("W").at("HTTPUser"), s("alice"));
  EXPECT_NE(bytesOf(keychain).find("socks-pw"), std::string::npos);
}

TEST_F(Networksetup, ReadCommandsPrintLikeTheSystemsTool) {
  ASSERT_EQ(status({"-setsecurewebproxy", "Ethernet", "h", "443", "off"}), 0);  // the system's own keys
  EXPECT_EQ(proxiesOf("E"), (pl::Dictionary{{"HTTPSEnable", n(1)}, {"HTTPSProxy", s("h")}, {"HTTPSPort", n(443)}, {"HTTPSProxyAuthenticated", n(0)}}));
  ASSERT_EQ(status({"-setwebproxy", "Wi-Fi", "proxy.example", "3128", "on", "u", ""}), 0);
  ASSERT_EQ(status({"-setautoproxyurl", "Ethernet", "http://wpad/x.pac"}), 0);
  ASSERT_EQ(status({"-setproxyautodiscovery", "Ethernet", "on"}), 0);
  const std::string off = "Enabled: No\nServer: \nPort: 0\nAuthenticated Proxy Enabled: 0\n";
  for (const auto& [arguments, out] : std::initializer_list<std::pair<Words, std::string>>{
           {{"-listallnetworkservices"}, "An asterisk (*) denotes that a network service is disabled.\nEthernet\nWi-Fi\n*Bob's \"Lab\" $x\n"},
           {{"-getwebproxy", "Wi-Fi"}, "Enabled: Yes\nServer: proxy.example\nPort: 3128\nAuthenticated Proxy Enabled: 1\n"},
           {{"-getsecurewebproxy", "Wi-Fi"}, off}, {{"-getsocksfirewallproxy", "Ethernet"}, off},
           {{"-getproxybypassdomains", "Wi-Fi"}, "*.local\n169.254/16\n"},
           {{"-getproxybypassdomains", "Ethernet"}, "There aren't any bypass domains set on Ethernet.\n"},
           {{"-getautoproxyurl", "Ethernet"}, "URL: http://wpad/x.pac\nEnabled: Yes\n"}, {{"-getautoproxyurl", "Wi-Fi"}, "URL: (null)\nEnabled: No\n"},
           {{"-getproxyautodiscovery", "Ethernet"}, "Auto Proxy Discovery: On\n"},
           {{"-getproxyautodiscovery", "Bob's \"Lab\" $x"}, "Auto Proxy Discovery: Off\n"}})
    EXPECT_EQ(run(arguments), std::tuple(0, out, "")) << arguments[0];
}

TEST_F(Networksetup, ErrorsChangeNothingAndExitNonZero) {
  ASSERT_EQ(status({"-setsocksfirewallproxy", "Wi-Fi", "h", "1", "on", "u", "keep"}), 0);
  const std::string preferences = bytesOf(path), secrets = bytesOf(keychain), invalid = "The parameters were not valid.";
  for (const auto& [arguments, message] : std::initializer_list<std::pair<Words, std::string>>{
           {{}, "Usage"}, {{"-setwebproxy", "wi-fi", "h", "1"}, "wi-fi is not a recognized network service."},
           {{"-setwebproxy", "Wi-Fi ", "h", "1"}, "Wi-Fi  is not a recognized network service."},
           {{"-getwebproxy", "Nope"}, "Nope is not a recognized network service."},
           {{"-setwebproxy", "Wi-Fi", "h", "http"}, invalid}, {{"-setwebproxy", "Wi-Fi", "h", "65536"}, invalid},
           {{"-setwebproxy", "Wi-Fi", "h", "-1"}, invalid}, {{"-setwebproxy", "Wi-Fi", "h", ""}, invalid},
           {{"-setwebproxy", "Wi-Fi", "", "80"}, invalid}, {{"-setwebproxy", "Wi-Fi", "h"}, invalid},
           {{"-setwebproxy", "Wi-Fi", "h", "80", "on", "u"}, invalid}, {{"-setwebproxy", "Wi-Fi", "h", "80", "on", "", "p"}, invalid},
           {{"-setwebproxy", "Wi-Fi", "h", "80", "maybe"}, invalid}, {{"-setwebproxy", "Wi-Fi", "h", "80", "off", "u", "p"}, invalid},
           {{"-setwebproxystate", "Wi-Fi"}, invalid}, {{"-setwebproxystate", "Wi-Fi", "1"}, invalid},
           {{"-setproxybypassdomains", "Wi-Fi"}, invalid}, {{"-setautoproxyurl", "Wi-Fi", ""}, invalid},
           {{"-getwebproxy", "Wi-Fi", "extra"}, invalid}, {{"-setwebproxy", "Wi-Fi", "bad\xFF" "utf8", "80"}, "Error"},
           {{"-setnetworkserviceenabled", "Wi-Fi", "off"}, "is not a recognized command."}}) {
    auto [code, out, err] = run(arguments);
    EXPECT_NE(code, 0) << ::testing::PrintToString(arguments);
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_EQ(std::pair(bytesOf(path), bytesOf(keychain)), std::pair(preferences, secrets)) << ::testing::PrintToString(arguments);
  }
  temp.write("preferences.plist", "garbage");
  for (const Words& arguments : {Words{"-listallnetworkservices"}, {"-getwebproxy", "Wi-Fi"}, {"-setwebproxystate", "Wi-Fi", "on"}}) {
    auto [code, out, err] = run(arguments);
    EXPECT_TRUE(code != 0 && err.find("** Error") != std::string::npos) << arguments[0] << ": " << err;
  }
  EXPECT_EQ(bytesOf(path), "garbage");
}

// Without the lock, read-modify-replace cycles overlap and drop each other's keys.
TEST_F(Networksetup, ConcurrentInvocationsNeverLoseAnEdit) {
  std::vector<std::tuple<Words, std::string, std::string, pl::Value>> edits;  // arguments, service, key, value
  for (const auto& [name, id] : {std::pair{"Wi-Fi", "W"}, {"Ethernet", "E"}}) {
    const std::string host = std::string("h") + id, url = "http://" + host;
    for (const auto& [verb, key] : {std::pair{"-setwebproxy", "HTTPProxy"}, {"-setsecurewebproxy", "HTTPSProxy"}, {"-setsocksfirewallproxy", "SOCKSProxy"}})
      edits.push_back({{verb, name, host, "1"}, id, key, s(host)});
    edits.push_back({{"-setautoproxystate", name, "on"}, id, "ProxyAutoConfigEnable", n(1)});
    edits.push_back({{"-setproxyautodiscovery", name, "on"}, id, "ProxyAutoDiscoveryEnable", n(1)});
    edits.push_back({{"-setautoproxyurl", name, url}, id, "ProxyAutoConfigURLString", s(url)});
  }
  for (int round = 0; round < 3; ++round) {
    SetUp();
    std::vector<std::thread> threads;
    for (const auto& edit : edits) threads.emplace_back([&] { EXPECT_EQ(status(std::get<0>(edit)), 0); });
    for (auto& t : threads) t.join();
    for (const auto& [arguments, service, key, value] : edits) {
      pl::Dictionary proxies = proxiesOf(service);
      EXPECT_TRUE(proxies.count(key) && proxies.at(key) == value) << arguments[0] << " " << service << " lost";
    }
  }
}
}  // namespace
}  // namespace tavlune
