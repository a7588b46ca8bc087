// What the window channel offers besides the manager's own channel: a proxy
// proved without changing anything, and the proxy settings in force.
#include <gtest/gtest.h>

#include "flow_fakes.h"
#include "manager/proxy_checks.h"
#include "manager/system_proxy_view.h"

namespace tavlune::testing {
namespace {
using namespace std::chrono_literals;

TEST(ProxyChecks, ProveThroughTheDiagnosisAloneAndAnswerByTag) {
  FlowRig rig;
  auto checks = std::make_unique<ProxyChecks>(rig.diagnosis, rig.main);
  auto check = [&](const V& arguments) {
    auto reply = std::make_shared<Reply>();
    checks->check(&arguments, capture(reply));
    for (int i = 0; i < 2000 && reply->kind == Reply::none; ++i) rig.main->drain(), std::this_thread::sleep_for(1ms);
    return reply;
  };
  V tagged(request({{"checkId", V("7")}, {"username", V("u")}, {"password", V("p")}}));
  auto proved = check(tagged);
  EXPECT_EQ(proved->value, flutterValue(*rig.diagnosis->answer));
  EXPECT_EQ(rig.diagnosis->calls, Lines{"203.0.113.5 1080 socks5 u:p"});
  EXPECT_EQ(std::make_tuple(rig.helper->sent, rig.records()), std::make_tuple(Lines{}, std::vector<bool>{false, false, false}));
  // Followed and cancelled by its tag only.
  V seen;
  bool other = true, own = false;
  rig.diagnosis->during = [&](const validation::ProofObserver& observer) {
    observer.progress(0, "");
    other = checks->tracker().cancel("8");
    seen = checks->tracker().describe("7");
    own = checks->tracker().cancel("7") && observer.cancellation->cancelled();
  };
  EXPECT_EQ(check(tagged)->kind, Reply::success);
  EXPECT_EQ(std::make_tuple(other, own, std::get<EncodableMap>(seen)[V("pass")]), std::make_tuple(false, true, V(1)));
  for (const V& refused : {V(), V(request({{"port", V(0)}})), V("203.0.113.5:1080")})
    EXPECT_TRUE(check(refused)->is(MacProxyError::invalidConfiguration()));
}

TEST(SystemProxyView, EveryEnabledServiceAndTheLiveSettings) {
  FakeNetwork network;
  auto proxies = proxyAt("HTTP", "10.0.0.2", 3128);
  proxies["HTTPUser"] = plist::Value("me");
  proxies["ProxyAutoConfigURLString"] = plist::Value("http://wpad/p.pac");
  proxies["ExceptionsList"] = plist::Value(plist::Array{plist::Value("*.local")});
  network.addService("Wi-Fi", proxies);
  network.addService("Off", {}, false);
  network.setLive(proxies);
  const V off = textMap({{"enabled", V(false)}});
  const EncodableMap settings{{V("web"), textMap({{"enabled", V(true)}, {"host", V("10.0.0.2")}, {"port", V(3128)}, {"user", V("me")}})},
                              {V("secureWeb"), off}, {V("socks"), off},
                              {V("autoConfig"), textMap({{"enabled", V(false)}, {"url", V("http://wpad/p.pac")}})},
                              {V("autoDiscovery"), V(false)}, {V("bypass"), V(channel::EncodableList{V("*.local")})}};
  EncodableMap service = settings;
  service[V("name")] = V("Wi-Fi");
  EXPECT_EQ(systemProxyView(network), textMap({{"services", V(channel::EncodableList{V(service)})}, {"live", V(settings)}}));
}

}  // namespace
}  // namespace tavlune::testing
