#include <gtest/gtest.h>

#include "flow_fakes.h"
#include "platform/workspace/recording_workspace.h"

namespace tavlune::testing {
namespace {
using namespace tavlune::manager;
using namespace tavlune::model;

using channel::EncodableList;

// Records which operation the dispatcher chose and keeps the result it was given.
class RecordingOperations : public ProxyOperations {
 public:
  void connect(const EncodableMap& arguments, MethodResultPtr result) override {
    calls.push_back("connect");
    connectArguments = arguments;
    pending = std::move(result);
  }
  void disconnect(MethodResultPtr result) override {
    calls.push_back("disconnect");
    pending = std::move(result);
  }
  void setWebRtcProtection(bool enabled, MethodResultPtr result) override {
    calls.push_back(enabled ? "webrtc on" : "webrtc off");
    pending = std::move(result);
  }
  void inspect(MethodResultPtr result) override {
    calls.push_back("inspect");
    pending = std::move(result);
  }
  EncodableValue connectionStateValue() override {
    calls.push_back("state");
    return EncodableValue(EncodableMap{{EncodableValue("phase"), EncodableValue("offline")}});
  }
  bool systemProxyMatchesCurrentState() override {
    calls.push_back("live");
    return liveMatches;
  }
  void cleanupOrphanedConnection() override { calls.push_back("cleanup"); }
  void disconnectForTermination(std::function<void()> completion) override {
    calls.push_back("terminate");
    completion();
  }

  std::vector<std::string> calls;
  EncodableMap connectArguments;
  MethodResultPtr pending;
  bool liveMatches = true;
};

class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest()
      : defaults(std::make_shared<platform::MemoryUserDefaults>()),
        workspace(std::make_shared<platform::RecordingWorkspace>(true)),
        operations(std::make_shared<RecordingOperations>()),
        manager(environment(), operations) {}

  MacProxyEnvironment environment() {
    MacProxyEnvironment env;
    env.defaults = defaults;
    env.workspace = workspace;
    env.mainQueue = std::make_shared<platform::MainQueue>();
    env.clock = std::make_shared<platform::RecordingClock>();
    return env;
  }

  std::shared_ptr<Reply> call(const std::string& method, std::optional<EncodableValue> arguments = std::nullopt) {
    auto reply = std::make_shared<Reply>();
    channel::MethodCall methodCall(method, arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr);
    manager.handle(methodCall, std::make_unique<CapturingResult>(reply));
    return reply;
  }

  void storeState() {
    MacProxyConnectionState state{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 1};
    ASSERT_TRUE(saveRecord(*defaults, state).has_value());
  }
  void storeBrokenState() {
    const std::string text = R"({"host":"h","port":"80"})";
    ASSERT_TRUE(defaults->setData(recordKey<MacProxyConnectionState>, platform::Bytes(text.begin(), text.end())).has_value());
  }

