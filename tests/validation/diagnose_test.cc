// Attempt order, pauses, error texts and the field table, with a scripted
// curl stand-in and a recording clock: nothing is slept and nothing leaves
// the machine.
#include <unistd.h>

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "platform/dispatch/recording_clock.h"
#include "platform/json/json.h"
#include "tests/validation/support/fake_curl.h"
#include "validation/curl_arguments.h"
#include "validation/proxy_validator.h"

namespace tavlune::validation {
namespace {

using namespace std::chrono_literals;
using testing::CurlReply;
using testing::FakeCurl;
using Strings = std::vector<std::string>;
using Ms = std::chrono::milliseconds;

const Strings kServices = {"https://one.test/", "https://two.test/json/", "https://three.test/json"};
const std::string kDownload = "https://down.test/__down?bytes=250000";
const std::string kGateway =
    "The residential gateway closed the connection while it was preparing. Please try again in a moment.";
const std::string kNoWorkingConnection = "The selected proxy could not establish a working connection.";
const std::vector<Ms> kAllPauses = {1200ms, 1000ms, 1750ms, 2500ms, 3250ms};

struct Harness {
  FakeCurl curl;
  platform::RecordingClock clock;
  ProxyValidator validator{clock, ValidationEndpoints{curl.path(), kServices, kDownload}};

  ManagerResult<MacProxyDiagnostic> diagnose(const std::string& protocol, const std::string& user = "",
                                             const std::string& password = "") {
    return validator.diagnose("gw.test", 1080, protocol, user, password);
  }
  // (proxy URL, endpoint) of every probe run; the speed run names the download URL.
  std::vector<std::pair<std::string, std::string>> attempts() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& run : curl.runs()) {
      auto proxy = std::find(run.begin(), run.end(), "--proxy");
      out.emplace_back(proxy != run.end() ? *(proxy + 1) : "", run.back());
    }
    return out;
  }
};

std::string failureText(const ManagerResult<MacProxyDiagnostic>& result) {
  if (result) return "<succeeded>";
  const auto* error = std::get_if<MacProxyError>(&result.error());
  if (!error) return "<platform error>";
  EXPECT_EQ(error->kind(), MacProxyError::Kind::validationFailed);
  return error->payload();
}

