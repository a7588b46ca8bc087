// Disconnect, the state answers, the launch clean-up, termination and WebRTC.
#include <gtest/gtest.h>

#include <future>

#include "flow_fakes.h"
#include "channel/method_result_functions.h"
#include "platform/plist/plist.h"
#include "sysproxy/restore_commands.h"

namespace tavlune::testing {
namespace {
using namespace tavlune::manager;
using namespace tavlune::model;
using namespace tavlune::sysproxy;

const EncodableValue kOffline(EncodableMap{{EncodableValue("phase"), EncodableValue("offline")}});

void storeConnection(FlowRig& rig, bool withDiagnostic = true) {
  auto& defaults = *rig.defaults;
  ASSERT_TRUE(saveRecord(defaults, MacProxyConnectionState{"203.0.113.5", 1080, "socks5", "manual", {}, 0, {}, {}, {}, {}, 1}).has_value());
  auto blob = platform::plist::toBinary(platform::plist::Value(proxyAt("HTTP", "10.0.0.2", 88)));
  ASSERT_TRUE(saveRecord(defaults, MacProxySnapshot{{{"Wi-Fi", *blob}}}).has_value());
  if (withDiagnostic) {
    ASSERT_TRUE(saveRecord(defaults, MacProxyDiagnostic{"1.2.3.4", "c", "C", "x", "s", "i", "1.0 Mbps"}).has_value());
  }
}

std::shared_ptr<Reply> ask(FlowRig& rig, void (ProxyFlows::*operation)(MethodResultPtr)) {
  auto reply = std::make_shared<Reply>();
  ((*rig.flows).*operation)(std::make_unique<CapturingResult>(reply));
  rig.settle();
  return reply;
}

TEST(DisconnectFlow, TakeBackByWhatIsStored) {
  struct Case {
    const char* name;
    std::function<void(FlowRig&)> arrange;
    std::function<std::vector<std::string>(FlowRig&)> expected;
    bool ok;
    bool recordsLeft;
  };
  const Case cases[] = {
      {"nothing ever connected", [](FlowRig&) {}, [](FlowRig&) { return std::vector<std::string>{"chrome-webrtc-off"}; },
       true, false},
      {"helper absent: no prompt for WebRTC", [](FlowRig& r) { r.helper->available = false; },
       [](FlowRig&) { return std::vector<std::string>{}; }, true, false},
      {"snapshot restored even when the live settings moved on", [](FlowRig& r) { storeConnection(r); },
       [](FlowRig& r) { return std::vector<std::string>{disconnectCommand(loadRecord<MacProxySnapshot>(*r.defaults)), "chrome-webrtc-off"}; }, true,
       false},
      {"no snapshot: gateway switched off, foreign left alone",
       [](FlowRig& r) {
         r.network->services->clear();
         r.network->addService("Wi-Fi", proxyAt("SOCKS", "gw.tavlune.com", 1080));
         r.network->addService("Ethernet", proxyAt("HTTP", "corp.example", 3128));
       },
       [](FlowRig&) { return std::vector<std::string>{disableProxyCommand({"Wi-Fi"}), "chrome-webrtc-off"}; }, true,
       false},
      {"restore refused keeps every record",
       [](FlowRig& r) {
         storeConnection(r);
         r.helper->failOn("/usr/sbin/", MacProxyError::authorizationCancelled());
       },
       [](FlowRig& r) { return std::vector<std::string>{disconnectCommand(loadRecord<MacProxySnapshot>(*r.defaults))}; }, false, true},
      {"snapshot without services: nothing to restore, records cleared",
       [](FlowRig& r) { ASSERT_TRUE(saveRecord(*r.defaults, MacProxySnapshot{}).has_value()); },
       [](FlowRig&) { return std::vector<std::string>{"chrome-webrtc-off"}; }, true, false},
      {"listing fails: nothing to switch off", [](FlowRig& r) { r.network->services = unexpected(platform::Error{"no preferences"}); },
       [](FlowRig&) { return std::vector<std::string>{"chrome-webrtc-off"}; }, true, false},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    c.arrange(rig);
    auto expected = c.expected(rig);
    auto reply = ask(rig, &ProxyFlows::disconnect);
    EXPECT_EQ(reply->kind, c.ok ? Reply::success : Reply::error) << c.name;
    EXPECT_EQ(rig.helper->sent(), expected) << c.name;
    EXPECT_EQ(rig.records(), std::vector<bool>(3, c.recordsLeft)) << c.name;
  }
}

TEST(StateAnswers, FollowTheLiveSettings) {
  {  // matching: the stored state's channel form, nothing removed
    FlowRig rig;
    storeConnection(rig);
    rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080));
    auto value = rig.flows->connectionStateValue();
    EXPECT_EQ(std::get<EncodableMap>(value).at(EncodableValue("phase")), EncodableValue("connected"));
    EXPECT_EQ(ask(rig, &ProxyFlows::inspect)->value.index(), EncodableValue(EncodableMap{}).index());
  }
  for (auto live : {proxyAt("SOCKS", "203.0.113.5", 1080, 0), proxyAt("SOCKS", "203.0.113.6", 1080),
                    proxyAt("SOCKS", "203.0.113.5", 1081), proxyAt("HTTP", "203.0.113.5", 1080)}) {
    FlowRig rig;
    storeConnection(rig);
    rig.network->setLive(live);
    std::string restore = disconnectCommand(loadRecord<MacProxySnapshot>(*rig.defaults));
    EXPECT_EQ(ask(rig, &ProxyFlows::inspect)->message, "No Tavlune proxy is active.");
    EXPECT_EQ(rig.flows->connectionStateValue(), kOffline);
    // State and diagnostic go at once; the queued clean-up restores the snapshot.
    EXPECT_FALSE(rig.stored(recordKey<MacProxyConnectionState>));
    EXPECT_FALSE(rig.stored(recordKey<MacProxyDiagnostic>));
    rig.settle();
    EXPECT_EQ(rig.helper->sent(), (std::vector<std::string>{restore, "chrome-webrtc-off"}));
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, false, false}));
  }
  {  // no diagnostic: inspection says so and leaves the state
    FlowRig rig;
    storeConnection(rig, /*withDiagnostic=*/false);
    rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080));
    EXPECT_EQ(ask(rig, &ProxyFlows::inspect)->message, "Proxy information is unavailable.");
    EXPECT_TRUE(rig.stored(recordKey<MacProxyConnectionState>));
  }
}

