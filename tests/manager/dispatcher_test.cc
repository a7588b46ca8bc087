#include <gtest/gtest.h>

#include "flow_fakes.h"
#include "manager/mac_proxy_manager.h"
#include "platform/workspace/recording_workspace.h"

namespace tavlune::testing {
namespace {
using channel::EncodableList;

// Records which operation the dispatcher chose and keeps the result it was given.
struct RecordingOperations : ProxyOperations {
  void connect(const EncodableMap& a, MethodResultPtr r) override { keep("connect", std::move(r)), arguments = a; }
  void disconnect(MethodResultPtr r) override { keep("disconnect", std::move(r)); }
  void setWebRtcProtection(bool on, MethodResultPtr r) override { keep(on ? "webrtc on" : "webrtc off", std::move(r)); }
  void inspect(MethodResultPtr r) override { keep("inspect", std::move(r)); }
  V connectionStateValue() override { return keep("state"), V("state"); }
  bool systemProxyMatchesCurrentState() override { return keep("live"), liveMatches; }
  void cleanupOrphanedConnection() override { keep("cleanup"); }
  void disconnectForTermination(std::function<void()> done) override { keep("terminate"), done(); }
  void keep(const char* call, MethodResultPtr r = nullptr) { calls.push_back(call), pending = std::move(r); }

  Lines calls;
  EncodableMap arguments;
  MethodResultPtr pending;
  bool liveMatches = true;
};

struct DispatcherTest : ::testing::Test {
  std::shared_ptr<Reply> call(const std::string& method, std::optional<V> arguments = std::nullopt) {
    auto reply = std::make_shared<Reply>();
    manager.handle(channel::MethodCall(method, arguments ? std::make_unique<V>(*arguments) : nullptr), capture(reply));
    return reply;
  }

  std::shared_ptr<platform::MemoryUserDefaults> defaults = std::make_shared<platform::MemoryUserDefaults>();
  std::shared_ptr<platform::RecordingWorkspace> workspace = std::make_shared<platform::RecordingWorkspace>(true);
  std::shared_ptr<RecordingOperations> operations = std::make_shared<RecordingOperations>();
  MacProxyManager manager{{defaults, workspace, std::make_shared<platform::MainQueue>(), {}, {}, {}, {}, {}, {}}, operations};
};

TEST_F(DispatcherTest, ImmediateRowsAnswerAtOnceWhateverTheArguments) {
  const V none;  // no answer: not implemented
  const std::pair<const char*, V> rows[] = {
      {"checkVpnPermission", V(false)}, {"requestVpnPermission", V(true)}, {"getProxyPort", V(int32_t{0})},
      {"clearBrowserProxy", V(true)}, {"updateVpnSettings", V(true)}, {"getInstalledApps", V(EncodableList{})},
      {"showLowDataAlert", V(false)}, {"enableBrowserProxy", V(false)}, {"confirmProxyConnection", V(false)},
      {"getConnectionStatus", V(false)}, {"openVpnSettings", V(true)},
      {"ConnectProxy", none}, {"connectproxy", none}, {"", none}, {"connectProxy ", none}, {"getProxyPort\n", none},
  };
  for (const auto& [method, expected] : rows)
    for (const auto& arguments : {std::optional<V>(), std::optional(V("junk"))}) {
      auto reply = call(method, arguments);
      EXPECT_EQ(reply->kind, expected.IsNull() ? Reply::notImplemented : Reply::success) << method;
      EXPECT_EQ(reply->value, expected) << method;
      EXPECT_EQ(reply->answers, 1) << method;
    }
  EXPECT_TRUE(operations->calls.empty());  // no stored state: the live settings are not read
  EXPECT_EQ(workspace->opened(), Lines(2, std::string(MacProxyManager::networkSettingsURL)));
}

TEST_F(DispatcherTest, StoredStateRows) {
  const std::string broken = R"({"host":"h","port":"80"})", 
                    stored = *platform::json::serialize(toJson(MacProxyConnectionState{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 1}));
  const struct { std::optional<std::string> setup; bool live, status, browser; } cases[] = {
      {std::nullopt, true, false, false}, {broken, true, false, false},
      {stored, true, true, true}, {stored, false, false, true},  // another program changed the system proxy
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(defaults->removeObject(recordKey<MacProxyConnectionState>));
    ASSERT_TRUE(!c.setup || defaults->setData(recordKey<MacProxyConnectionState>, platform::Bytes(c.setup->begin(), c.setup->end())));
    operations->liveMatches = c.live;
    EXPECT_EQ(call("confirmProxyConnection")->value, V(c.status)) << c.setup.value_or("none");
    EXPECT_EQ(call("getConnectionStatus")->value, V(c.status)) << c.setup.value_or("none");
    EXPECT_EQ(call("enableBrowserProxy")->value, V(c.browser)) << c.setup.value_or("none");
  }
  EXPECT_TRUE(defaults->data(recordKey<MacProxyConnectionState>).has_value());  // nothing removed here
}

// Refused (no operation) or handed to the operation, which answers once.
TEST_F(DispatcherTest, RoutedRowsHandTheirResultToTheOperation) {
  const EncodableMap map{{V("host"), V("h")}, {V("port"), V(80)}};
  const auto enabled = [](V v) { return std::optional(V(EncodableMap{{V("enabled"), v}})); };
  const struct { const char* method; std::optional<V> arguments; const char* operation; } rows[] = {
      {"connectProxy", std::nullopt, nullptr}, {"connectProxy", V(EncodableList{V("host")}), nullptr},
      {"connectProxy", V("host=h"), nullptr}, {"connectProxy", V(EncodableMap{{V(int32_t{1}), V("h")}}), nullptr},
      {"connectProxy", V(map), "connect"},
      {"disconnectProxy", V("ignored"), "disconnect"},
      {"inspectProxy", V("ignored"), "inspect"},
      // WebRTC protection is on unless "enabled" is the boolean false.
      {"setWebRtcProtection", std::nullopt, "webrtc on"}, {"setWebRtcProtection", V(EncodableMap{}), "webrtc on"},
      {"setWebRtcProtection", V(EncodableList{}), "webrtc on"}, {"setWebRtcProtection", enabled(V("false")), "webrtc on"},
      {"setWebRtcProtection", enabled(V(int32_t{0})), "webrtc on"}, {"setWebRtcProtection", enabled(V(true)), "webrtc on"},
      {"setWebRtcProtection", enabled(V(false)), "webrtc off"},
  };
  for (const auto& row : rows) {
    operations->calls.clear();
    auto reply = call(row.method, row.arguments);
    if (!row.operation) {
      EXPECT_TRUE(reply->is(MacProxyError::invalidConfiguration())) << reply->message;
      EXPECT_TRUE(operations->calls.empty());
      continue;
    }
    EXPECT_EQ(reply->kind, Reply::none) << row.method;
    EXPECT_EQ(operations->calls, Lines{row.operation});
    operations->pending->NotImplemented();
    EXPECT_FALSE(operations->pending->Success());  // a second answer is refused
    EXPECT_EQ(reply->answers, 1);
  }
  EXPECT_EQ(operations->arguments, map);
  operations->calls.clear();
  EXPECT_EQ(call("getConnectionState")->value, V("state"));
  EXPECT_EQ(operations->calls, Lines{"state"});
}

}  // namespace
}  // namespace tavlune::testing
