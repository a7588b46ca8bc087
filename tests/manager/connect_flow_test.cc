#include <gtest/gtest.h>

#include <future>

#include "flow_fakes.h"
#include "sysproxy/connect_command.h"

namespace tavlune::testing {
namespace {
using namespace std::chrono_literals;
using sysproxy::connectCommand;
using sysproxy::disableProxyCommand;

TEST(ConnectFlow, EntryChecksAnswerAtOnceAndQueueNothing) {
  const AnyError bad = MacProxyError::invalidConfiguration();
  const std::pair<EncodableMap, AnyError> cases[] = {
      {request({{"host", V()}}), bad}, {request({{"host", V("  ")}}), bad}, {request({{"port", V()}}), bad},
      {request({{"port", V(0)}}), bad}, {request({{"port", V(65536)}}), bad}, {request({{"port", V("80x")}}), bad},
      {request({{"protocol", V("socks")}}), MacProxyError::unsupportedProtocol()},
      // Credentials that would be cut or split on their way to the proxy.
      {request({{"username", V(std::string("al\0ice", 6))}, {"password", V("pw")}}), bad},
      {request({{"username", V("alice")}, {"password", V("p\rw")}}), bad},
      {request({{"password", V("p\nw")}}), bad},
      {request({{"username", V("al:ice")}}), bad},
  };
  for (const auto& [arguments, error] : cases) {
    FlowRig rig;
    auto reply = std::make_shared<Reply>();
    rig.flows->connect(arguments, capture(reply));
    EXPECT_TRUE(reply->is(error)) << reply->message;  // answered before returning
    rig.settle();
    EXPECT_TRUE(rig.diagnosis->calls.empty());
  }
  FlowRig rig;
  ASSERT_TRUE(saveRecord(*rig.defaults, MacProxyConnectionState{"h", 1, "http", "manual", {}, 0, {}, {}, {}, {}, 1}));
  EXPECT_TRUE(rig.connect()->is(MacProxyError::existingProxy()));
  EXPECT_TRUE(rig.helper->sent.empty());
}

// A connect is listed from its request to its reply, and a cancel stops it
// only before the system is changed.
TEST(ConnectFlow, FollowedAndCancelledOnlyBeforeApplying) {
  FlowRig rig;
  rig.systemApplies();
  V seen;
  bool taken = false;
  rig.diagnosis->during = [&](const validation::ProofObserver& observer) {
    observer.progress(1, "curl: (7) x");
    seen = rig.connects->describe();
    taken = rig.connects->cancel();
  };
  EXPECT_TRUE(rig.connect()->is(MacProxyError::validationFailed(kProofCancelledMessage)));
  EXPECT_TRUE(taken);
  EXPECT_EQ(seen, textMap({{"phase", V("proving")}, {"protocol", V("socks5")}, {"host", V("203.0.113.5")}, {"port", V(1080)},
                           {"cancellable", V(true)}, {"behind", V(0)}, {"pass", V(2)}, {"passes", V(5)}, {"lastError", V("curl: (7) x")}}));
  EXPECT_EQ(std::make_tuple(rig.helper->sent, rig.records()), std::make_tuple(Lines{}, std::vector<bool>{false, false, false}));
  EXPECT_EQ(rig.connects->describe(), textMap({{"phase", V("idle")}}));

  // Applying: refused, and the connect ends as it would have.
  FlowRig late;
  late.systemApplies();
  std::vector<std::string> stages;
  late.helper->onCommand = [&, apply = late.helper->onCommand](const std::string& command) {
    apply(command);
    stages.push_back(std::get<std::string>(std::get<EncodableMap>(late.connects->describe())[V("phase")]));
    EXPECT_FALSE(late.connects->cancel());
  };
  EXPECT_EQ(late.connect()->kind, Reply::success);
  EXPECT_EQ(stages, (Lines{"applying", "applying"}));

  // Waiting behind other work: nothing of it runs.
  FlowRig queued;
  std::promise<void> release;
  queued.queue->async([future = release.get_future().share()] { future.wait(); });
  auto reply = std::make_shared<Reply>();
  queued.flows->connect(request(), capture(reply));
  EXPECT_EQ(std::get<EncodableMap>(queued.connects->describe())[V("phase")], V("waiting"));
  EXPECT_TRUE(queued.connects->cancel());
  release.set_value();
  queued.settle();
  EXPECT_TRUE(reply->is(MacProxyError::validationFailed(kProofCancelledMessage)));
  EXPECT_TRUE(queued.diagnosis->calls.empty());
}

TEST(ConnectFlow, SuccessAppliesRecordsAndConfirms) {
  FlowRig rig;
  rig.systemApplies();
  const std::string password = "p'w: \"\\\tü";  // any byte travels but NUL, CR and LF
  auto reply = rig.connect(request({{"username", V(" u ")}, {"password", V(password)}, {"id", V("profile-7")}, {"city", V("Berlin")},
                                   {"webRtcProtection", V("false")}}));  // only the boolean false turns it off
  ASSERT_EQ(reply->kind, Reply::success) << reply->message;
  EXPECT_EQ(reply->value, V(true));
  EXPECT_EQ(rig.diagnosis->calls, Lines{"203.0.113.5 1080 socks5 u:" + password});
  EXPECT_EQ(rig.helper->sent, (Lines{connectCommand({"Wi-Fi", "Ethernet"}, "203.0.113.5", 1080, "socks5", "u", password), "chrome-webrtc-on"}));
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(*rig.defaults),
            (MacProxyConnectionState{"203.0.113.5", 1080, "socks5", "manual", "profile-7", 0, {}, {}, {}, "Berlin", 1700000000900}));
  EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(rig.clock->sleeps().empty());  // matched on the first check

