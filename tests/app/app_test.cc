// The shell as the real process, through its channel socket, and the bundle the build lays out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include "desktop_process.h"
#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "platform/bundle/bundle.h"
#include "platform/defaults/file_user_defaults.h"
#include "platform/plist/plist.h"
#include "platform/process/process.h"
namespace tavlune::testing {
namespace {
using namespace tavlune::model;
using channel::EncodableList, channel::EncodableMap, channel::EncodableValue, channel::MethodCall, channel::MethodReply;
using channel::NotImplementedReply, channel::SuccessReply;
namespace fs = std::filesystem;
const EncodableValue& entry(const EncodableValue& map, const char* key) {
  static const EncodableValue none;
  const auto& m = std::get<EncodableMap>(map);
  auto found = m.find(EncodableValue(key));
  return found == m.end() ? none : found->second;
}
double number(const EncodableValue& map, const char* key) { return std::get<double>(entry(map, key)); }
EncodableValue success(channel::SocketMessengerClient& client, const char* channelName, const char* method) {
  auto reply = call(client, channelName, MethodCall(method));
  EXPECT_TRUE(reply && std::holds_alternative<SuccessReply>(*reply)) << method;
  return reply && std::holds_alternative<SuccessReply>(*reply) ? std::get<SuccessReply>(*reply).value : EncodableValue();
}
std::string slurp(const fs::path& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }

class ShellTest : public ::testing::Test {
 protected:
  TemporaryHome home;
};

TEST_F(ShellTest, WindowRegistrationsAndChannels) {
  DesktopProcess desktop(home);
  auto client = desktop.connect();
  ASSERT_TRUE(client) << desktop.standardError();
  const EncodableValue window = success(*client, kWindowChannel, "describe");
  EXPECT_EQ(entry(window, "title"), EncodableValue("Tavlune Proxy"));
  EXPECT_EQ(entry(window, "visible"), EncodableValue(true));
  EXPECT_EQ(entry(window, "contentViewController"), EncodableValue("FlutterViewController"));
  const auto &frame = entry(window, "frame"), &screen = entry(window, "screen"), &minSize = entry(window, "minSize");
  EXPECT_EQ(std::tuple(number(frame, "width"), number(frame, "height"), number(minSize, "width"), number(minSize, "height")),
            std::tuple(980, 680, 980, 680));
  // Centred: equal margins on either side, on both axes.
  for (auto [at, size] : {std::pair{"x", "width"}, {"y", "height"}})
    EXPECT_EQ(number(frame, at) - number(screen, at),
              number(screen, at) + number(screen, size) - number(frame, at) - number(frame, size)) << at;
  EXPECT_GT(number(frame, "x"), 0);
  // Plug-ins in their order, all before the manager's channel; the shell's own after the window's set-up.
  EncodableList registrations;
  for (const char* name : {"plugin:FlutterSecureStoragePlugin", "plugin:FPPPackageInfoPlusPlugin",
                           "plugin:PathProviderPlugin", "plugin:SharedPreferencesPlugin", "plugin:UrlLauncherPlugin",
                           "plugin:WebViewFlutterPlugin", "channel:com.tavlune.app/vpn", "channel:com.tavlune.app/window"})
    registrations.emplace_back(name);
  EXPECT_EQ(entry(window, "registrations"), EncodableValue(registrations));
  // Each channel answers its own methods only.
  for (const auto& [channelName, method, expected] : std::initializer_list<std::tuple<const char*, const char*, MethodReply>>{
           {kVpnChannel, "getProxyPort", SuccessReply{EncodableValue(int32_t{0})}}, {kVpnChannel, "describe", NotImplementedReply{}},
           {kVpnChannel, "quit", NotImplementedReply{}}, {kWindowChannel, "getProxyPort", NotImplementedReply{}}})
    EXPECT_EQ(call(*client, channelName, MethodCall(method)).value(), expected) << channelName << " " << method;
  EXPECT_TRUE(desktop.running());
}

// Every kind of quit request ends the process cleanly: exit status 0, the
// socket gone, the lock free for the next instance.
TEST_F(ShellTest, QuitRequests) {
  using Request = std::function<void(DesktopProcess&, channel::SocketMessengerClient&)>;
  auto window = [](const char* method) -> Request {
    return [method](DesktopProcess&, channel::SocketMessengerClient& c) { EXPECT_EQ(success(c, kWindowChannel, method), EncodableValue(true)); };
  };
  for (const auto& [name, request] : std::initializer_list<std::pair<const char*, Request>>{
           {"SIGTERM", [](DesktopProcess& d, auto&) { d.signal(SIGTERM); }},
           {"SIGINT", [](DesktopProcess& d, auto&) { d.signal(SIGINT); }},
           {"quit", window("quit")}, {"close", window("close")},
           {"quit asked again and again", [](DesktopProcess& d, channel::SocketMessengerClient& client) {
              // Sent together; the later ones find a quit under way (or the process gone).
              for (int i = 0; i < 3; ++i) client.send(kWindowChannel, channel::EncodeMethodCall(MethodCall("quit")));
              d.signal(SIGTERM), d.signal(SIGINT);
            }}}) {
    DesktopProcess desktop(home);
    auto client = desktop.connect();
    ASSERT_TRUE(client) << name << ": " << desktop.standardError();
    request(desktop, *client);
    EXPECT_TRUE(client->waitUntilClosed(30s)) << name;
    EXPECT_EQ(desktop.waitForExit(), 0) << name;
    EXPECT_FALSE(fs::exists(home.socket())) << name;
    EXPECT_EQ(desktop.standardError(), "") << name;
  }
  DesktopProcess next(home);  // the lock went with the last instance
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
  EXPECT_TRUE(channel::SocketMessengerClient::connect(home.socket()));
}

TEST_F(ShellTest, FolderIsPrivateAndNotTrustedIfForeign) {
  ASSERT_TRUE(DesktopProcess(home).connect());
  struct stat info{};
  ASSERT_EQ(::stat(home.folder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the folder away";
  ASSERT_EQ(::chown(home.folder().c_str(), 65534, 65534), 0);
  DesktopProcess desktop(home);
  EXPECT_EQ(desktop.waitForExit(), 1);
  EXPECT_NE(desktop.standardError().find("belongs to user 65534"), std::string::npos) << desktop.standardError();
}

TEST_F(ShellTest, ArgumentsAndHelp) {
  DesktopProcess help(home, {"--help"}), wrong(home, {"--frobnicate"});
  EXPECT_EQ(help.waitForExit(), 0);
  EXPECT_NE(help.standardOutput().find("Usage: TavluneDesktop"), std::string::npos);
  EXPECT_EQ(wrong.waitForExit(), 2);
  EXPECT_EQ(wrong.standardError().rfind("TavluneDesktop: unknown argument '--frobnicate'\n", 0), 0u);
  EXPECT_FALSE(fs::exists(home.socket()));
}

// Once launching has finished, with no snapshot stored, the clean-up drops the
// state and diagnostic records; after it, the shell's connection view reads a
// stored state and changes nothing (where "getConnectionState" would drop a
// state the system does not show).
TEST_F(ShellTest, LaunchCleanUpThenAReadOnlyConnectionView) {
  platform::FileUserDefaults defaults(home.defaults());
  for (const char* key : {recordKey<MacProxyConnectionState>, recordKey<MacProxyDiagnostic>, "unrelated"})
    ASSERT_TRUE(defaults.setData(key, platform::Bytes{'{', '}'}));
  DesktopProcess desktop(home);
  auto client = desktop.connect();
  ASSERT_TRUE(client);
  for (int i = 0; i < 1000 && defaults.data(recordKey<MacProxyDiagnostic>); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(defaults.data(recordKey<MacProxyConnectionState>) || defaults.data(recordKey<MacProxyDiagnostic>));
  EXPECT_TRUE(defaults.data("unrelated"));
  const MacProxyConnectionState state{"::1", 3131, "http", "manual", {}, 0, {}, {}, {}, {}, 1700000000900};
  ASSERT_TRUE(saveRecord(defaults, state));
  for (int i = 0; i < 2; ++i) {
    const EncodableValue view = success(*client, kWindowChannel, "connection");
    for (const auto& [key, value] : std::initializer_list<std::pair<const char*, EncodableValue>>{
             {"phase", EncodableValue("connected")}, {"host", EncodableValue("::1")}, {"port", EncodableValue(int32_t{3131})},
             {"connectedAt", EncodableValue(int64_t{1700000000900})}, {"services", EncodableValue(EncodableList{})},
             {"systemMatches", EncodableValue(false)}, {"webRtcProtection", EncodableValue(false)}})
      EXPECT_EQ(entry(view, key), value) << key;
  }
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(defaults), state);
  EXPECT_TRUE(desktop.running());
}

// The build lays the application out as macOS would: the running executable finds
// the helper the installer needs, and the programs and the bundle tell one version.
TEST(Bundle, HelperAndOneVersionEverywhere) {
  const fs::path executable = TAVLUNE_DESKTOP_PATH, contents = executable.parent_path().parent_path();
  auto helper = platform::MainBundle(executable.string()).pathForResource(fs::path(TAVLUNE_HELPER_PATH).filename());
  ASSERT_TRUE(helper);
  EXPECT_EQ(::access(helper->c_str(), X_OK), 0);
  EXPECT_EQ(slurp(*helper), slurp(TAVLUNE_HELPER_PATH));  // the very program the helper target builds
  auto parsed = platform::plist::parse(slurp(contents / "Info.plist"));
  ASSERT_TRUE(parsed && parsed->as<platform::plist::Dictionary>());
  const auto& info = *parsed->as<platform::plist::Dictionary>();
  EXPECT_EQ(info.at("CFBundleExecutable"), platform::plist::Value(executable.filename().string()));
  const auto* version = info.at("CFBundleShortVersionString").as<std::string>();
  ASSERT_TRUE(version);
  EXPECT_EQ(info.at("CFBundleVersion"), platform::plist::Value(*version));
  for (const fs::path program : {TAVLUNE_DESKTOP_PATH, TAVLUNE_HELPER_PATH, TAVLUNE_CLI_PATH}) {
    auto ran = platform::runProcess(program, {"--version"});
    ASSERT_TRUE(ran && ran->succeeded()) << program;
    EXPECT_EQ(std::string(ran->standardOutput.begin(), ran->standardOutput.end()),
              program.filename().string() + " " + *version + "\n");
  }
}
}  // namespace
}  // namespace tavlune::testing
