// The real /usr/bin/curl through real proxies from Debian's packages, all on
// loopback, against HTTPS stand-ins for the services. Pauses go to a
// recording clock so that failing cases do not sleep their 8.5 seconds.
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "platform/dispatch/recording_clock.h"
#include "tests/validation/support/loopback_services.h"
#include "validation/proxy_validator.h"

namespace tavlune::validation {
namespace {
using namespace tavlune::model;

using namespace testing;
using Proxies = std::vector<Proxy>;

const std::string kGateway =
    "The residential gateway closed the connection while it was preparing. Please try again in a moment.";

#define REQUIRE_PROGRAMS(...)                                                                   \
  for (const char* program : {"/usr/bin/curl", __VA_ARGS__})                                   \
    if (access(program, X_OK) != 0) {                                                           \
      if (mustRunEverything()) FAIL() << program << " is missing; scripts/setup.sh installs it"; \
      GTEST_SKIP() << program << " is not installed; scripts/setup.sh installs it";             \
    }

// "<digits>.<digit> Mbps"
bool isSpeed(const std::string& text) {
  const std::string unit = " Mbps";
  if (text.size() < unit.size() + 3 || text.compare(text.size() - unit.size(), unit.size(), unit) != 0) return false;
  const std::string number = text.substr(0, text.size() - unit.size());
  const auto point = number.find('.');
  auto digits = [](const std::string& part) {
    return !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
  };
  return point != std::string::npos && digits(number.substr(0, point)) && number.size() - point == 2 &&
         digits(number.substr(point + 1));
}

std::string failureText(const ManagerResult<MacProxyDiagnostic>& result) {
  if (result) return "<succeeded with " + result->ip + ">";
  const auto* error = std::get_if<MacProxyError>(&result.error());
  if (!error || error->kind() != MacProxyError::Kind::validationFailed) return "<not validationFailed>";
  return error->payload();
}

Proxies one(Proxy proxy) {
  Proxies all;
  all.push_back(std::move(proxy));
  return all;
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
    server_->setRoutes(R"({"/": {"body": "{\"ip\":\"203.0.113.7\",\"country\":\"Germany\",\"country_code\":\"de\",)"
                       R"(\"region\":\"Hesse\",\"city\":\"Frankfurt\",\"connection\":{\"isp\":\"Loopback ISP\"}}"}})");
  }
  ProxyValidator validator(std::string downloadUrl = "") {
    return ProxyValidator(clock_, ValidationEndpoints{kCurlPath, server_->ipServiceUrls(),
                                                      downloadUrl.empty() ? server_->downloadUrl() : downloadUrl});
  }

  static TrustedLoopback* trust_;
  static EndpointServer* server_;
  platform::RecordingClock clock_;
};

TrustedLoopback* RealProxies::trust_ = nullptr;
EndpointServer* RealProxies::server_ = nullptr;

// The proxy in use is the last one; the ones before it stand behind it.
TEST_F(RealProxies, EveryKindOfProxyCarriesTheProbeAndTheDownload) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy", "/usr/bin/microsocks", "/usr/sbin/danted", "/usr/sbin/sshd", "/usr/bin/ssh",
                   "/usr/bin/stunnel4");
  TempDir scratch;
  const std::string canary = scratch.file("canary");
  const Credentials http{"alice", "s3cret"};
  // Shell syntax, the quoting of curl's configuration, a colon and UTF-8 in
  // the password: it must arrive at the proxy as typed.
  const Credentials socks{"bob ü", "p w:\\q\t€$(touch " + canary + ")';\"`touch " + canary + "`\\"};
  struct Case {
    std::string name;
    std::function<Proxies()> start;
    std::string protocol;
    Credentials credentials;
  };
  const Case cases[] = {
      {"tinyproxy", [] { return one(startTinyproxy(std::nullopt)); }, "http", {}},
      {"tinyproxy with Basic credentials", [&] { return one(startTinyproxy(http)); }, "http", http},
      {"microsocks", [] { return one(startMicrosocks(std::nullopt)); }, "socks5", {}},
      {"microsocks with user name and password", [&] { return one(startMicrosocks(socks)); }, "socks5", socks},
      {"dante as SOCKS5", [] { return one(startDante()); }, "socks5", {}},
      {"OpenSSH dynamic forwarding as SOCKS4a", [] { return one(startSshSocks()); }, "socks4", {}},
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
    ASSERT_TRUE(proxies.back());
    auto result =
        validator().diagnose("127.0.0.1", proxies.back()->port, c.protocol, c.credentials.user, c.credentials.password);
    ASSERT_TRUE(result) << failureText(result);
    EXPECT_EQ(*result, (MacProxyDiagnostic{"203.0.113.7", "Germany", "DE", "Frankfurt", "Hesse", "Loopback ISP",
                                           result->speed}));
    EXPECT_TRUE(isSpeed(result->speed)) << result->speed;
  }
  EXPECT_EQ(clock_.sleeps(), std::vector<std::chrono::milliseconds>(std::size(cases), 1200ms));
  EXPECT_NE(access(canary.c_str(), F_OK), 0) << "the password was run by a shell";
}

