#include "helperclient/helper_installer.h"

#include <gtest/gtest.h>

#include <thread>

#include "helperclient/launch_daemon_job.h"
#include "platform/dispatch/recording_clock.h"
#include "platform/dispatch/serial_queue.h"
#include "platform/text/base64.h"

namespace tavlune {
namespace {
using namespace tavlune::helperclient;
using namespace tavlune::model;

using namespace std::chrono_literals;

// Answers pings as told: unavailable until the n-th, then with a version.
class ScriptedHelper : public HelperClient {
 public:
  ScriptedHelper(int availableFromPing, int64_t version) : availableFrom_(availableFromPing), version_(version) {}
  bool helperIsAvailable() override { return ++pings >= availableFrom_ && version_ == helperprotocol::kHelperVersion; }
  HelperResult<platform::json::Json> sendHelperCommand(const std::string& command) override {
    sent.push_back(command);
    return platform::json::Json{{"ok", true}};
  }
  int pings = 0;
  std::vector<std::string> sent;

 private:
  int availableFrom_;
  int64_t version_;
};

class RecordingAppleScript : public platform::AppleScript {
 public:
  explicit RecordingAppleScript(platform::AppleScriptOutcome outcome) : outcome_(outcome) {}
  platform::AppleScriptOutcome run(const std::string& source) override {
    sources.push_back(source);
    threads.push_back(std::this_thread::get_id());
    return outcome_;
  }
  std::vector<std::string> sources;
  std::vector<std::thread::id> threads;

 private:
  platform::AppleScriptOutcome outcome_;
};

class FixedBundle : public platform::Bundle {
 public:
  explicit FixedBundle(std::optional<std::string> path) : path_(std::move(path)) {}
  std::optional<std::string> pathForResource(const std::string& name) override {
    return name == "TavluneProxyHelper" ? path_ : std::nullopt;
  }
  std::string bundleIdentifier() override { return "com.tavlune.desktop"; }