TEST(LaunchCleanUp, RepairsWhatAnEarlierRunLeft) {
  {  // a failed restore keeps everything for the next launch
    FlowRig rig;
    storeConnection(rig);
    rig.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("x"));
    rig.flows->cleanupOrphanedConnection();
    rig.settle();
    EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));
  }
  {  // without a snapshot: gateway settings off, then WebRTC off, records cleared
    FlowRig rig;
    storeConnection(rig);
    ASSERT_TRUE(rig.defaults->removeObject(recordKey<MacProxySnapshot>).has_value());
    rig.network->services->clear();
    rig.network->addService("Wi-Fi", proxyAt("HTTPS", "gw.tavlune.com", 443));
    rig.helper->failOn("chrome-webrtc-off", MacProxyError::commandFailed("ignored"));
    rig.flows->cleanupOrphanedConnection();
    rig.settle();
    EXPECT_EQ(rig.helper->sent(), (std::vector<std::string>{disableProxyCommand({"Wi-Fi"}), "chrome-webrtc-off"}));
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, false, false}));
  }
  {  // nothing at the gateway: no helper contact, state and diagnostic cleared anyway
    FlowRig rig;
    storeConnection(rig);
    ASSERT_TRUE(rig.defaults->removeObject(recordKey<MacProxySnapshot>).has_value());
    rig.flows->cleanupOrphanedConnection();
    rig.settle();
    EXPECT_TRUE(rig.helper->sent().empty());
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, false, false}));
  }
}

