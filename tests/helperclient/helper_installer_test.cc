#include "helperclient/helper_installer.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/dispatch/recording_clock.h"
#include "platform/dispatch/serial_queue.h"
#include "platform/text/base64.h"

namespace tavlune::helperclient {
namespace {
using namespace std::chrono_literals;
using model::MacProxyError;
using Kind = platform::AppleScriptOutcome::Kind;

// Answers pings from the n-th on, with the given version; commands as told.
struct ScriptedHelper : HelperClient {
  bool helperIsAvailable() override { return ++pings >= availableFrom && version == helperprotocol::kHelperVersion; }
  HelperPresence probe() override { return presence; }
  HelperResult<helperprotocol::Reply> sendHelperCommand(const std::string& command) override {
    sent.push_back(command);
    if (refuse) return unexpected(HelperFailure{MacProxyError::commandFailed("refused"), true});
    return helperprotocol::Reply::success();
  }
  int availableFrom = 1, pings = 0;
  int64_t version = 2;
  HelperPresence presence = HelperPresence::current;
  bool refuse = false;
  std::vector<std::string> sent;
};

struct RecordingAppleScript : platform::AppleScript {
  platform::AppleScriptOutcome run(const std::string& source) override {
    commands.push_back(platform::administratorShellCommand(source).value_or("<not a shell script>"));
    threads.push_back(std::this_thread::get_id());
    return outcome;
  }
  platform::AppleScriptOutcome outcome;
  std::vector<std::string> commands;
  std::vector<std::thread::id> threads;
};

struct FixedBundle : platform::Bundle {
  std::optional<std::string> pathForResource(const std::string& name) override {
    return name == "TavluneProxyHelper" ? path : std::nullopt;
  }
  std::string bundleIdentifier() override { return "com.tavlune.desktop"; }
  std::optional<std::string> path;
};

struct Rig {
  explicit Rig(int availableFrom = 1, int64_t version = 2, platform::AppleScriptOutcome outcome = {},
               std::optional<std::string> resource = "/Users/o'neil \\\"x\"/T.app/Contents/Resources/TavluneProxyHelper") {
    helper->availableFrom = availableFrom, helper->version = version, script->outcome = outcome, bundle->path = resource;
    main->adoptCurrentThread();
  }
  std::shared_ptr<ScriptedHelper> helper = std::make_shared<ScriptedHelper>();
  std::shared_ptr<RecordingAppleScript> script = std::make_shared<RecordingAppleScript>();
  std::shared_ptr<FixedBundle> bundle = std::make_shared<FixedBundle>();
  std::shared_ptr<platform::MainQueue> main = std::make_shared<platform::MainQueue>();
  std::shared_ptr<platform::RecordingClock> clock = std::make_shared<platform::RecordingClock>();
  HelperInstaller installer{{helper, script, bundle, main, clock, [] { return uid_t{501}; }}};
};

TEST(HelperInstaller, InstallsWithOneApprovedCommandCarryingTheJobFile) {
  Rig rig(/*availableFrom=*/5);
  ASSERT_TRUE(rig.installer.installPrivilegedHelper());
  ASSERT_EQ(rig.script->commands.size(), 1u);
  std::string command = rig.script->commands[0];
  const auto from = command.find("/bin/echo '") + 11, to = command.find("' | ");
  ASSERT_LT(from, to);
  const auto job = platform::text::base64Decode(command.substr(from, to - from));
  EXPECT_EQ(std::string(job.value().begin(), job.value().end()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n  <key>Label</key>\n"
            "  <string>com.tavlune.proxyhelper</string>\n  <key>ProgramArguments</key>\n  <array>\n    <string>"
            "/Library/PrivilegedHelperTools/com.tavlune.proxyhelper</string>\n    <string>--uid</string>\n    <string>501"
            "</string>\n  </array>\n  <key>RunAtLoad</key>\n  <true/>\n  <key>KeepAlive</key>\n  <true/>\n</dict>\n</plist>");
  const std::string tool = "'/Library/PrivilegedHelperTools/com.tavlune.proxyhelper'",
                    plist = "'/Library/LaunchDaemons/com.tavlune.proxyhelper.plist'";
  EXPECT_EQ(command.replace(from, to - from, "JOB"),
            "/bin/mkdir -p /Library/PrivilegedHelperTools && /usr/bin/install -m 755 '/Users/o'\"'\"'neil \\\"x\"/T.app/Contents/"
            "Resources/TavluneProxyHelper' " + tool + " && /bin/echo 'JOB' | /usr/bin/base64 -D > " + plist +
                " && /usr/sbin/chown root:wheel " + tool + " " + plist + " && /bin/chmod 755 " + tool + " && /bin/chmod 644 " +
                plist + " && ( /bin/launchctl bootout system/com.tavlune.proxyhelper >/dev/null 2>&1 || true ) && "
                "/bin/launchctl bootstrap system " + plist);
  // Answering on the fifth ping: four pauses of a tenth of a second.
  EXPECT_EQ(rig.clock->sleeps(), std::vector<std::chrono::milliseconds>(4, 100ms));
}

TEST(HelperInstaller, Failures) {
  const std::string unchanged = "macOS could not update the system proxy settings.";
  struct Case {
    Rig rig;
    std::string message;
    std::size_t prompts, pauses;
  } cases[] = {
      {Rig(1, 2, {}, std::nullopt), "The Tavlune privileged helper is missing from this app build.", 0, 0},
      {Rig(1, 2, {Kind::failed, -128, "User canceled."}), "Administrator approval is required to change macOS proxy settings.", 1, 0},
      {Rig(1, 2, {Kind::failed, 1, "install: cannot stat"}), "install: cannot stat", 1, 0},
      {Rig(1, 2, {Kind::failed, 1, std::nullopt}), unchanged, 1, 0},
      {Rig(1, 2, {Kind::notCompiled, 0, std::nullopt}), unchanged, 1, 0},
      {Rig(1, 1), "Tavlune could not start its privileged proxy helper.", 1, 30}};
  for (auto& c : cases) {
    auto result = c.rig.installer.installPrivilegedHelper();
    ASSERT_FALSE(result) << c.message;
    EXPECT_EQ(model::localizedDescription(result.error()), c.message);
    EXPECT_EQ(c.rig.script->commands.size(), c.prompts) << c.message;
    EXPECT_EQ(c.rig.clock->sleeps().size(), c.pauses) << c.message;
  }
}

TEST(HelperInstaller, PromptRunsOnTheMainThread) {
  Rig rig;
  platform::SerialQueue queue("com.tavlune.macos.proxy");
  queue.async([&] { (void)rig.installer.executePrivileged("true"), rig.main->stop(); });
  rig.main->run();
  queue.waitUntilIdle();
  EXPECT_TRUE(rig.installer.executePrivileged("true"));  // already on it: run directly
  EXPECT_EQ(rig.script->threads, std::vector<std::thread::id>(2, std::this_thread::get_id()));
}

// Installed only when nothing listens or something else answers: a helper
// that took the probe and has not answered fails the call, sending nothing.
TEST(HelperInstaller, RunHelperCommandInstallsOnlyWhenNothingOrSomethingElseAnswers) {
  const struct { HelperPresence presence; platform::AppleScriptOutcome approval; size_t prompts; std::optional<std::string> error; } cases[] = {
      {HelperPresence::current, {}, 0, std::nullopt},
      {HelperPresence::missing, {}, 1, std::nullopt},
      {HelperPresence::other, {}, 1, std::nullopt},
      {HelperPresence::missing, {Kind::failed, -128, std::nullopt}, 1, "Administrator approval is required to change macOS proxy settings."},
      {HelperPresence::unresponsive, {}, 0, HelperInstaller::kBusyText},
  };
  for (const auto& c : cases) {
    Rig rig(1, 2, c.approval);
    rig.helper->presence = c.presence;
    auto ran = rig.installer.runHelperCommand("chrome-webrtc-on");
    EXPECT_EQ(ran ? std::nullopt : std::optional(model::localizedDescription(ran.error().error)), c.error) << int(c.presence);
    EXPECT_EQ(rig.script->commands.size(), c.prompts) << int(c.presence);
    EXPECT_EQ(rig.helper->sent, c.error ? std::vector<std::string>{} : std::vector<std::string>{"chrome-webrtc-on"});
  }
  Rig failing;
  failing.helper->refuse = true;
  auto sentButFailed = failing.installer.runHelperCommand("chrome-webrtc-on");
  ASSERT_FALSE(sentButFailed);
  EXPECT_TRUE(sentButFailed.error().handedOver);
}

}  // namespace
}  // namespace tavlune::helperclient