 private:
  std::optional<std::string> path_;
};

struct Rig {
  explicit Rig(int availableFromPing = 1, int64_t version = 2,
               platform::AppleScriptOutcome outcome = {},
               std::optional<std::string> resource = "/Applications/Tavlune.app/Contents/Resources/TavluneProxyHelper")
      : helper(std::make_shared<ScriptedHelper>(availableFromPing, version)),
        script(std::make_shared<RecordingAppleScript>(outcome)),
        main(std::make_shared<platform::MainQueue>()),
        clock(std::make_shared<platform::RecordingClock>()),
        installer({helper, script, std::make_shared<FixedBundle>(resource), main, clock, [] { return uid_t{501}; }}) {
    main->adoptCurrentThread();
  }
  std::shared_ptr<ScriptedHelper> helper;
  std::shared_ptr<RecordingAppleScript> script;
  std::shared_ptr<platform::MainQueue> main;
  std::shared_ptr<platform::RecordingClock> clock;
  HelperInstaller installer;
};

std::optional<MacProxyError::Kind> kindOf(const AnyError& error) {
  const auto* own = std::get_if<MacProxyError>(&error);
  return own ? std::optional(own->kind()) : std::nullopt;
}
std::optional<MacProxyError::Kind> kindOf(const ManagerResult<void>& result) { return kindOf(result.error()); }
std::string message(const ManagerResult<void>& result) { return localizedDescription(result.error()); }

TEST(LaunchDaemonJob, FileTextIsExact) {
  EXPECT_EQ(launchDaemonJobText(501),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n<dict>\n"
            "  <key>Label</key>\n  <string>com.tavlune.proxyhelper</string>\n"
            "  <key>ProgramArguments</key>\n  <array>\n"
            "    <string>/Library/PrivilegedHelperTools/com.tavlune.proxyhelper</string>\n"
            "    <string>--uid</string>\n    <string>501</string>\n  </array>\n"
            "  <key>RunAtLoad</key>\n  <true/>\n  <key>KeepAlive</key>\n  <true/>\n"
            "</dict>\n</plist>");
}

TEST(LaunchDaemonJob, InstallCommandQuotesTheResourcePath) {
  EXPECT_EQ(helperInstallCommand("/Users/o'neil/Tavlune.app/Contents/Resources/TavluneProxyHelper", "QUJD"),
            "/bin/mkdir -p /Library/PrivilegedHelperTools && /usr/bin/install -m 755 "
            "'/Users/o'\"'\"'neil/Tavlune.app/Contents/Resources/TavluneProxyHelper' "
            "'/Library/PrivilegedHelperTools/com.tavlune.proxyhelper' && /bin/echo 'QUJD' | /usr/bin/base64 -D > "
            "'/Library/LaunchDaemons/com.tavlune.proxyhelper.plist' && /usr/sbin/chown root:wheel "
            "'/Library/PrivilegedHelperTools/com.tavlune.proxyhelper' "
            "'/Library/LaunchDaemons/com.tavlune.proxyhelper.plist' && /bin/chmod 755 "
            "'/Library/PrivilegedHelperTools/com.tavlune.proxyhelper' && /bin/chmod 644 "
            "'/Library/LaunchDaemons/com.tavlune.proxyhelper.plist' && ( /bin/launchctl bootout "
            "system/com.tavlune.proxyhelper >/dev/null 2>&1 || true ) && /bin/launchctl bootstrap system "
            "'/Library/LaunchDaemons/com.tavlune.proxyhelper.plist'");
}

TEST(HelperInstaller, InstallsWithOneApprovedCommandCarryingTheJobFile) {
  Rig rig(/*availableFromPing=*/5);
  ASSERT_TRUE(rig.installer.installPrivilegedHelper().has_value());
  ASSERT_EQ(rig.script->sources.size(), 1u);
  auto command = platform::administratorShellCommand(rig.script->sources[0]);
  ASSERT_TRUE(command.has_value());
  EXPECT_EQ(*command, helperInstallCommand("/Applications/Tavlune.app/Contents/Resources/TavluneProxyHelper",
                                           platform::text::base64Encode(launchDaemonJobText(501))));
  // Answering on the fifth ping: four pauses of a tenth of a second.
  EXPECT_EQ(rig.helper->pings, 5);
  EXPECT_EQ(rig.clock->sleeps(), std::vector<std::chrono::milliseconds>(4, 100ms));
}

TEST(HelperInstaller, Failures) {
  using Kind = platform::AppleScriptOutcome::Kind;
  struct Case {
    const char* name;
    Rig rig;
    MacProxyError::Kind kind;
    std::string message;
    std::size_t prompts, pauses;
  };
  Case cases[] = {
      {"missing resource", Rig(1, 2, {}, std::nullopt), MacProxyError::Kind::commandFailed,
       "The Tavlune privileged helper is missing from this app build.", 0, 0},
      {"cancelled", Rig(1, 2, {Kind::failed, -128, "User canceled."}), MacProxyError::Kind::authorizationCancelled,
       "Administrator approval is required to change macOS proxy settings.", 1, 0},
      {"command failed", Rig(1, 2, {Kind::failed, 1, "install: cannot stat"}), MacProxyError::Kind::commandFailed,
       "install: cannot stat", 1, 0},
      {"no message", Rig(1, 2, {Kind::failed, 1, std::nullopt}), MacProxyError::Kind::commandFailed,
       "macOS could not update the system proxy settings.", 1, 0},
      {"not compiled", Rig(1, 2, {Kind::notCompiled, 0, std::nullopt}), MacProxyError::Kind::commandFailed,
       "macOS could not update the system proxy settings.", 1, 0},
      {"other version", Rig(1, 1), MacProxyError::Kind::commandFailed,
       "Tavlune could not start its privileged proxy helper.", 1, 30},
  };
  for (auto& c : cases) {
    auto result = c.rig.installer.installPrivilegedHelper();
    ASSERT_FALSE(result.has_value()) << c.name;
    EXPECT_EQ(kindOf(result), c.kind) << c.name;
    EXPECT_EQ(message(result), c.message) << c.name;
    EXPECT_EQ(c.rig.script->sources.size(), c.prompts) << c.name;
    EXPECT_EQ(c.rig.clock->sleeps().size(), c.pauses) << c.name;
  }
}

TEST(HelperInstaller, CommandSurvivesAppleScriptEscapingUnchanged) {
  Rig rig;
  const std::string command = R"(printf '%s\n' "a \"quoted\" \\back\\slash" 'it'"'"'s' > "/tmp/x y")";
  ASSERT_TRUE(rig.installer.executePrivileged(command).has_value());
  EXPECT_EQ(platform::administratorShellCommand(rig.script->sources.at(0)), command);
}

TEST(HelperInstaller, PromptRunsOnTheMainThread) {
  Rig rig;
  platform::SerialQueue queue("com.tavlune.macos.proxy");
  bool succeeded = false;
  queue.async([&] {
    succeeded = rig.installer.executePrivileged("true").has_value();
    rig.main->stop();
  });
  rig.main->run();  // this thread is the main thread
  queue.waitUntilIdle();
  EXPECT_TRUE(succeeded);
  ASSERT_EQ(rig.script->threads.size(), 1u);
  EXPECT_EQ(rig.script->threads[0], std::this_thread::get_id());
  // Already on the main thread: run directly, no deadlock.
  EXPECT_TRUE(rig.installer.executePrivileged("true").has_value());
}

TEST(HelperInstaller, RunHelperCommandInstallsOnlyWhenTheProbeFails) {
  Rig present(1);
  ASSERT_TRUE(present.installer.runHelperCommand("chrome-webrtc-off").has_value());
  EXPECT_TRUE(present.script->sources.empty());
  EXPECT_EQ(present.helper->sent, std::vector<std::string>{"chrome-webrtc-off"});

  Rig absent(2);  // the first probe fails, the one after installing answers
  ASSERT_TRUE(absent.installer.runHelperCommand("chrome-webrtc-on").has_value());
  EXPECT_EQ(absent.script->sources.size(), 1u);
  EXPECT_EQ(absent.helper->sent, std::vector<std::string>{"chrome-webrtc-on"});

  Rig refused(2, 2, {platform::AppleScriptOutcome::Kind::failed, -128, std::nullopt});
  auto result = refused.installer.runHelperCommand("chrome-webrtc-on");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(kindOf(result.error().error), MacProxyError::Kind::authorizationCancelled);
  EXPECT_FALSE(result.error().handedOver);
  EXPECT_TRUE(refused.helper->sent.empty());
}

}  // namespace
}  // namespace tavlune
