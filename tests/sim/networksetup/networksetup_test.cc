#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
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
using platform::sysconfig::NetworkPreferences;
using sim::InterfaceSeed;
using sim::PreferencesSeed;

pl::Value n(int64_t v) { return pl::Value(v); }
pl::Value s(const std::string& v) { return pl::Value(v); }

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class Networksetup : public ::testing::Test {
 protected:
  // Also called again to start a row afresh.
  void SetUp() override {
    temp_.emplace();
    dir_ = temp_->path();
    path_ = dir_ + "/preferences.plist";
    PreferencesSeed seed;
    seed.services = {
        {"W", "Wi-Fi", InterfaceSeed{"en0", "IEEE80211", "Wi-Fi"}, true,
         pl::Value(pl::Dictionary{{"ExceptionsList", pl::Value(pl::Array{s("*.local"), s("169.254/16")})},
                                  {"FTPPassive", n(1)}})},
        {"E", "Ethernet", InterfaceSeed{"en1", "Ethernet", "Ethernet"}, true, std::nullopt},
        {"D", "Bob's \"Lab\" $x", InterfaceSeed{"en2", "Ethernet", "USB"}, false, std::nullopt},
    };
    seed.serviceOrder = std::vector<std::string>{"E", "W", "D"};
    auto bytes = pl::toBinary(pl::Value(sim::seededPreferences(seed).root()));
    ASSERT_TRUE(bytes.has_value());
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  }
  ToolRun run(const std::vector<std::string>& arguments) {
    auto result = platform::runProcess(NETWORKSETUP_PATH, arguments,
                                       {.environment = std::vector<std::string>{"TAVLUNE_SIM_PREFERENCES=" + path_}});
    EXPECT_TRUE(result.has_value());
    if (!result) return {-1, "", ""};
    return {result->succeeded() ? 0 : (result->terminationStatus ? result->terminationStatus : -1),
            std::string(result->standardOutput.begin(), result->standardOutput.end()),
            std::string(result->standardError.begin(), result->standardError.end())};
  }

  std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  pl::Dictionary proxiesOf(const std::string& serviceID) {
    std::string bytes = bytesOf(path_);
    auto parsed = NetworkPreferences::fromBytes(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_TRUE(parsed.has_value());
    if (!parsed) return {};
    pl::Dictionary root = parsed->root();
    pl::Dictionary* proxies = sim::mutableProxies(root, serviceID);
    return proxies ? *proxies : pl::Dictionary{{"missing service", pl::Value(true)}};
  }

  std::string keychainPath() { return dir_ + "/tavlune-sim-keychain.plist"; }

  std::optional<testing::TempDir> temp_;
  std::string dir_;
  std::string path_;
};

TEST_F(Networksetup, SettersWriteTheSystemsKeys) {
  const std::pair<std::vector<std::string>, pl::Dictionary> cases[] = {  // Ethernet's proxies afterwards
      {{"-setwebproxy", "Ethernet", "proxy.example", "8080"},
       {{"HTTPEnable", n(1)}, {"HTTPProxy", s("proxy.example")}, {"HTTPPort", n(8080)}, {"HTTPProxyAuthenticated", n(0)}}},
      {{"-setsecurewebproxy", "Ethernet", "h", "443", "off"},
       {{"HTTPSEnable", n(1)}, {"HTTPSProxy", s("h")}, {"HTTPSPort", n(443)}, {"HTTPSProxyAuthenticated", n(0)}}},
      {{"-setsocksfirewallproxy", "Ethernet", "h", "1080", "on", "sam", "pw"},
       {{"SOCKSEnable", n(1)}, {"SOCKSProxy", s("h")}, {"SOCKSPort", n(1080)}, {"SOCKSProxyAuthenticated", n(1)},
        {"SOCKSUser", s("sam")}}},
      {{"-setwebproxystate", "Ethernet", "on"}, {{"HTTPEnable", n(1)}}},
      {{"-setsecurewebproxystate", "Ethernet", "Off"}, {{"HTTPSEnable", n(0)}}},
      {{"-setsocksfirewallproxystate", "Ethernet", "off"}, {{"SOCKSEnable", n(0)}}},
      {{"-setautoproxystate", "Ethernet", "on"}, {{"ProxyAutoConfigEnable", n(1)}}},
      {{"-setproxyautodiscovery", "Ethernet", "on"}, {{"ProxyAutoDiscoveryEnable", n(1)}}},
      {{"-setproxybypassdomains", "Ethernet", "localhost", "*.local", ""},
       {{"ExceptionsList", pl::Value(pl::Array{s("localhost"), s("*.local"), s("")})}}},
      {{"-setproxybypassdomains", "Ethernet", "Empty"}, {}},
      {{"-setautoproxyurl", "Ethernet", "http://wpad.example/proxy.pac"},
       {{"ProxyAutoConfigURLString", s("http://wpad.example/proxy.pac")}, {"ProxyAutoConfigEnable", n(1)}}},
  };
  for (const auto& [arguments, expected] : cases) {
    SCOPED_TRACE(arguments[0]);
    SetUp();
    ToolRun r = run(arguments);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(proxiesOf("E"), expected);
    EXPECT_EQ(proxiesOf("W").size(), 2u);  // other services untouched
  }
}

TEST_F(Networksetup, PasswordsLiveInThePrivateKeychainNotThePreferences) {
  const std::string password = "s3cr\xC3\xABt 'pw'";
  ASSERT_EQ(run({"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", password}).status, 0);
  EXPECT_EQ(bytesOf(path_).find("s3cr"), std::string::npos);
  const std::string keychain = bytesOf(keychainPath());
  EXPECT_NE(keychain.find(password), std::string::npos);
  struct stat st;
  ASSERT_EQ(::stat(keychainPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  // Setting the proxy again without authentication forgets user and password.
  ASSERT_EQ(run({"-setwebproxy", "Wi-Fi", "h", "1", "off"}).status, 0);
  EXPECT_EQ(proxiesOf("W").count("HTTPUser"), 0u);
  EXPECT_EQ(bytesOf(keychainPath()).find("s3cr"), std::string::npos);
}

// A file rewritten is a new file (written beside it, then renamed over it).
TEST_F(Networksetup, OnlyChangesAreWritten) {
  auto inode = [](const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  const struct {
    std::vector<std::string> arguments;
    std::optional<bool> preferencesWritten;  // absent: either way
    bool keychainWritten;
  } steps[] = {
      {{"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "pw1"}, true, true},
      {{"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "pw1"}, false, false},
      {{"-setwebproxy", "Wi-Fi", "h", "1", "on", "alice", "pw2"}, std::nullopt, true},  // a new password alone
      {{"-setwebproxystate", "Wi-Fi", "on"}, false, false},
      {{"-setwebproxystate", "Wi-Fi", "off"}, true, false},
      {{"-setproxybypassdomains", "Wi-Fi", "*.local", "169.254/16"}, false, false},
      {{"-setproxybypassdomains", "Wi-Fi", "*.local"}, true, false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.arguments[0] + " " + step.arguments.back());
    const auto preferences = inode(path_), keychain = inode(keychainPath());
    ASSERT_EQ(run(step.arguments).status, 0);
    if (step.preferencesWritten) {
      EXPECT_EQ(inode(path_) != preferences, *step.preferencesWritten);
    }
    EXPECT_EQ(inode(keychainPath()) != keychain, step.keychainWritten);
  }
  EXPECT_NE(bytesOf(keychainPath()).find("pw2"), std::string::npos);
}

TEST_F(Networksetup, ReadCommandsPrintLikeTheSystemsTool) {
  ASSERT_EQ(run({"-setwebproxy", "Wi-Fi", "proxy.example", "3128", "on", "u", ""}).status, 0);
  ASSERT_EQ(run({"-setautoproxyurl", "Ethernet", "http://wpad/x.pac"}).status, 0);
  ASSERT_EQ(run({"-setproxyautodiscovery", "Ethernet", "on"}).status, 0);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-listallnetworkservices"},
       "An asterisk (*) denotes that a network service is disabled.\nEthernet\nWi-Fi\n*Bob's \"Lab\" $x\n"},
      {{"-getwebproxy", "Wi-Fi"}, "Enabled: Yes\nServer: proxy.example\nPort: 3128\nAuthenticated Proxy Enabled: 1\n"},
      {{"-getsecurewebproxy", "Wi-Fi"}, "Enabled: No\nServer: \nPort: 0\nAuthenticated Proxy Enabled: 0\n"},
      {{"-getsocksfirewallproxy", "Ethernet"}, "Enabled: No\nServer: \nPort: 0\nAuthenticated Proxy Enabled: 0\n"},
      {{"-getproxybypassdomains", "Wi-Fi"}, "*.local\n169.254/16\n"},
      {{"-getproxybypassdomains", "Ethernet"}, "There aren't any bypass domains set on Ethernet.\n"},
      {{"-getautoproxyurl", "Ethernet"}, "URL: http://wpad/x.pac\nEnabled: Yes\n"},
      {{"-getautoproxyurl", "Wi-Fi"}, "URL: (null)\nEnabled: No\n"},
      {{"-getproxyautodiscovery", "Ethernet"}, "Auto Proxy Discovery: On\n"},
      {{"-getproxyautodiscovery", "Bob's \"Lab\" $x"}, "Auto Proxy Discovery: Off\n"},
  };
  for (const auto& [arguments, out] : cases) {
    ToolRun r = run(arguments);
    EXPECT_EQ(r.status, 0) << arguments[0];
    EXPECT_EQ(r.out, out) << arguments[0];
  }
}

TEST_F(Networksetup, ErrorsChangeNothingAndExitNonZero) {
  ASSERT_EQ(run({"-setsocksfirewallproxy", "Wi-Fi", "h", "1", "on", "u", "keep"}).status, 0);
  const std::string preferences = bytesOf(path_);
  const std::string keychain = bytesOf(keychainPath());
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "Usage"},
      {{"-setwebproxy", "wi-fi", "h", "1"}, "wi-fi is not a recognized network service."},
      {{"-setwebproxy", "Wi-Fi ", "h", "1"}, "Wi-Fi  is not a recognized network service."},
      {{"-getwebproxy", "Nope"}, "Nope is not a recognized network service."},
      {{"-setwebproxy", "Wi-Fi", "h", "http"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", "65536"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", "-1"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", ""}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "", "80"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", "80", "on", "u"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", "80", "on", "", "p"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", "80", "maybe"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "h", "80", "off", "u", "p"}, "The parameters were not valid."},
      {{"-setwebproxystate", "Wi-Fi"}, "The parameters were not valid."},
      {{"-setwebproxystate", "Wi-Fi", "1"}, "The parameters were not valid."},
      {{"-setproxybypassdomains", "Wi-Fi"}, "The parameters were not valid."},
      {{"-setautoproxyurl", "Wi-Fi", ""}, "The parameters were not valid."},
      {{"-getwebproxy", "Wi-Fi", "extra"}, "The parameters were not valid."},
      {{"-setwebproxy", "Wi-Fi", "bad\xFF" "utf8", "80"}, "Error"},
      {{"-setnetworkserviceenabled", "Wi-Fi", "off"}, "is not a recognized command."},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    ToolRun r = run(arguments);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(bytesOf(path_), preferences);
    EXPECT_EQ(bytesOf(keychainPath()), keychain);
  }
}

TEST_F(Networksetup, UnreadablePreferencesAreAnError) {
  std::ofstream(path_, std::ios::trunc) << "garbage";
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-listallnetworkservices"}, {"-getwebproxy", "Wi-Fi"},
        {"-setwebproxystate", "Wi-Fi", "on"}}) {
    ToolRun r = run(arguments);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("** Error"), std::string::npos);
  }
  EXPECT_EQ(bytesOf(path_), "garbage");
}

// Without the lock, read-modify-replace cycles overlap and drop each other's keys.
TEST_F(Networksetup, ConcurrentInvocationsNeverLoseAnEdit) {
  struct Edit {
    std::vector<std::string> arguments;
    std::string service, key;
    pl::Value value;
  };
  std::vector<Edit> edits;
  for (const auto& [name, id] : {std::pair{"Wi-Fi", "W"}, std::pair{"Ethernet", "E"}}) {
    const std::string host = std::string("h") + id, url = "http://" + host;
    edits.push_back({{"-setwebproxy", name, host, "1"}, id, "HTTPProxy", s(host)});
    edits.push_back({{"-setsecurewebproxy", name, host, "1"}, id, "HTTPSProxy", s(host)});
    edits.push_back({{"-setsocksfirewallproxy", name, host, "1"}, id, "SOCKSProxy", s(host)});
    edits.push_back({{"-setautoproxystate", name, "on"}, id, "ProxyAutoConfigEnable", n(1)});
    edits.push_back({{"-setproxyautodiscovery", name, "on"}, id, "ProxyAutoDiscoveryEnable", n(1)});
    edits.push_back({{"-setautoproxyurl", name, url}, id, "ProxyAutoConfigURLString", s(url)});
  }
  for (int round = 0; round < 3; ++round) {
    SetUp();
    std::vector<std::thread> threads;
    std::vector<int> statuses(edits.size(), -1);
    for (size_t i = 0; i < edits.size(); ++i) threads.emplace_back([&, i] { statuses[i] = run(edits[i].arguments).status; });
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < edits.size(); ++i) {
      SCOPED_TRACE(edits[i].arguments[0] + " " + edits[i].service);
      EXPECT_EQ(statuses[i], 0);
      pl::Dictionary proxies = proxiesOf(edits[i].service);
      auto it = proxies.find(edits[i].key);
      ASSERT_NE(it, proxies.end()) << "lost";
      EXPECT_EQ(it->second, edits[i].value);
    }
  }
}

}  // namespace
}  // namespace tavlune
