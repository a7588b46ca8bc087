#include <gtest/gtest.h>

#include "flow_fakes.h"
#include "platform/plist/plist.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/restore_commands.h"

namespace tavlune::testing {
namespace {
using namespace tavlune::manager;
using namespace tavlune::model;
using namespace tavlune::sysproxy;

using namespace std::chrono_literals;

EncodableMap args(std::initializer_list<std::pair<const char*, EncodableValue>> entries) {
  EncodableMap map;
  for (const auto& [key, value] : entries) map[EncodableValue(key)] = value;
  return map;
}

EncodableMap socks() { return args({{"host", EncodableValue("203.0.113.5")}, {"port", EncodableValue(1080)},
                                    {"protocol", EncodableValue("SOCKS5")}}); }

TEST(ConnectFlow, EntryChecksAnswerAtOnceAndQueueNothing) {
  const std::pair<EncodableMap, const char*> cases[] = {
      {args({{"port", EncodableValue(80)}}), "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("  ")}, {"port", EncodableValue(80)}}), "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}}), "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(0)}}), "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(65536)}}), "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue("80x")}}), "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(80)}, {"protocol", EncodableValue("socks")}}),
       "PROXY_CONFIGURATION_FAILED"},
      // Credentials that would be cut or split on their way to the proxy.
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(80)},
             {"username", EncodableValue(std::string("al\0ice", 6))}, {"password", EncodableValue("pw")}}),
       "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(80)}, {"username", EncodableValue("alice")},
             {"password", EncodableValue("p\rw")}}),
       "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(80)}, {"password", EncodableValue("p\nw")}}),
       "PROXY_CONFIGURATION_FAILED"},
      {args({{"host", EncodableValue("h")}, {"port", EncodableValue(80)}, {"username", EncodableValue("al:ice")}}),
       "PROXY_CONFIGURATION_FAILED"},
  };
  for (const auto& [arguments, code] : cases) {
    FlowRig rig;
    auto reply = std::make_shared<Reply>();
    rig.flows->connect(arguments, std::make_unique<CapturingResult>(reply));
    EXPECT_EQ(reply->kind, Reply::error);  // answered before returning
    EXPECT_EQ(reply->code, code);
    rig.settle();
    EXPECT_TRUE(rig.diagnosis->calls.empty());
  }
  FlowRig rig;
  ASSERT_TRUE(saveRecord(*rig.defaults, MacProxyConnectionState{"h", 1, "http", "manual", {}, 0, {}, {}, {}, {}, 1}).has_value());
  auto refused = rig.connect(socks());
  EXPECT_EQ(refused->code, "EXISTING_PROXY_ACTIVE");
  EXPECT_TRUE(rig.helper->sent().empty());
}

TEST(ConnectFlow, SuccessAppliesRecordsAndConfirms) {
  FlowRig rig;
  rig.systemApplies("SOCKS", "203.0.113.5", 1080);
  auto arguments = socks();
  arguments[EncodableValue("username")] = EncodableValue(" u ");
  const std::string password = "p'w: \"\\\tü";  // any byte travels but NUL, CR and LF
  arguments[EncodableValue("password")] = EncodableValue(password);
  arguments[EncodableValue("id")] = EncodableValue("profile-7");
  arguments[EncodableValue("city")] = EncodableValue("Berlin");
  auto reply = rig.connect(arguments);
  ASSERT_EQ(reply->kind, Reply::success) << reply->message;
  EXPECT_EQ(reply->value, EncodableValue(true));
  EXPECT_EQ(rig.diagnosis->calls, std::vector<std::string>{"203.0.113.5 1080 socks5 u:" + password});
  EXPECT_EQ(rig.helper->sent(),
            (std::vector<std::string>{connectCommand({"Wi-Fi", "Ethernet"}, "203.0.113.5", 1080, "socks5", "u", password),
                                      "chrome-webrtc-on"}));
  auto state = loadRecord<MacProxyConnectionState>(*rig.defaults);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(*state, (MacProxyConnectionState{"203.0.113.5", 1080, "socks5", "manual", "profile-7", 0, {}, {}, {},
                                             "Berlin", 1700000000900}));
  EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(rig.clock->sleeps().empty());  // matched on the first check
}

// "[::1]" is a URL's spelling: the checks, networksetup and the state get the address.
TEST(ConnectFlow, AnIPv6AddressLosesItsUrlBrackets) {
  FlowRig rig;
  rig.systemApplies("HTTP", "::1", 3128);
  auto reply = rig.connect(args({{"host", EncodableValue("[::1]")}, {"port", EncodableValue(3128)}}));
  ASSERT_EQ(reply->kind, Reply::success) << reply->message;
  EXPECT_EQ(rig.diagnosis->calls, std::vector<std::string>{"::1 3128 http :"});
  EXPECT_EQ(rig.helper->sent().front(), connectCommand({"Wi-Fi", "Ethernet"}, "::1", 3128, "http", "", ""));
  EXPECT_EQ(loadRecord<MacProxyConnectionState>(*rig.defaults)->host, "::1");
}

