#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "desktop_process.h"
#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "platform/defaults/file_user_defaults.h"

namespace tavlune::testing {
namespace {
using namespace tavlune::manager;
using namespace tavlune::model;

using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;
using channel::MethodCall;
using channel::MethodReply;
using channel::NotImplementedReply;
using channel::SuccessReply;

const EncodableValue& entry(const EncodableValue& map, const char* key) {
  static const EncodableValue none;
  const auto& m = std::get<EncodableMap>(map);
  auto found = m.find(EncodableValue(key));
  return found == m.end() ? none : found->second;
}
double number(const EncodableValue& map, const char* key) { return std::get<double>(entry(map, key)); }

class ShellTest : public ::testing::Test {
 protected:
  TemporaryHome home;
};

TEST_F(ShellTest, WindowAndRegistrationOrder) {
  DesktopProcess desktop(home);
  auto client = desktop.connect();
  ASSERT_TRUE(client) << desktop.standardError();
  auto described = call(*client, kWindowChannel, MethodCall("describe"));
  ASSERT_TRUE(described);
  ASSERT_TRUE(std::holds_alternative<SuccessReply>(*described));
  const EncodableValue& window = std::get<SuccessReply>(*described).value;

  EXPECT_EQ(entry(window, "title"), EncodableValue("Tavlune Proxy"));
  EXPECT_EQ(entry(window, "visible"), EncodableValue(true));
  EXPECT_EQ(entry(window, "contentViewController"), EncodableValue("FlutterViewController"));
  const auto& frame = entry(window, "frame");
  const auto& screen = entry(window, "screen");
  EXPECT_EQ(number(frame, "width"), 980);
  EXPECT_EQ(number(frame, "height"), 680);
  EXPECT_EQ(number(entry(window, "minSize"), "width"), 980);
  EXPECT_EQ(number(entry(window, "minSize"), "height"), 680);
  // Centred: equal margins on either side, on both axes.
  EXPECT_EQ(number(frame, "x") - number(screen, "x"),
            number(screen, "x") + number(screen, "width") - number(frame, "x") - number(frame, "width"));
  EXPECT_EQ(number(frame, "y") - number(screen, "y"),
            number(screen, "y") + number(screen, "height") - number(frame, "y") - number(frame, "height"));
  EXPECT_GT(number(frame, "x"), 0);

  // Plug-ins in their order, all before the manager's channel; the shell's
  // own channel comes after the window's set-up.
  EXPECT_EQ(entry(window, "registrations"),
            EncodableValue(EncodableList{
                EncodableValue("plugin:FlutterSecureStoragePlugin"), EncodableValue("plugin:FPPPackageInfoPlusPlugin"),
                EncodableValue("plugin:PathProviderPlugin"), EncodableValue("plugin:SharedPreferencesPlugin"),
                EncodableValue("plugin:UrlLauncherPlugin"), EncodableValue("plugin:WebViewFlutterPlugin"),
                EncodableValue("channel:com.tavlune.app/vpn"), EncodableValue("channel:com.tavlune.app/window")}));
}

// The manager's rows themselves are the dispatcher's tests and, through this
// process, tavlune's; here only that each channel answers its own methods.
TEST_F(ShellTest, EachChannelAnswersItsOwnMethods) {
  DesktopProcess desktop(home);
  auto client = desktop.connect();
  ASSERT_TRUE(client) << desktop.standardError();
  const std::tuple<const char*, const char*, MethodReply> cases[] = {
      {kVpnChannel, "getProxyPort", SuccessReply{EncodableValue(int32_t{0})}},
      {kVpnChannel, "describe", NotImplementedReply{}},
      {kVpnChannel, "quit", NotImplementedReply{}},
      {kWindowChannel, "getProxyPort", NotImplementedReply{}},
  };
  for (const auto& [channelName, method, expected] : cases) {
    auto reply = call(*client, channelName, MethodCall(method));
    ASSERT_TRUE(reply) << method;
    EXPECT_EQ(*reply, expected) << channelName << " " << method;
  }
  EXPECT_TRUE(desktop.running());
}

// Every kind of quit request ends the process cleanly: exit status 0, the
// socket gone, the lock free for the next instance.
TEST_F(ShellTest, QuitRequests) {
  struct Case {
    const char* name;
    std::function<void(DesktopProcess&, channel::SocketMessengerClient&)> request;
  };
  auto windowCall = [](const char* method) {
    return [method](DesktopProcess&, channel::SocketMessengerClient& client) {
      auto reply = call(client, kWindowChannel, MethodCall(method));
      ASSERT_TRUE(reply);
      EXPECT_EQ(*reply, MethodReply(SuccessReply{EncodableValue(true)})) << method;
    };
  };
  const std::vector<Case> cases = {
      {"SIGTERM", [](DesktopProcess& d, channel::SocketMessengerClient&) { d.signal(SIGTERM); }},
      {"SIGINT", [](DesktopProcess& d, channel::SocketMessengerClient&) { d.signal(SIGINT); }},
      {"the front end's quit", windowCall("quit")},
      {"closing the window", windowCall("close")},
      {"quit asked again and again", [](DesktopProcess& d, channel::SocketMessengerClient& client) {
         // Sent together; the later ones find a quit under way (or the process gone).
         for (int i = 0; i < 3; ++i) client.Send(kWindowChannel, channel::EncodeMethodCall(MethodCall("quit")));
         d.signal(SIGTERM);
         d.signal(SIGINT);
       }},
  };
  for (const auto& c : cases) {
    DesktopProcess desktop(home);
    auto client = desktop.connect();
    ASSERT_TRUE(client) << c.name << ": " << desktop.standardError();
    c.request(desktop, *client);
    EXPECT_TRUE(client->WaitUntilClosed(std::chrono::seconds(30))) << c.name;
    EXPECT_EQ(desktop.waitForExit(), 0) << c.name << ": " << desktop.standardError();
    EXPECT_FALSE(std::filesystem::exists(home.socket())) << c.name;
    EXPECT_EQ(desktop.standardError(), "") << c.name;
  }
  // The lock went with the last instance.
  DesktopProcess next(home);
  EXPECT_TRUE(next.connect()) << next.standardError();
}

TEST_F(ShellTest, OneInstancePerUser) {
  DesktopProcess first(home);
  auto client = first.connect();
  ASSERT_TRUE(client);
  DesktopProcess second(home);
  EXPECT_EQ(second.waitForExit(), 1);
  EXPECT_EQ(second.standardError(), "TavluneDesktop is already running for this user (process " +
                                        std::to_string(first.pid()) + ", lock held on " + home.folder() +
                                        "/TavluneDesktop.lock).\n");
  // The refused instance left the running one's socket alone.
  EXPECT_TRUE(call(*client, kWindowChannel, MethodCall("describe")));
  EXPECT_TRUE(channel::SocketMessengerClient::Connect(home.socket()));
}

TEST_F(ShellTest, FolderIsPrivateAndNotTrustedIfForeign) {
  {
    DesktopProcess desktop(home);
    ASSERT_TRUE(desktop.connect());
    struct stat info;
    ASSERT_EQ(::stat(home.folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the folder away";
  ASSERT_EQ(::chown(home.folder().c_str(), 65534, 65534), 0);
  DesktopProcess desktop(home);
  EXPECT_EQ(desktop.waitForExit(), 1);
  EXPECT_NE(desktop.standardError().find("belongs to user 65534"), std::string::npos) << desktop.standardError();
}

TEST_F(ShellTest, ArgumentsAndHelp) {
  DesktopProcess help(home, {"--help"});
  EXPECT_EQ(help.waitForExit(), 0);
  EXPECT_NE(help.standardOutput().find("Usage: TavluneDesktop"), std::string::npos);
  DesktopProcess wrong(home, {"--frobnicate"});
  EXPECT_EQ(wrong.waitForExit(), 2);
  EXPECT_EQ(wrong.standardError().rfind("TavluneDesktop: unknown argument '--frobnicate'\n", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(home.socket()));
}

// The launch clean-up runs once launching has finished: with no snapshot
// stored it drops the state and diagnostic records, while the application
// keeps running.
TEST_F(ShellTest, LaunchCleansUpLeftoverRecords) {
  platform::FileUserDefaults defaults(home.defaults());
  const platform::Bytes leftover{'{', '}'};
  ASSERT_TRUE(defaults.setData(recordKey<MacProxyConnectionState>, leftover));
  ASSERT_TRUE(defaults.setData(recordKey<MacProxyDiagnostic>, leftover));
  ASSERT_TRUE(defaults.setData("unrelated", leftover));

  DesktopProcess desktop(home);
  ASSERT_TRUE(desktop.connect());
  // The state goes first, then the diagnostic.
  for (int i = 0; i < 1000 && defaults.data(recordKey<MacProxyDiagnostic>); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(desktop.running());
  EXPECT_FALSE(defaults.data(recordKey<MacProxyConnectionState>));
  EXPECT_FALSE(defaults.data(recordKey<MacProxyDiagnostic>));
  EXPECT_TRUE(defaults.data("unrelated"));
}

}  // namespace
}  // namespace tavlune::testing

namespace tavlune::testing {
namespace {

// The shell's view of the connection reads the stored state and changes
// nothing, where "getConnectionState" would drop a state the system does not
// show (there are no network preferences here).
TEST_F(ShellTest, ConnectionViewIsReadOnly) {
  platform::FileUserDefaults defaults(home.defaults());
  // A record for the launch clean-up to drop: once it is gone, the state below is not.
  ASSERT_TRUE(defaults.setData(recordKey<MacProxyDiagnostic>, platform::Bytes{'{', '}'}));
  DesktopProcess desktop(home);
  auto client = desktop.connect();
  ASSERT_TRUE(client);
  for (int i = 0; i < 1000 && defaults.data(recordKey<MacProxyDiagnostic>); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(defaults.data(recordKey<MacProxyDiagnostic>));
  const MacProxyConnectionState state{"::1", 3131, "http", "manual", {}, 0, {}, {}, {}, {}, 1700000000900};
  ASSERT_TRUE(saveRecord(defaults, state));

  for (int i = 0; i < 2; ++i) {
    auto reply = call(*client, kWindowChannel, MethodCall("connection"));
    ASSERT_TRUE(reply);
    ASSERT_TRUE(std::holds_alternative<SuccessReply>(*reply));
    const EncodableValue& view = std::get<SuccessReply>(*reply).value;
    EXPECT_EQ(entry(view, "phase"), EncodableValue("connected"));
    EXPECT_EQ(entry(view, "host"), EncodableValue("::1"));
    EXPECT_EQ(entry(view, "port"), EncodableValue(int32_t{3131}));
    EXPECT_EQ(entry(view, "connectedAt"), EncodableValue(int64_t{1700000000900}));
    EXPECT_EQ(entry(view, "services"), EncodableValue(EncodableList{}));
    EXPECT_EQ(entry(view, "systemMatches"), EncodableValue(false));
    EXPECT_EQ(entry(view, "webRtcProtection"), EncodableValue(false));
  }
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(defaults), state);
}

}  // namespace
}  // namespace tavlune::testing