TEST_F(RealProxies, RefusalsWrongCredentialsAndClosedConnectionsFailWithCurlsMessage) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy", "/usr/bin/microsocks", "/usr/sbin/danted");
  ClosingServer closing;
  const int refused = freePort();
  struct Case {
    std::string name;
    std::function<Proxy()> start;  // none: the port given
    int port;
    std::string protocol, user, password;
    std::string text;  // the whole text, or its beginning when it ends with "*"
  };
  const Case cases[] = {
      {"HTTP, wrong password", [] { return startTinyproxy(Credentials{"alice", "s3cret"}); }, 0, "http", "alice",
       "wrong", "curl: (22) *"},
      {"SOCKS5, wrong password", [] { return startMicrosocks(Credentials{"bob", "pw"}); }, 0, "socks5", "bob",
       "wrong", kGateway},
      {"SOCKS4 server without the 4a extension", startDante, 0, "socks4", "", "", kGateway},
      {"HTTP, refused", nullptr, refused, "http", "", "",
       "curl: (7) Failed to connect to 127.0.0.1 port " + std::to_string(refused) + "*"},
      {"SOCKS5, closed", nullptr, closing.port(), "socks5", "", "", kGateway},
      {"SOCKS4, closed", nullptr, closing.port(), "socks4", "u", "p", kGateway},
      {"HTTP, closed", nullptr, closing.port(), "http", "", "", "curl: (56) *"},
      {"HTTPS, closed", nullptr, closing.port(), "https", "", "", "curl: (35) *"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Proxy proxy = c.start ? c.start() : nullptr;
    ASSERT_EQ(!proxy, !c.start);
    const int port = proxy ? proxy->port : c.port;
    platform::RecordingClock clock;
    ProxyValidator checker(clock, ValidationEndpoints{kCurlPath, server_->ipServiceUrls(), server_->downloadUrl()});
    std::string text = failureText(checker.diagnose("127.0.0.1", port, c.protocol, c.user, c.password));
    if (c.text.ends_with("*"))
      EXPECT_TRUE(text.starts_with(c.text.substr(0, c.text.size() - 1))) << text;
    else
      EXPECT_EQ(text, c.text);
    EXPECT_EQ(clock.sleeps().size(), 5u);
    const std::string scheme = c.protocol == "socks4" ? "socks4a" : c.protocol;
    EXPECT_EQ(checker.measureSpeed(scheme + "://127.0.0.1:" + std::to_string(port),
                                   c.user.empty() ? std::nullopt : std::optional(c.user + ":" + c.password)),
              "Unavailable");
  }
}

TEST_F(RealProxies, TheStandInsAnswersDecideTheRecordOrTheError) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy");
  auto proxy = startTinyproxy(std::nullopt);
  ASSERT_TRUE(proxy);
  // curl --fail moves on past HTTP errors, to the third service here.
  server_->setRoutes(R"({"/": {"status": 503, "body": "{\"ip\":\"192.0.2.1\"}"},
  "/json/": {"status": 429, "body": "{}"},
  "/json": {"body": "{\"ip\":\"192.0.2.3\",\"country_name\":\"Chile\",\"countryCode\":\"cl\",\"state\":\"RM\"}"}})");
  auto result = validator().diagnose("127.0.0.1", proxy->port, "http", "", "");
  ASSERT_TRUE(result) << failureText(result);
  EXPECT_EQ(*result, (MacProxyDiagnostic{"192.0.2.3", "Chile", "CL", "Not supplied", "RM", "Not supplied",
                                         result->speed}));
  server_->setRoutes("{}");
  EXPECT_EQ(failureText(validator().diagnose("127.0.0.1", proxy->port, "http", "", "")),
            "curl: (22) The requested URL returned error: 404");
}

TEST_F(RealProxies, AnHttpErrorFromTheDownloadEndpointStillHasARate) {
  REQUIRE_PROGRAMS("/usr/bin/tinyproxy");
  auto proxy = startTinyproxy(std::nullopt);
  ASSERT_TRUE(proxy);
  const std::string url = "http://127.0.0.1:" + std::to_string(proxy->port);
  // A 404 still ends with status 0 and a rate; a refused download has none.
  const std::string text = validator(server_->url("/no-such-download")).measureSpeed(url, std::nullopt);
  EXPECT_TRUE(isSpeed(text)) << text;
  EXPECT_EQ(validator("https://127.0.0.1:" + std::to_string(freePort()) + "/").measureSpeed(url, std::nullopt),
            "Unavailable");
}

}  // namespace
}  // namespace tavlune::validation