TEST(ConnectFlow, ConflictAndLeftovers) {
  {  // a foreign proxy beside one at the gateway: refused, nothing switched off
    FlowRig rig;
    rig.network->services->clear();
    rig.network->addService("Wi-Fi", proxyAt("HTTP", "gw.tavlune.com", 8080));
    rig.network->addService("Ethernet", proxyAt("SOCKS", "corp.example", 1080));
    EXPECT_EQ(rig.connect(socks())->code, "EXISTING_PROXY_ACTIVE");
    EXPECT_TRUE(rig.helper->sent().empty());
    EXPECT_TRUE(rig.diagnosis->calls.empty());
  }
  {  // only gateway leftovers: switched off first; the snapshot holds them switched off
    FlowRig rig;
    rig.network->services->clear();
    rig.network->addService("Wi-Fi", proxyAt("HTTP", "GW.tavlune.com ", 8080));
    rig.network->addService("Ethernet", {});
    rig.helper->onCommand = [&rig](const std::string& command) {
      if (command == disableProxyCommand({"Wi-Fi"})) rig.network->setProxies(0, proxyAt("HTTP", "GW.tavlune.com ", 8080, 0));
      if (isConnectLine(command)) rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080));
    };
    ASSERT_EQ(rig.connect(socks())->kind, Reply::success);
    auto sent = rig.helper->sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], disableProxyCommand({"Wi-Fi"}));
    EXPECT_EQ(sent[1], "chrome-webrtc-off");
    auto snapshot = loadRecord<MacProxySnapshot>(*rig.defaults);
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ(*platform::plist::parse(std::span<const uint8_t>(snapshot->services[0].configuration)),
              platform::plist::Value(proxyAt("HTTP", "GW.tavlune.com ", 8080, 0)));
  }
}

TEST(ConnectFlow, FailurePaths) {
  struct Case {
    const char* name;
    std::function<void(FlowRig&)> arrange;
    const char* code;
    std::string message;
    bool restored;
    std::size_t pauses;
    bool snapshotKept = false;  // its take-back failed: left for the next connect or launch
  };
  const Case cases[] = {
      {"no service", [](FlowRig& r) { r.network->services->clear(); }, "PROXY_CONFIGURATION_FAILED",
       "No enabled Wi-Fi or Ethernet service was found.", false, 0},
      {"unreadable configuration", [](FlowRig& r) { r.network->services = unexpected(platform::Error{"no preferences"}); }, "PROXY_CONFIGURATION_FAILED",
       "No enabled Wi-Fi or Ethernet service was found.", false, 0},
      {"diagnosis", [](FlowRig& r) { r.diagnosis->answer = unexpected(MacProxyError::validationFailed("curl: (97) x")); },
       "PROXY_VALIDATION_FAILED",
       "The residential gateway closed the connection while it was preparing. Please try again in a moment.", false, 0},
      // Handed over, the line may have run in part: whatever came back, the snapshot goes back.
      {"proxy command", [](FlowRig& r) { r.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("no such service"), true, 1); },
       "PROXY_CONFIGURATION_FAILED", "no such service", true, 0},
      {"proxy command and its take-back",
       [](FlowRig& r) { r.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("The proxy helper did not answer in time.")); },
       "PROXY_CONFIGURATION_FAILED", "The proxy helper did not answer in time.", true, 0, true},
      {"installation refused", [](FlowRig& r) { r.helper->failOn("/usr/sbin/", MacProxyError::authorizationCancelled(), false); },
       "AUTHORIZATION_CANCELLED", "Administrator approval is required to change macOS proxy settings.", false, 0},
      {"webrtc on", [](FlowRig& r) { r.systemApplies("SOCKS", "203.0.113.5", 1080);
                                     r.helper->failOn("chrome-webrtc-on", MacProxyError::commandFailed("policy")); },
       "PROXY_CONFIGURATION_FAILED", "policy", true, 0},
      {"never confirmed", [](FlowRig&) {}, "PROXY_CONFIGURATION_FAILED",
       "macOS did not activate the selected proxy settings.", true, 12},
      {"snapshot not storable", [](FlowRig& r) { r.defaults->setFailWrites(true); }, "PROXY_CONFIGURATION_FAILED",
       "The user defaults could not be written.", false, 0},
  };
  for (const auto& c : cases) {
    FlowRig rig;
    c.arrange(rig);
    auto reply = rig.connect(socks());
    EXPECT_EQ(reply->code, c.code) << c.name;
    EXPECT_EQ(reply->message, c.message) << c.name;
    rig.defaults->setFailWrites(false);
    EXPECT_EQ(rig.records(), (std::vector<bool>{false, c.snapshotKept, false})) << c.name;
    auto sent = rig.helper->sent();
    bool restoreSent = std::count_if(sent.begin(), sent.end(), [](const std::string& s) {
                         return s.find("-setproxybypassdomains 'Wi-Fi' Empty") != std::string::npos;
                       }) == 1;
    EXPECT_EQ(restoreSent, c.restored) << c.name;
    if (c.restored) {
      EXPECT_EQ(sent.back(), "chrome-webrtc-off") << c.name;
    }
    EXPECT_EQ(rig.clock->sleeps(), std::vector<std::chrono::milliseconds>(c.pauses, 150ms)) << c.name;
  }
}