  // "[::1]" is a URL's spelling: the checks, networksetup and the state get the address.
  FlowRig v6;
  v6.systemApplies("HTTP", "::1", 3128);
  v6.helper->failOn("chrome-webrtc-off", MacProxyError::commandFailed("ignored"));
  auto request6 = request({{"host", V("[::1]")}, {"port", V(3128)}, {"protocol", V()}, {"webRtcProtection", V(false)}});
  ASSERT_EQ(v6.connect(request6)->kind, Reply::success);
  EXPECT_EQ(v6.diagnosis->calls, Lines{"::1 3128 http :"});
  EXPECT_EQ(v6.helper->sent, (Lines{connectCommand({"Wi-Fi", "Ethernet"}, "::1", 3128, "http", "", ""), "chrome-webrtc-off"}));
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(*v6.defaults)->host, "::1");
}

// Only gateway leftovers: switched off first; the snapshot holds them switched off.
TEST(ConnectFlow, GatewayLeftoversAreSwitchedOffFirst) {
  FlowRig rig;
  rig.network->services->clear();
  rig.network->addService("Wi-Fi", proxyAt("HTTP", "GW.tavlune.com ", 8080));
  rig.network->addService("Ethernet", {});
  rig.helper->onCommand = [&rig](const std::string& command) {
    if (command == disableProxyCommand({"Wi-Fi"})) rig.network->setProxies(0, proxyAt("HTTP", "GW.tavlune.com ", 8080, 0));
    if (isConnectLine(command)) rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080));
  };
  ASSERT_EQ(rig.connect()->kind, Reply::success);
  auto sent = rig.helper->sent;
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], disableProxyCommand({"Wi-Fi"}));
  EXPECT_EQ(sent[1], "chrome-webrtc-off");
  EXPECT_EQ(*plist::parse(std::span<const uint8_t>(loadRecord<MacProxySnapshot>(*rig.defaults)->services.at(0).configuration)),
            plist::Value(proxyAt("HTTP", "GW.tavlune.com ", 8080, 0)));
}

