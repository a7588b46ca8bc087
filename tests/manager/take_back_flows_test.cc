// Disconnect, the state answers, the launch clean-up and termination.
#include <future>
#include <gtest/gtest.h>

#include "flow_fakes.h"

namespace tavlune::testing {
namespace {
using sysproxy::disableProxyCommand;

std::shared_ptr<Reply> ask(FlowRig& rig, void (ProxyFlows::*operation)(MethodResultPtr)) {
  auto reply = std::make_shared<Reply>();
  ((*rig.flows).*operation)(capture(reply));
  rig.settle();
  return reply;
}

void gatewayOnWiFiForeignOnEthernet(FlowRig& r) {
  r.network->services->clear();
  r.network->addService("Wi-Fi", proxyAt("SOCKS", "gw.tavlune.com", 1080));
  r.network->addService("Ethernet", proxyAt("HTTP", "corp.example", 3128));
}

TEST(DisconnectFlow, TakeBackByWhatIsStored) {
  const auto restoreThenOff = [](FlowRig& r) { return Lines{r.restoreLine(), "chrome-webrtc-off"}; };
  const auto justOff = [](FlowRig&) { return Lines{"chrome-webrtc-off"}; };
  const struct { const char* name; std::function<void(FlowRig&)> arrange; std::function<Lines(FlowRig&)> expected; bool ok; } cases[] = {
      {"nothing ever connected", [](FlowRig&) {}, justOff, true},
      {"helper absent: no prompt for WebRTC", [](FlowRig& r) { r.helper->available = false; }, [](FlowRig&) { return Lines{}; }, true},
      {"snapshot restored even when the live settings moved on", [](FlowRig& r) { r.storeConnection(); }, restoreThenOff, true},
      {"no snapshot: gateway switched off, foreign left alone", gatewayOnWiFiForeignOnEthernet,
       [](FlowRig&) { return Lines{disableProxyCommand({"Wi-Fi"}), "chrome-webrtc-off"}; }, true},
      {"restore refused keeps every record",
       [](FlowRig& r) { r.storeConnection(); r.helper->failOn("/usr/sbin/", MacProxyError::authorizationCancelled()); },
       [](FlowRig& r) { return Lines{r.restoreLine()}; }, false},
      {"snapshot without services", [](FlowRig& r) { ASSERT_TRUE(saveRecord(*r.defaults, MacProxySnapshot{})); }, justOff, true},
      {"listing fails: nothing to switch off", [](FlowRig& r) { r.network->services = unexpected(platform::Error{"x"}); }, justOff, true},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    c.arrange(rig);
    auto expected = c.expected(rig);
    EXPECT_EQ(ask(rig, &ProxyFlows::disconnect)->kind, c.ok ? Reply::success : Reply::error) << c.name;
    EXPECT_EQ(rig.helper->sent, expected) << c.name;
    EXPECT_EQ(rig.records(), std::vector<bool>(3, !c.ok)) << c.name;
  }
}

// Longer than the helper takes as one line: sent as several, in order, the first failure ending it.
TEST(DisconnectFlow, ALongTakeBackGoesAsSeveralLines) {
  for (bool fails : {false, true}) {
    FlowRig rig;
    MacProxySnapshot snapshot;
    const plist::Value bypass(plist::Array(400, plist::Value("*.intranet.corp.example.com")));
    for (int i = 0; i < 64; ++i) snapshot.services.push_back({"Service " + std::to_string(i), *plist::toBinary(plist::Value(plist::Dictionary{{"ExceptionsList", bypass}}))});
    ASSERT_TRUE(saveRecord(*rig.defaults, snapshot));
    if (fails) rig.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("x"));
    const std::string line = rig.restoreLine();
    EXPECT_EQ(ask(rig, &ProxyFlows::disconnect)->kind, fails ? Reply::error : Reply::success);
    Lines sent = rig.helper->sent;
    if (!fails) {
      EXPECT_EQ(sent.back(), "chrome-webrtc-off");
      sent.pop_back();
    }
    std::string joined;
    for (const std::string& piece : sent) joined += (joined.empty() ? "" : " && ") + piece;
    EXPECT_TRUE(fails ? sent.size() == 1 && line.starts_with(joined) : sent.size() > 1 && joined == line) << sent.size();
    EXPECT_EQ(rig.stored(recordKey<MacProxySnapshot>), fails);
  }
}

TEST(StateAnswers, FollowTheLiveSettings) {
  for (bool diagnosed : {true, false}) {  // matching: the stored records' channel forms, nothing removed
    FlowRig rig;
    rig.storeConnection(diagnosed);
    rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080));
    EXPECT_EQ(rig.flows->connectionStateValue(), flutterValue(*loadRecord<MacProxyConnectionState>(*rig.defaults)));
    auto inspected = ask(rig, &ProxyFlows::inspect);
    EXPECT_TRUE(diagnosed ? inspected->value == flutterValue(*loadRecord<MacProxyDiagnostic>(*rig.defaults))
                          : inspected->message == "Proxy information is unavailable.");
    EXPECT_TRUE(rig.stored(recordKey<MacProxyConnectionState>));
  }
  for (auto live : {proxyAt("SOCKS", "203.0.113.5", 1080, 0), proxyAt("SOCKS", "203.0.113.6", 1080),
                    proxyAt("SOCKS", "203.0.113.5", 1081), proxyAt("HTTP", "203.0.113.5", 1080)}) {
    FlowRig rig;
    rig.storeConnection();
    rig.network->setLive(live);
    const std::string restore = rig.restoreLine();
    EXPECT_EQ(ask(rig, &ProxyFlows::inspect)->message, "No Tavlune proxy is active.");
    EXPECT_EQ(rig.flows->connectionStateValue(), V(EncodableMap{{V("phase"), V("offline")}}));
    // State and diagnostic go at once; the queued clean-up restores the snapshot.
    EXPECT_FALSE(rig.stored(recordKey<MacProxyConnectionState>) || rig.stored(recordKey<MacProxyDiagnostic>));
    rig.settle();
    EXPECT_EQ(rig.helper->sent, (Lines{restore, "chrome-webrtc-off"}));
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, false, false}));
  }
}