  std::shared_ptr<platform::MemoryUserDefaults> defaults;
  std::shared_ptr<platform::RecordingWorkspace> workspace;
  std::shared_ptr<RecordingOperations> operations;
  MacProxyManager manager;
};

TEST_F(DispatcherTest, ImmediateRowsAnswerAtOnceWhateverTheArguments) {
  const std::pair<const char*, EncodableValue> rows[] = {
      {"checkVpnPermission", EncodableValue(false)},   {"requestVpnPermission", EncodableValue(true)},
      {"getProxyPort", EncodableValue(int32_t{0})},     {"clearBrowserProxy", EncodableValue(true)},
      {"updateVpnSettings", EncodableValue(true)},     {"getInstalledApps", EncodableValue(EncodableList{})},
      {"showLowDataAlert", EncodableValue(false)},     {"enableBrowserProxy", EncodableValue(false)},
      {"confirmProxyConnection", EncodableValue(false)}, {"getConnectionStatus", EncodableValue(false)},
      {"openVpnSettings", EncodableValue(true)},
  };
  for (const auto& [method, expected] : rows)
    for (const auto& arguments : {std::optional<EncodableValue>(), std::optional(EncodableValue("junk"))}) {
      auto reply = call(method, arguments);
      EXPECT_EQ(reply->kind, Reply::success) << method;
      EXPECT_EQ(reply->value, expected) << method;
      EXPECT_EQ(reply->answers, 1) << method;
    }
  EXPECT_TRUE(operations->calls.empty());  // no stored state: the live settings are not read
  EXPECT_EQ(workspace->opened(),
            (std::vector<std::string>(2, "x-apple.systempreferences:com.apple.Network-Settings.extension")));
}

TEST_F(DispatcherTest, UnknownNamesAreNotImplemented) {
  for (const char* method : {"ConnectProxy", "connectproxy", "", "connectProxy ", "getProxyPort\n"}) {
    auto reply = call(method);
    EXPECT_EQ(reply->kind, Reply::notImplemented) << method;
  }
  EXPECT_TRUE(operations->calls.empty());
}

TEST_F(DispatcherTest, StoredStateRows) {
  struct Case {
    const char* setup;
    bool live;
    bool status, browser;
  };
  const Case cases[] = {
      {"none", true, false, false},
      {"broken", true, false, false},
      {"stored", true, true, true},
      {"stored", false, false, true},  // another program changed the system proxy
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(defaults->removeObject(recordKey<MacProxyConnectionState>).has_value());
    if (std::string(c.setup) == "stored") storeState();
    if (std::string(c.setup) == "broken") storeBrokenState();
    operations->liveMatches = c.live;
    EXPECT_EQ(call("confirmProxyConnection")->value, EncodableValue(c.status)) << c.setup;
    EXPECT_EQ(call("getConnectionStatus")->value, EncodableValue(c.status)) << c.setup;
    EXPECT_EQ(call("enableBrowserProxy")->value, EncodableValue(c.browser)) << c.setup;
  }
  EXPECT_TRUE(defaults->data(recordKey<MacProxyConnectionState>).has_value());  // nothing removed here
}

TEST_F(DispatcherTest, ConnectNeedsATextKeyedMap) {
  const std::optional<EncodableValue> refused[] = {
      std::nullopt,
      EncodableValue(EncodableList{EncodableValue("host")}),
      EncodableValue("host=h"),
      EncodableValue(EncodableMap{{EncodableValue(int32_t{1}), EncodableValue("h")}}),
  };
  for (const auto& arguments : refused) {
    auto reply = call("connectProxy", arguments);
    EXPECT_EQ(reply->kind, Reply::error);
    EXPECT_EQ(reply->code, "PROXY_CONFIGURATION_FAILED");
    EXPECT_EQ(reply->message, "The proxy configuration is incomplete.");
    EXPECT_FALSE(reply->hasDetails);
  }
  EXPECT_TRUE(operations->calls.empty());

  EncodableMap map{{EncodableValue("host"), EncodableValue("h")}, {EncodableValue("port"), EncodableValue(80)}};
  auto reply = call("connectProxy", EncodableValue(map));
  EXPECT_EQ(reply->kind, Reply::none);  // the operation answers
  EXPECT_EQ(operations->calls, std::vector<std::string>{"connect"});
  EXPECT_EQ(operations->connectArguments, map);
  operations->pending->Success(EncodableValue(true));
  EXPECT_EQ(reply->answers, 1);
}

TEST_F(DispatcherTest, WebRtcProtectionIsOnUnlessEnabledIsTheBooleanFalse) {
  const std::pair<std::optional<EncodableValue>, const char*> cases[] = {
      {std::nullopt, "webrtc on"},
      {EncodableValue(EncodableMap{}), "webrtc on"},
      {EncodableValue(EncodableList{}), "webrtc on"},
      {EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue("false")}}), "webrtc on"},
      {EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(int32_t{0})}}), "webrtc on"},
      {EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(false)}}), "webrtc off"},
      {EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(true)}}), "webrtc on"},
  };
  for (const auto& [arguments, expected] : cases) {
    operations->calls.clear();
    call("setWebRtcProtection", arguments);
    EXPECT_EQ(operations->calls, std::vector<std::string>{expected});
  }
}

TEST_F(DispatcherTest, DeferredRowsHandTheirResultToTheOperation) {
  const std::pair<const char*, const char*> rows[] = {
      {"disconnectProxy", "disconnect"}, {"inspectProxy", "inspect"}};
  for (const auto& [method, operation] : rows) {
    operations->calls.clear();
    auto reply = call(method, EncodableValue("ignored"));
    EXPECT_EQ(reply->kind, Reply::none) << method;
    EXPECT_EQ(operations->calls, std::vector<std::string>{operation});
    operations->pending->NotImplemented();
    EXPECT_FALSE(operations->pending->Success());  // a second answer is refused
    EXPECT_EQ(reply->answers, 1);
  }
  operations->calls.clear();
  auto state = call("getConnectionState");
  EXPECT_EQ(operations->calls, std::vector<std::string>{"state"});
  EXPECT_EQ(state->value, EncodableValue(EncodableMap{{EncodableValue("phase"), EncodableValue("offline")}}));
}

}  // namespace
}  // namespace tavlune::testing