TEST(Diagnose, FailingEveryProbeWalksPassesUrlsThenEndpointsWithThePauses) {
  struct Case {
    std::string protocol;
    Strings urls;
  };
  const Case cases[] = {
      {"socks4", {"socks4a://gw.test:1080"}},
      {"socks5", {"socks5h://gw.test:1080", "socks5://gw.test:1080"}},
      {"https", {"https://gw.test:1080"}},
      {"http", {"http://gw.test:1080"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.protocol);
    Harness h;
    auto result = h.diagnose(c.protocol);
    EXPECT_EQ(failureText(result), "curl: (7) Failed to connect to proxy");

    std::vector<std::pair<std::string, std::string>> expected;
    for (int pass = 0; pass < 5; ++pass)
      for (const auto& url : c.urls)
        for (const auto& service : kServices) expected.emplace_back(url, service);
    EXPECT_EQ(h.attempts(), expected);
    EXPECT_EQ(h.clock.sleeps(), kAllPauses);
  }
}

TEST(Diagnose, FinalErrorIsTheLastAttemptsUserFacingText) {
  struct Case {
    std::string name;
    CurlReply everyRun;
    std::optional<CurlReply> lastRun;  // run 15 of the HTTP proxy's 15
    std::string text;  // the failure's payload, already as the user reads it
  };
  const std::string notJson = platform::json::parse("<html>blocked</html>").error().description;
  const Case cases[] = {
      {"curl's message, trimmed", {7, "", "\n curl: (7) Failed to connect\r\n"}, std::nullopt,
       "curl: (7) Failed to connect"},
      {"gateway marker rewritten per attempt", {97, "", "curl: (97) connection to proxy closed\n"}, std::nullopt,
       kGateway},
      {"marker in capitals inside a longer text", {56, "", "oops CURL: (97) X"}, std::nullopt, kGateway},
      {"proxy connection aborted", {56, "", "curl: (56) Proxy Connection Aborted"}, std::nullopt, kGateway},
      {"silent failure", {22, "", ""}, std::nullopt, kNoWorkingConnection},
      {"error output that is not UTF-8", {22, "", "curl: \xff\xfe broken"}, std::nullopt, kNoWorkingConnection},
      {"output that is not JSON", {0, "<html>blocked</html>", ""}, std::nullopt, notJson},
      {"JSON without an address keeps the earlier error", {6, "", "curl: (6) Could not resolve host"},
       CurlReply{0, R"({"country":"X"})", ""}, "curl: (6) Could not resolve host"},
      {"JSON that is not an object keeps the earlier error", {6, "", "curl: (6) Could not resolve host"},
       CurlReply{0, R"([{"ip":"203.0.113.1"}])", ""}, "curl: (6) Could not resolve host"},
      {"the last error wins", {6, "", "curl: (6) Could not resolve host"}, CurlReply{28, "", "curl: (28) Timeout"},
       "curl: (28) Timeout"},
      // Left empty here; the error's own message then says the proxy did not work.
      {"no error ever recorded", {0, R"({"ip":"  "})", ""}, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.curl.replyByDefault(c.everyRun);
    if (c.lastRun) h.curl.reply(15, *c.lastRun);
    const std::string payload = failureText(h.diagnose("http"));
    EXPECT_EQ(payload, c.text);
    if (payload.empty()) {
      EXPECT_EQ(MacProxyError::validationFailed(payload).errorDescription(), kNoWorkingConnection);
    }
    EXPECT_EQ(h.curl.runs().size(), 15u);
  }
}

TEST(Diagnose, ACurlThatCannotStartIsRetriedAndReportedWithThePlatformsText) {
  platform::RecordingClock clock;
  ProxyValidator validator(clock, ValidationEndpoints{"/nonexistent/curl", kServices, kDownload});
  auto direct = validator.runCurl("http://h:1", std::nullopt, kServices[0], 12);
  ASSERT_FALSE(direct);
  const auto* platformError = std::get_if<platform::Error>(&direct.error());
  ASSERT_NE(platformError, nullptr);
  EXPECT_FALSE(platformError->description.empty());

  auto result = validator.diagnose("h", 1, "socks5", "", "");
  EXPECT_EQ(failureText(result), platformError->description);
  EXPECT_EQ(clock.sleeps(), kAllPauses);
  EXPECT_EQ(validator.measureSpeed("http://h:1", std::nullopt), "Unavailable");
}

TEST(Diagnose, TheFirstAnswerWithAnAddressEndsItAtOnce) {
  struct Case {
    std::string name;
    std::string protocol;
    std::map<int, CurlReply> replies;  // everything else fails
    std::vector<std::pair<std::string, std::string>> attempts;
    std::vector<Ms> pauses;
  };
  const CurlReply answer{0, R"({"ip":"203.0.113.9"})", ""};
  const CurlReply noAddress{0, R"({"city":"Oslo"})", ""};
  const CurlReply speed{0, "1500000.000", ""};
  const std::string h = "http://gw.test:1080", s5h = "socks5h://gw.test:1080", s5 = "socks5://gw.test:1080";
  const Case cases[] = {
      {"first endpoint", "http", {{1, answer}, {2, speed}}, {{h, kServices[0]}, {h, kDownload}}, {1200ms}},
      {"first answers without ip, second asked next",
       "http",
       {{1, noAddress}, {2, answer}, {3, speed}},
       {{h, kServices[0]}, {h, kServices[1]}, {h, kDownload}},
       {1200ms}},
      {"socks5 falls back to local resolution within the pass",
       "socks5",
       {{4, answer}, {5, speed}},
       {{s5h, kServices[0]}, {s5h, kServices[1]}, {s5h, kServices[2]}, {s5, kServices[0]}, {s5, kDownload}},
       {1200ms}},
      {"third pass, last endpoint",
       "http",
       {{9, answer}, {10, speed}},
       {{h, kServices[0]}, {h, kServices[1]}, {h, kServices[2]}, {h, kServices[0]}, {h, kServices[1]},
        {h, kServices[2]}, {h, kServices[0]}, {h, kServices[1]}, {h, kServices[2]}, {h, kDownload}},
       {1200ms, 1000ms, 1750ms}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness harness;
    for (const auto& [run, reply] : c.replies) harness.curl.reply(run, reply);
    auto result = harness.diagnose(c.protocol);
    ASSERT_TRUE(result) << failureText(result);
    EXPECT_EQ(result->ip, "203.0.113.9");
    EXPECT_EQ(result->speed, "12.0 Mbps");
    EXPECT_EQ(harness.attempts(), c.attempts);
    EXPECT_EQ(harness.clock.sleeps(), c.pauses);
  }
}

TEST(Diagnose, FieldsComeFromTheAnswerWithTheirFallbacks) {
  struct Case {
    std::string body;
    MacProxyDiagnostic expected;  // speed aside
  };
  const std::string ns = "Not supplied";
  const Case cases[] = {
      {R"({"ip":"203.0.113.7","country":"Germany","country_code":"de","region":"Hesse","city":"Frankfurt",
           "connection":{"isp":"Conn ISP"},"org":"Top Org","isp":"Top ISP"})",
       {"203.0.113.7", "Germany", "DE", "Frankfurt", "Hesse", "Conn ISP", ""}},
      {R"({"ip":"198.51.100.2","country":"DE","region":"Berlin","city":"Berlin","org":"AS64500 Example"})",
       {"198.51.100.2", "DE", "", "Berlin", "Berlin", "AS64500 Example", ""}},
      {R"({"ip":"198.51.100.3","country_name":"France","countryCode":"fr","state":"IDF","isp":"Only ISP"})",
       {"198.51.100.3", "France", "FR", ns, "IDF", "Only ISP", ""}},
      {R"({"ip":3405803786})", {"3405803786", ns, "", ns, ns, ns, ""}},
      {R"({"ip":1.5,"country_code":7})", {"1.5", ns, "7", ns, ns, ns, ""}},
      {R"({"ip":" 203.0.113.8\n","country":"  ","country_name":"Norway","city":"\t","region":"","state":"Viken"})",
       {"203.0.113.8", "Norway", "", ns, "Viken", ns, ""}},
      {R"({"ip":"x","country_code":"","countryCode":"no"})", {"x", ns, "NO", ns, ns, ns, ""}},
      {R"({"ip":"x","connection":"Conn","org":"Org"})", {"x", ns, "", ns, ns, "Org", ""}},
      {R"({"ip":"x","connection":{"isp":" "},"isp":"Top"})", {"x", ns, "", ns, ns, "Top", ""}},
      {R"({"ip":"x","connection":{"isp":null},"org":null,"isp":"Top"})", {"x", ns, "", ns, ns, "Top", ""}},
      {R"({"ip":"x","country":{"name":"Spain"},"city":["Madrid"]})", {"x", ns, "", ns, ns, ns, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    Harness h;
    h.curl.reply(1, {0, c.body, ""});
    h.curl.reply(2, {0, "200000000", ""});
    auto result = h.diagnose("https");
    ASSERT_TRUE(result) << failureText(result);
    auto expected = c.expected;
    expected.speed = "999.9 Mbps";
    EXPECT_EQ(*result, expected);
  }
}

TEST(Diagnose, AnswersWithoutAUsableAddressAreSkipped) {
  const std::string bodies[] = {
      R"({})", R"({"ip":""})", R"({"ip":" \n"})", R"({"ip":null})", R"({"ip":{"v4":"1.2.3.4"}})",
      R"({"ip":["1.2.3.4"]})", R"({"IP":"1.2.3.4"})", R"("1.2.3.4")", R"(17)",
  };
  for (const auto& body : bodies) {
    SCOPED_TRACE(body);
    Harness h;
    h.curl.reply(1, {0, body, ""});
    h.curl.reply(2, {0, R"({"ip":"192.0.2.5"})", ""});
    auto result = h.diagnose("http");
    ASSERT_TRUE(result) << failureText(result);
    EXPECT_EQ(result->ip, "192.0.2.5");
    EXPECT_EQ(h.curl.runs().size(), 3u);  // two probes and the download
  }
}

TEST(Diagnose, CredentialsReachCurlAsOneUntouchedArgument) {
  struct Case {
    std::string user, password;
    std::optional<std::string> proxyUser;
  };
  Harness probe;
  const std::string canary = probe.curl.canaryPath();
  const Case cases[] = {
      {"", "secret", std::nullopt},
      {"alice", "", "alice:"},
      {"a'; touch " + canary + "; '", "$(touch " + canary + ")`touch " + canary + "`",
       "a'; touch " + canary + "; ':$(touch " + canary + ")`touch " + canary + "`"},
      {"-u", "--proxy x", "-u:--proxy x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.user);
    Harness h;
    h.curl.reply(1, {0, R"({"ip":"192.0.2.1"})", ""});
    h.curl.reply(2, {0, "1", ""});
    ASSERT_TRUE(h.diagnose("socks5", c.user, c.password));
    auto runs = h.curl.runs();
    ASSERT_EQ(runs.size(), 2u);
    std::optional<std::string> credentials = c.proxyUser;
    EXPECT_EQ(runs[0], probeArguments("socks5h://gw.test:1080", credentials, kServices[0], 12));
    EXPECT_EQ(runs[1], speedArguments("socks5h://gw.test:1080", credentials, kDownload));
  }
  // The host goes into the proxy URL as typed, and the URL is one argument too.
  Harness h;
  h.curl.replyByDefault({0, R"({"ip":"192.0.2.1"})", ""});
  const std::string host = "$(touch " + canary + ");`touch " + canary + "` 'x'";
  ASSERT_TRUE(h.validator.diagnose(host, 1080, "http", "", ""));
  EXPECT_EQ(h.curl.runs().at(0), probeArguments("http://" + host + ":1080", std::nullopt, kServices[0], 12));
  EXPECT_NE(access(canary.c_str(), F_OK), 0) << "a credential or host was run by a shell";
}

TEST(RunCurl, StandardOutputIsReturnedWhole) {
  Harness h;
  const std::string bytes("{\"ip\":\"1\"}\0\xff trailing\n", 20);
  h.curl.reply(1, {0, bytes, "warnings go elsewhere"});
  auto result = h.validator.runCurl("http://h:1", "u:p", "https://x.test/", 3);
  ASSERT_TRUE(result);
  EXPECT_EQ(std::string(result->begin(), result->end()), bytes);
  EXPECT_EQ(h.curl.runs().at(0), probeArguments("http://h:1", "u:p", "https://x.test/", 3));
}

TEST(MeasureSpeed, AnythingButACleanRateIsUnavailable) {
  struct Case {
    CurlReply reply;
    std::string text;
  };
  const Case cases[] = {
      {{0, "1500000.000", ""}, "12.0 Mbps"},
      {{0, "1500000.000\n", "curl: (0) noise"}, "12.0 Mbps"},
      {{0, "0.000", ""}, "Unavailable"},
      {{28, "52000.000", "curl: (28) Operation timed out after 10000 milliseconds"}, "Unavailable"},
      {{97, "", "curl: (97) connection to proxy closed"}, "Unavailable"},
      {{0, "", ""}, "Unavailable"},
      {{0, "fast", ""}, "Unavailable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.out + " / status " + std::to_string(c.reply.status));
    Harness h;
    h.curl.replyByDefault(c.reply);
    EXPECT_EQ(h.validator.measureSpeed("socks4a://p:1", std::nullopt), c.text);
    EXPECT_EQ(h.curl.runs().at(0), speedArguments("socks4a://p:1", std::nullopt, kDownload));
  }
}

}  // namespace
}  // namespace tavlune::validation