// A snapshot without a state (a take-back that failed): the state query still
// answers offline, and retries the take-back: one at a time, 30 s after a
// failure, three failures at most; a success ends it.
TEST(StateAnswers, OwedTakeBackIsRetriedBounded) {
  for (bool fails : {true, false}) {
    FlowRig rig;
    rig.storeConnection(false);
    ASSERT_TRUE(rig.defaults->removeObject(recordKey<MacProxyConnectionState>));
    const std::string restore = rig.restoreLine();
    if (fails) rig.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("helper busy"));
    for (int64_t secondsLater : {0, 0, 29, 30, 60, 90, 120, 600}) {
      rig.clock->setNow(1700000000900 + secondsLater * 1000);
      for (int asked = 0; asked < 2; ++asked)  // at most one queued
        EXPECT_EQ(rig.flows->connectionStateValue(), V(EncodableMap{{V("phase"), V("offline")}}));
      rig.settle();
    }
    // Failing: at 0, 30 and 60 s, each 30 s after the last failure, and none after the third.
    EXPECT_EQ(rig.helper->sent, (fails ? Lines(3, restore) : Lines{restore, "chrome-webrtc-off"}));
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, fails, false}));
  }
}

TEST(LaunchCleanUp, RepairsWhatAnEarlierRunLeft) {
  // A failed restore keeps everything; without a snapshot the gateway's settings go off (WebRTC
  // off even if that fails) or, with nothing at the gateway, the helper is not asked at all.
  const struct { bool snapshot, gateway, restoreFails; Lines sent; bool left; } cases[] = {
      {true, false, true, {}, true},
      {false, true, false, {disableProxyCommand({"Wi-Fi"}), "chrome-webrtc-off"}, false},
      {false, false, false, {}, false},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    rig.storeConnection();
    ASSERT_TRUE(c.snapshot || rig.defaults->removeObject(recordKey<MacProxySnapshot>));
    if (c.gateway) gatewayOnWiFiForeignOnEthernet(rig);
    if (c.restoreFails) rig.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("x"));
    rig.helper->failOn("chrome-webrtc-off", MacProxyError::commandFailed("ignored"));
    rig.flows->cleanupOrphanedConnection();
    rig.settle();
    EXPECT_TRUE(c.restoreFails || rig.helper->sent == c.sent);
    EXPECT_EQ(rig.records(), std::vector<bool>(3, c.left));
  }
}

TEST(Termination, CompletesAfterEverythingQueuedBefore) {
  FlowRig rig;
  rig.systemApplies();
  Lines order;
  rig.flows->connect(request(), std::make_unique<channel::MethodResultFunctions>([&](const V*) { order.push_back("connected"); }, nullptr, nullptr));
  rig.flows->disconnectForTermination([&] { order.push_back("completed"); });
  rig.settle();
  EXPECT_EQ(order, (Lines{"connected", "completed"}));
  // The connect's settings were taken back before the completion.
  EXPECT_EQ(rig.records(), (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(rig.helper->sent.at(rig.helper->sent.size() - 2).starts_with("/usr/sbin/networksetup"));

  // Once quitting, nothing may change the system behind the take-back.
  auto late = std::make_shared<Reply>(), lateWebRtc = std::make_shared<Reply>();
  rig.flows->connect(request(), capture(late));
  rig.flows->setWebRtcProtection(true, capture(lateWebRtc));
  rig.settle();
  EXPECT_EQ(late->message, "Tavlune is quitting.");
  EXPECT_EQ(lateWebRtc->message, late->message);
  FlowRig failing;  // a failed take-back still lets the application quit, records kept
  failing.storeConnection();
  failing.helper->failOn("/usr/sbin/", MacProxyError::authorizationCancelled());
  bool completed = false;
  failing.flows->disconnectForTermination([&] { completed = true; });
  failing.settle();
  EXPECT_TRUE(completed);
  EXPECT_EQ(failing.records(), (std::vector<bool>{true, true, true}));
}

TEST(Termination, AHungTakeBackEndsAtTheBoundOnce) {
  FlowRig rig(std::chrono::milliseconds(50));
  rig.storeConnection();
  std::promise<void> release;
  rig.helper->onCommand = [released = release.get_future().share()](const std::string&) { released.wait(); };
  int completions = 0;
  rig.flows->disconnectForTermination([&] { ++completions; });
  while (completions == 0) rig.main->drain();
  EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));  // left for the next launch
  release.set_value();
  rig.settle();
  EXPECT_EQ(completions, 1);
}

}  // namespace
}  // namespace tavlune::testing
