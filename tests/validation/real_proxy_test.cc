// The real /usr/bin/curl through real proxies from Debian's packages, all on
// loopback, against HTTPS stand-ins for the services. Pauses go to a
// recording clock so that failing cases do not sleep their 8.5 seconds.
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "platform/dispatch/recording_clock.h"
#include "platform/json/json.h"
#include "tests/validation/support/loopback_services.h"
#include "validation/proxy_validator.h"

namespace tavlune::validation {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using Proxies = std::vector<std::unique_ptr<LoopbackProxy>>;

const std::string kGateway =
    "The residential gateway closed the connection while it was preparing. Please try again in a moment.";

const char* kGoodRoutes = R"({
  "/": {"body": "{\"ip\":\"203.0.113.7\",\"country\":\"Germany\",\"country_code\":\"de\",\"region\":\"Hesse\",\"city\":\"Frankfurt\",\"connection\":{\"isp\":\"Loopback ISP\"}}"},
  "/json/": {"body": "{\"ip\":\"203.0.113.8\"}"},
  "/json": {"body": "{\"ip\":\"203.0.113.9\"}"}
})";

#define REQUIRE_PROGRAMS(...)                                                                   \
  for (const char* program : {"/usr/bin/curl", __VA_ARGS__})                                   \
    if (access(program, X_OK) != 0) {                                                           \
      if (mustRunEverything()) FAIL() << program << " is missing; scripts/setup.sh installs it"; \
      GTEST_SKIP() << program << " is not installed; scripts/setup.sh installs it";             \
    }

// "N.N Mbps": one or more digits, a point, one digit.
bool isSpeed(const std::string& text) {
  const std::string unit = " Mbps";
  if (!text.ends_with(unit)) return false;
  const std::string number = text.substr(0, text.size() - unit.size());
  const auto point = number.find('.');
  if (point == std::string::npos || point == 0 || point + 2 != number.size()) return false;
  return std::all_of(number.begin(), number.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
         number.find('.', point + 1) == std::string::npos;
}

class RealProxies : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    trust_ = new TrustedLoopback;
    server_ = new EndpointServer(*trust_);
  }
  static void TearDownTestSuite() {
    delete server_;
    delete trust_;
  }
  void SetUp() override {
    ASSERT_TRUE(server_->started());
    server_->setRoutes(kGoodRoutes);
  }

  ProxyValidator validator() {
    return ProxyValidator(clock_, ValidationEndpoints{kCurlPath, server_->ipServiceUrls(), server_->downloadUrl()});
  }
  static std::string failureText(const ManagerResult<MacProxyDiagnostic>& result) {
    if (result) return "<succeeded with " + result->ip + ">";
    const auto* error = std::get_if<MacProxyError>(&result.error());
    if (!error || error->kind() != MacProxyError::Kind::validationFailed) return "<not validationFailed>";
    return error->payload();
  }

  static TrustedLoopback* trust_;
  static EndpointServer* server_;
  platform::RecordingClock clock_;
};

TrustedLoopback* RealProxies::trust_ = nullptr;
EndpointServer* RealProxies::server_ = nullptr;

Proxies one(std::unique_ptr<LoopbackProxy> proxy) {
  Proxies all;
  all.push_back(std::move(proxy));
  return all;
}

// The proxy in use is the last one; the ones before it stand behind it.
bool allStarted(const Proxies& proxies) {
  for (const auto& p : proxies)
    if (!p) return false;
  return !proxies.empty();
}