TEST(ConnectFlow, FailurePaths) {
  platform::MemoryUserDefaults unwritable;  // gives the error of a failed write
  unwritable.setFailWrites(true);
  const auto helperFails = [](AnyError e, bool handedOver = true, int times = -1) {
    return [=](FlowRig& r) { r.helper->failOn("/usr/sbin/", e, handedOver, times); };
  };
  // restored: the snapshot's take-back was sent; kept: it failed, the snapshot stays for later.
  const struct { const char* name; std::function<void(FlowRig&)> arrange; AnyError error; bool restored; size_t pauses; bool kept; } cases[] = {
      {"no service", [](FlowRig& r) { r.network->services->clear(); }, MacProxyError::noNetworkService(), false, 0, false},
      {"a foreign proxy beside one at the gateway", [](FlowRig& r) { r.network->setProxies(0, proxyAt("HTTP", "gw.tavlune.com", 8080));
                                                                     r.network->setProxies(1, proxyAt("SOCKS", "corp.example", 1080)); },
       MacProxyError::existingProxy(), false, 0, false},
      {"unreadable configuration", [](FlowRig& r) { r.network->services = unexpected(platform::Error{"no preferences"}); },
       MacProxyError::noNetworkService(), false, 0, false},
      {"diagnosis", [](FlowRig& r) { r.diagnosis->answer = unexpected(MacProxyError::validationFailed("curl: (97) x")); },
       MacProxyError::validationFailed("curl: (97) x"), false, 0, false},
      // Handed over, the line may have run in part: whatever came back, the snapshot goes back.
      {"proxy command", helperFails(MacProxyError::commandFailed("no such service"), true, 1),
       MacProxyError::commandFailed("no such service"), true, 0, false},
      {"proxy command and its take-back", helperFails(MacProxyError::commandFailed("no answer")),
       MacProxyError::commandFailed("no answer"), true, 0, true},
      {"installation refused", helperFails(MacProxyError::authorizationCancelled(), false),
       MacProxyError::authorizationCancelled(), false, 0, false},
      {"webrtc on", [](FlowRig& r) { r.systemApplies(); r.helper->failOn("chrome-webrtc-on", MacProxyError::commandFailed("policy")); },
       MacProxyError::commandFailed("policy"), true, 0, false},
      {"never confirmed", [](FlowRig&) {}, MacProxyError::commandFailed("macOS did not activate the selected proxy settings."), true, 12, false},
      {"snapshot not storable", [](FlowRig& r) { r.defaults->setFailWrites(true); }, AnyError(unwritable.setData("k", {}).error()), false, 0, false},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    c.arrange(rig);
    auto reply = rig.connect();
    EXPECT_TRUE(reply->is(c.error)) << c.name << ": " << reply->message;
    rig.defaults->setFailWrites(false);
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, c.kept, false})) << c.name;
    auto sent = rig.helper->sent;
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& s) { return s.find("-setproxybypassdomains 'Wi-Fi' Empty") != s.npos; }),
              c.restored ? 1 : 0) << c.name;
    EXPECT_TRUE(!c.restored || sent.back() == "chrome-webrtc-off") << c.name;
    EXPECT_EQ(rig.diagnosis->calls.empty(), c.error == AnyError(MacProxyError::noNetworkService()) || c.error == AnyError(MacProxyError::existingProxy())) << c.name;
    EXPECT_EQ(rig.clock->sleeps(), std::vector<std::chrono::milliseconds>(c.pauses, 150ms)) << c.name;
  }
}

// A snapshot without a state, left by a take-back that failed or could not
// remove it: put back first, unless a take-back already removed its file
// copy and no service points at its proxy any more: then it was put back
// already, and the settings are the user's again, changed since, maybe.
TEST(ConnectFlow, StraySnapshotIsTakenBackFirstUnlessPutBackAlready) {
  const struct { const char* name; bool namesProxy, copyKept, proxyOn, fails, restored; } cases[] = {
      {"older build's snapshot", false, false, false, false, true},
      {"older build's, take-back fails", false, false, false, true, true},
      {"copy removed, its proxy still on", true, false, true, false, true},
      {"copy removed, its proxy gone: put back already", true, false, false, false, false},
      {"copy kept: a take-back that failed, its line cut before any proxy", true, true, false, false, true},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    rig.storeConnection(false);
    ASSERT_TRUE(rig.defaults->removeObject(recordKey<MacProxyConnectionState>));
    auto stray = *loadRecord<MacProxySnapshot>(*rig.defaults);
    if (c.namesProxy) stray.proxy = MacSnapshotProxy{"198.51.100.9", 8080, "http"};
    ASSERT_TRUE(c.copyKept ? SnapshotStore(*rig.defaults, rig.copyPath).save(stray) : saveRecord(*rig.defaults, stray));
    if (c.proxyOn) rig.network->setProxies(1, proxyAt("HTTP", "198.51.100.9", 8080));
    const std::string restore = rig.restoreLine();
    rig.helper->onCommand = [&rig, restore](const std::string& command) {
      if (command == restore) rig.network->setProxies(1, {});
      if (isConnectLine(command)) rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080)), rig.network->setProxies(0, proxyAt("SOCKS", "203.0.113.5", 1080));
    };
    if (c.fails) rig.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("restore failed"));
    auto reply = rig.connect();
    EXPECT_EQ(rig.helper->sent.front() == restore, c.restored) << c.name;
    EXPECT_TRUE(c.fails ? reply->is(MacProxyError::commandFailed("restore failed")) : reply->kind == Reply::success) << c.name;
    EXPECT_EQ(loadRecord<MacProxySnapshot>(*rig.defaults) == stray, c.fails) << c.name;  // a failed take-back keeps it
    EXPECT_EQ(rig.diagnosis->calls.empty(), c.fails) << c.name;
  }
  FlowRig rig;  // a connect's snapshot names its proxy
  rig.systemApplies();
  ASSERT_EQ(rig.connect()->kind, Reply::success);
  EXPECT_EQ(loadRecord<MacProxySnapshot>(*rig.defaults)->proxy, (MacSnapshotProxy{"203.0.113.5", 1080, "socks5"}));
}

}  // namespace
}  // namespace tavlune::testing