TEST(Termination, CompletesAfterEverythingQueuedBefore) {
  FlowRig rig;
  rig.systemApplies("SOCKS", "203.0.113.5", 1080);
  std::vector<std::string> order;
  EncodableMap arguments{{EncodableValue("host"), EncodableValue("203.0.113.5")},
                         {EncodableValue("port"), EncodableValue(1080)},
                         {EncodableValue("protocol"), EncodableValue("socks5")}};
  auto reply = std::make_shared<Reply>();
  rig.flows->connect(arguments, std::make_unique<channel::MethodResultFunctions>(
                                    [&](const EncodableValue*) { order.push_back("connected"); }, nullptr, nullptr));
  rig.flows->disconnectForTermination([&] { order.push_back("completed"); });
  rig.settle();
  EXPECT_EQ(order, (std::vector<std::string>{"connected", "completed"}));
  // The connect's settings were taken back before the completion.
  EXPECT_EQ(rig.records(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(rig.helper->sent().at(rig.helper->sent().size() - 2).rfind("/usr/sbin/networksetup", 0), 0u);

  // Once quitting, nothing may change the system behind the take-back.
  auto late = std::make_shared<Reply>(), lateWebRtc = std::make_shared<Reply>();
  rig.flows->connect(arguments, std::make_unique<CapturingResult>(late));
  rig.flows->setWebRtcProtection(true, std::make_unique<CapturingResult>(lateWebRtc));
  rig.settle();
  EXPECT_EQ(late->message, "Tavlune is quitting.");
  EXPECT_EQ(lateWebRtc->message, "Tavlune is quitting.");

  FlowRig failing;  // a failed take-back still lets the application quit
  storeConnection(failing);
  failing.helper->failOn("/usr/sbin/", MacProxyError::authorizationCancelled());
  bool completed = false;
  failing.flows->disconnectForTermination([&] { completed = true; });
  failing.settle();
  EXPECT_TRUE(completed);
  EXPECT_EQ(failing.records(), (std::vector<bool>{true, true, true}));
}

// A helper that never finishes the take-back keeps the application for the
// bound only; the records stay for the next launch.
TEST(Termination, AHungTakeBackEndsAtTheBound) {
  FlowRig rig(nullptr, std::chrono::milliseconds(50));
  storeConnection(rig);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  rig.helper->onCommand = [released](const std::string&) { released.wait(); };
  int completions = 0;
  rig.flows->disconnectForTermination([&] { ++completions; });
  while (completions == 0) rig.main->drain();
  EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));
  release.set_value();
  rig.settle();
  EXPECT_EQ(completions, 1);  // the take-back's own end does not complete it again
}

TEST(WebRtcProtection, OnlyWhileConnected) {
  struct Case {
    bool connected, enabled;
    std::optional<AnyError> failure;
    std::vector<std::string> sent;
    const char* code;
  };
  const Case cases[] = {
      {false, true, std::nullopt, {}, ""},
      {true, true, std::nullopt, {"chrome-webrtc-on"}, ""},
      {true, false, std::nullopt, {"chrome-webrtc-off"}, ""},
      {true, true, MacProxyError::authorizationCancelled(), {"chrome-webrtc-on"}, "AUTHORIZATION_CANCELLED"},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    if (c.connected) storeConnection(rig);
    if (c.failure) rig.helper->failOn("chrome-webrtc", *c.failure);
    auto reply = std::make_shared<Reply>();
    rig.flows->setWebRtcProtection(c.enabled, std::make_unique<CapturingResult>(reply));
    rig.settle();
    EXPECT_EQ(rig.helper->sent(), c.sent);
    EXPECT_EQ(reply->code, c.code);
    if (!*c.code) {
      EXPECT_EQ(reply->value, EncodableValue(true));
    }
    EXPECT_EQ(rig.records(), std::vector<bool>(3, c.connected));  // the connection is never touched
  }
}

}  // namespace
}  // namespace tavlune::testing