TEST_F(RealProxies, EveryKindOfProxyCarriesTheProbeAndTheDownload) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy", "/usr/bin/microsocks", "/usr/sbin/danted", "/usr/sbin/sshd", "/usr/bin/ssh",
                   "/usr/bin/stunnel4");
  TempDir scratch;
  const std::string canary = scratch.file("canary");
  const Credentials http{"alice", "s3cret"};
  // Shell syntax in the password: it must arrive at the proxy as typed.
  const Credentials socks{"bob", "p w$(touch " + canary + ")';\"`touch " + canary + "`"};
  struct Case {
    std::string name;
    std::function<Proxies()> start;
    std::string protocol;
    std::optional<Credentials> credentials;
  };
  const Case cases[] = {
      {"tinyproxy", [] { return one(startTinyproxy(std::nullopt)); }, "http", std::nullopt},
      {"tinyproxy with Basic credentials", [&] { return one(startTinyproxy(http)); }, "http", http},
      {"microsocks", [] { return one(startMicrosocks(std::nullopt)); }, "socks5", std::nullopt},
      {"microsocks with user name and password", [&] { return one(startMicrosocks(socks)); }, "socks5", socks},
      {"dante as SOCKS5", [] { return one(startDante()); }, "socks5", std::nullopt},
      {"OpenSSH dynamic forwarding as SOCKS4a", [] { return one(startSshSocks()); }, "socks4", std::nullopt},
      {"stunnel in front of tinyproxy with credentials",
       [&] {
         Proxies all = one(startTinyproxy(http));
         if (all[0]) all.push_back(startTlsFront(*trust_, all[0]->port));
         return all;
       },
       "https", http},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Proxies proxies = c.start();
    ASSERT_TRUE(allStarted(proxies));
    auto result = validator().diagnose("127.0.0.1", proxies.back()->port, c.protocol,
                                       c.credentials ? c.credentials->user : "",
                                       c.credentials ? c.credentials->password : "");
    ASSERT_TRUE(result) << failureText(result);
    EXPECT_EQ(*result, (MacProxyDiagnostic{"203.0.113.7", "Germany", "DE", "Frankfurt", "Hesse", "Loopback ISP",
                                           result->speed}));
    EXPECT_TRUE(isSpeed(result->speed)) << result->speed;
  }
  EXPECT_EQ(clock_.sleeps(), std::vector<std::chrono::milliseconds>(std::size(cases), 1200ms));
  EXPECT_NE(access(canary.c_str(), F_OK), 0) << "the password was run by a shell";
}

TEST_F(RealProxies, RefusalsWrongCredentialsAndClosedConnectionsFailWithCurlsMessage) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy", "/usr/bin/microsocks", "/usr/sbin/danted", "/usr/bin/stunnel4");
  ClosingServer closing;
  const int refused = freePort();
  const Credentials http{"alice", "s3cret"}, socks{"bob", "pw"};
  struct Case {
    std::string name;
    std::function<Proxies()> start;  // none: the port given below
    int port;
    std::string protocol;
    std::string user, password;
    std::string text;  // the whole text, or its beginning when it ends with "*"
  };
  const Case cases[] = {
      {"HTTP, wrong password", [&] { return one(startTinyproxy(http)); }, 0, "http", "alice", "wrong", "curl: (22) *"},
      {"HTTP, no credentials", [&] { return one(startTinyproxy(http)); }, 0, "http", "", "s3cret", "curl: (22) *"},
      {"SOCKS5, wrong password", [&] { return one(startMicrosocks(socks)); }, 0, "socks5", "bob", "wrong", kGateway},
      {"SOCKS5, no credentials", [&] { return one(startMicrosocks(socks)); }, 0, "socks5", "", "", kGateway},
      {"SOCKS4 server without the 4a extension", [] { return one(startDante()); }, 0, "socks4", "", "", kGateway},
      {"HTTP, refused", nullptr, refused, "http", "", "",
       "curl: (7) Failed to connect to 127.0.0.1 port " + std::to_string(refused) + "*"},
      {"SOCKS5, refused", nullptr, refused, "socks5", "", "", "curl: (7) *"},
      {"HTTPS, refused", nullptr, refused, "https", "", "", "curl: (7) *"},
      {"SOCKS5, closed", nullptr, closing.port(), "socks5", "", "", kGateway},
      {"SOCKS4, closed", nullptr, closing.port(), "socks4", "u", "p", kGateway},
      {"HTTP, closed", nullptr, closing.port(), "http", "", "", "curl: (56) *"},
      {"HTTPS, closed", nullptr, closing.port(), "https", "", "", "curl: (35) *"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Proxies proxies;
    int port = c.port;
    if (c.start) {
      proxies = c.start();
      ASSERT_TRUE(allStarted(proxies));
      port = proxies.back()->port;
    }
    platform::RecordingClock clock;
    ProxyValidator checker(clock, ValidationEndpoints{kCurlPath, server_->ipServiceUrls(), server_->downloadUrl()});
    std::string text = failureText(checker.diagnose("127.0.0.1", port, c.protocol, c.user, c.password));
    if (c.text.ends_with("*"))
      EXPECT_TRUE(text.starts_with(c.text.substr(0, c.text.size() - 1))) << text;
    else
      EXPECT_EQ(text, c.text);
    EXPECT_EQ(clock.sleeps().size(), 5u);
    std::optional<std::string> credentials;
    if (!c.user.empty()) credentials = c.user + ":" + c.password;
    const std::string scheme = c.protocol == "socks4" ? "socks4a" : c.protocol;
    EXPECT_EQ(checker.measureSpeed(scheme + "://127.0.0.1:" + std::to_string(port), credentials), "Unavailable");
  }
}