TEST(ConnectFlow, WebRtcChoice) {
  for (auto [value, command] : {std::pair{EncodableValue(false), "chrome-webrtc-off"},
                                {EncodableValue("false"), "chrome-webrtc-on"}, {EncodableValue(), "chrome-webrtc-on"}}) {
    FlowRig rig;
    rig.systemApplies("SOCKS", "203.0.113.5", 1080);
    rig.helper->failOn("chrome-webrtc-off", MacProxyError::commandFailed("ignored"));
    auto arguments = socks();
    arguments[EncodableValue("webRtcProtection")] = value;
    EXPECT_EQ(rig.connect(arguments)->kind, Reply::success) << command;
    EXPECT_EQ(rig.helper->sent().back(), command);
  }
}

TEST(ConnectFlow, SecondConnectQueuedBehindTheFirstLeavesItsRecordsAlone) {
  FlowRig rig;
  rig.systemApplies("SOCKS", "203.0.113.5", 1080);
  auto first = std::make_shared<Reply>(), second = std::make_shared<Reply>();
  rig.flows->connect(socks(), std::make_unique<CapturingResult>(first));
  rig.flows->connect(socks(), std::make_unique<CapturingResult>(second));  // both pass the entry check
  rig.settle();
  EXPECT_EQ(first->kind, Reply::success);
  EXPECT_EQ(second->code, "EXISTING_PROXY_ACTIVE");
  EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(rig.diagnosis->calls.size(), 1u);
}

// Runs a hook at the first pause, on the sleeping thread.
class PauseHookClock : public platform::Clock {
 public:
  std::function<void()> atFirstPause;
  int64_t nowMilliseconds() override { return 1; }
  void sleep(std::chrono::milliseconds) override {
    if (auto hook = std::exchange(atFirstPause, nullptr)) hook();
  }
};

TEST(ConnectFlow, StateQueryDuringAConnectDoesNotBreakIt) {
  auto clock = std::make_shared<PauseHookClock>();
  FlowRig rig(clock);
  // The connect has stored its state and is confirming; the system has not
  // taken the settings yet when the front end asks for the state.
  EncodableValue answered;
  clock->atFirstPause = [&] {
    rig.main->sync([&] { answered = rig.flows->connectionStateValue(); });
    rig.network->setLive(proxyAt("SOCKS", "203.0.113.5", 1080));
  };
  auto reply = std::make_shared<Reply>();
  rig.flows->connect(socks(), std::make_unique<CapturingResult>(reply));
  while (reply->answers == 0) rig.main->drain();  // serve the main thread as the run loop would
  rig.settle();
  EXPECT_EQ(answered, EncodableValue(EncodableMap{{EncodableValue("phase"), EncodableValue("offline")}}));
  EXPECT_EQ(reply->kind, Reply::success) << reply->message;
  EXPECT_EQ(rig.records(), (std::vector<bool>{true, true, true}));
  auto sent = rig.helper->sent();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "chrome-webrtc-off"), 0);  // no clean-up ran
}

TEST(ConnectFlow, StraySnapshotIsTakenBackFirst) {
  MacProxySnapshot stray{{{"Wi-Fi", *platform::plist::toBinary(platform::plist::Value(proxyAt("HTTP", "10.0.0.2", 88)))}}};
  {
    FlowRig rig;
    ASSERT_TRUE(saveRecord(*rig.defaults, stray).has_value());
    std::string restore = disconnectCommand(loadRecord<MacProxySnapshot>(*rig.defaults));
    rig.systemApplies("SOCKS", "203.0.113.5", 1080);
    ASSERT_EQ(rig.connect(socks())->kind, Reply::success);
    EXPECT_EQ(rig.helper->sent().front(), restore);
  }
  {
    FlowRig rig;
    ASSERT_TRUE(saveRecord(*rig.defaults, stray).has_value());
    rig.helper->failOn("/usr/sbin/", MacProxyError::commandFailed("restore failed"));
    auto reply = rig.connect(socks());
    EXPECT_EQ(reply->message, "restore failed");
    EXPECT_EQ(loadRecord<MacProxySnapshot>(*rig.defaults), stray);
    EXPECT_TRUE(rig.diagnosis->calls.empty());
  }
}

}  // namespace
}  // namespace tavlune::testing