TEST_F(RealProxies, TheStandInsAnswersDecideTheRecordOrTheError) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy");
  auto proxy = startTinyproxy(std::nullopt);
  ASSERT_TRUE(proxy);
  const std::string ns = "Not supplied";
  const std::string notJson = platform::json::parse("<html>blocked</html>").error().description;
  struct Case {
    std::string name;
    std::string routes;
    std::optional<MacProxyDiagnostic> record;  // speed aside
    std::string error;
  };
  const Case cases[] = {
      {"missing ip, then numeric ip with a lower-case country code",
       R"({"/": {"body": "{\"country\":\"Norway\"}"},
           "/json/": {"body": "{\"ip\":3405803786,\"country_code\":\"no\",\"org\":\"AS64500 Org\"}"}})",
       MacProxyDiagnostic{"3405803786", ns, "NO", ns, ns, "AS64500 Org", ""}, ""},
      {"not JSON, then connection.isp over org",
       R"({"/": {"body": "<html>blocked</html>"},
           "/json/": {"body": "{\"ip\":\"198.51.100.1\",\"connection\":{\"isp\":\"Conn\"},\"org\":\"Org\",\"isp\":\"Top\"}"}})",
       MacProxyDiagnostic{"198.51.100.1", ns, "", ns, ns, "Conn", ""}, ""},
      {"HTTP errors, then the third service",
       R"({"/": {"status": 503, "body": "{\"ip\":\"192.0.2.1\"}"},
           "/json/": {"status": 429, "body": "{}"},
           "/json": {"body": "{\"ip\":\"192.0.2.3\",\"country_name\":\"Chile\",\"countryCode\":\"cl\",\"state\":\"RM\"}"}})",
       MacProxyDiagnostic{"192.0.2.3", "Chile", "CL", ns, "RM", ns, ""}, ""},
      {"nothing but HTML", R"({"/": {"body": "<html>blocked</html>"}, "/json/": {"body": "<html>blocked</html>"},
           "/json": {"body": "<html>blocked</html>"}})",
       std::nullopt, notJson},
      {"JSON everywhere, no address", R"({"/": {"body": "{}"}, "/json/": {"body": "[]"}, "/json": {"body": "{\"ip\":null}"}})",
       std::nullopt, ""},
      {"no such page", "{}", std::nullopt, "curl: (22) The requested URL returned error: 404"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server_->setRoutes(c.routes);
    platform::RecordingClock clock;
    ProxyValidator checker(clock, ValidationEndpoints{kCurlPath, server_->ipServiceUrls(), server_->downloadUrl()});
    auto result = checker.diagnose("127.0.0.1", proxy->port, "http", "", "");
    if (c.record) {
      ASSERT_TRUE(result) << failureText(result);
      auto expected = *c.record;
      expected.speed = result->speed;
      EXPECT_EQ(*result, expected);
      EXPECT_TRUE(isSpeed(result->speed)) << result->speed;
    } else {
      EXPECT_EQ(failureText(result), c.error);
    }
  }
}

TEST_F(RealProxies, AnHttpErrorFromTheDownloadEndpointStillHasARate) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy");
  auto proxy = startTinyproxy(std::nullopt);
  ASSERT_TRUE(proxy);
  const std::string url = "http://127.0.0.1:" + std::to_string(proxy->port);
  struct Case {
    std::string downloadUrl;
    bool rate;
  };
  const Case cases[] = {
      {server_->downloadUrl(), true},
      {server_->url("/no-such-download"), true},  // 404, but curl still ends with 0
      {"https://127.0.0.1:" + std::to_string(freePort()) + "/__down?bytes=250000", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.downloadUrl);
    ProxyValidator checker(clock_, ValidationEndpoints{kCurlPath, server_->ipServiceUrls(), c.downloadUrl});
    std::string text = checker.measureSpeed(url, std::nullopt);
    EXPECT_EQ(isSpeed(text), c.rate) << text;
    if (!c.rate) {
      EXPECT_EQ(text, "Unavailable");
    }
  }
}

}  // namespace
}  // namespace tavlune::validation
