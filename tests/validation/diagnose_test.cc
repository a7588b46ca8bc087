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
using namespace tavlune::model;

using namespace std::chrono_literals;
using testing::CurlReply;
using Ms = std::chrono::milliseconds;
using Attempts = std::vector<std::pair<std::string, std::string>>;

const std::vector<std::string> kServices = {"https://one.test/", "https://two.test/json/", "https://three.test/json"};
const std::string kDownload = "https://down.test/__down?bytes=250000";
const std::string kGateway =
    "The residential gateway closed the connection while it was preparing. Please try again in a moment.";
const std::string kNoWorkingConnection = "The selected proxy could not establish a working connection.";
const std::string ns = "Not supplied";

struct Harness {
  testing::FakeCurl curl;
  platform::RecordingClock clock;
  ProxyValidator validator{clock, ValidationEndpoints{curl.path(), kServices, kDownload}};

  ManagerResult<MacProxyDiagnostic> diagnose(const std::string& protocol, const std::string& user = "",
                                             const std::string& password = "") {
    return validator.diagnose("gw.test", 1080, protocol, user, password);
  }
  // (proxy URL, endpoint) of every run; the speed run names the download URL.
  Attempts attempts() {
    Attempts out;
    for (const auto& run : curl.runs())
      out.emplace_back(*(std::find(run.begin(), run.end(), "--proxy") + 1), run.back());
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
  for (const auto& [protocol, urls] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"socks5", {"socks5h://gw.test:1080", "socks5://gw.test:1080"}}, {"http", {"http://gw.test:1080"}}}) {
    Harness h;
    EXPECT_EQ(failureText(h.diagnose(protocol)), "curl: (7) Failed to connect to proxy");
    Attempts expected;
    for (int pass = 0; pass < 5; ++pass)
      for (const auto& url : urls)
        for (const auto& service : kServices) expected.emplace_back(url, service);
    EXPECT_EQ(h.attempts(), expected) << protocol;
    EXPECT_EQ(h.clock.sleeps(), (std::vector<Ms>{1200ms, 1000ms, 1750ms, 2500ms, 3250ms})) << protocol;
  }
}

TEST(Diagnose, FinalErrorIsTheLastAttemptsUserFacingText) {
  struct Case {
    CurlReply everyRun;
    std::optional<CurlReply> lastRun;  // run 15 of the HTTP proxy's 15
    std::string text;                  // the failure's payload, as the user reads it
  };
  const CurlReply unresolved{6, "", "curl: (6) Could not resolve host"};
  const Case cases[] = {
      {{7, "", "\n curl: (7) Failed to connect\r\n"}, {}, "curl: (7) Failed to connect"},
      {{97, "", "curl: (97) connection to proxy closed\n"}, {}, kGateway},
      {{22, "", ""}, {}, kNoWorkingConnection},
      {{22, "", "curl: \xff\xfe broken"}, {}, kNoWorkingConnection},
      {{0, "<html>blocked</html>", ""}, {}, platform::json::parse("<html>blocked</html>").error().description},
      {unresolved, CurlReply{0, R"({"country":"X"})", ""}, unresolved.err},  // no address: the earlier error stays
      {unresolved, CurlReply{28, "", "curl: (28) Timeout"}, "curl: (28) Timeout"},
      // Left empty here; the error's own message then says the proxy did not work.
      {{0, R"({"ip":"  "})", ""}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Harness h;
    h.curl.replyByDefault(c.everyRun);
    if (c.lastRun) h.curl.reply(15, *c.lastRun);
    const std::string payload = failureText(h.diagnose("http"));
    EXPECT_EQ(payload, c.text);
    EXPECT_EQ(h.curl.runs().size(), 15u);
  }
  EXPECT_EQ(MacProxyError::validationFailed("").errorDescription(), kNoWorkingConnection);
}

TEST(Diagnose, ACurlThatCannotStartIsRetriedAndReportedWithThePlatformsText) {
  platform::RecordingClock clock;
  ProxyValidator validator(clock, ValidationEndpoints{"/nonexistent/curl", kServices, kDownload});
  auto direct = validator.runCurl("http://h:1", std::nullopt, kServices[0], 12);
  ASSERT_FALSE(direct);
  const auto* platformError = std::get_if<platform::Error>(&direct.error());
  ASSERT_NE(platformError, nullptr);
  EXPECT_FALSE(platformError->description.empty());
  EXPECT_EQ(failureText(validator.diagnose("h", 1, "socks5", "", "")), platformError->description);
  EXPECT_EQ(clock.sleeps().size(), 5u);
  EXPECT_EQ(validator.measureSpeed("http://h:1", std::nullopt), "Unavailable");
}

TEST(Diagnose, TheFirstAnswerWithAnAddressEndsItAtOnce) {
  struct Case {
    std::string protocol;
    std::map<int, CurlReply> replies;  // everything else fails
    Attempts attempts;
    std::vector<Ms> pauses;
  };
  const CurlReply answer{0, R"({"ip":"203.0.113.9"})", ""}, speed{0, "1500000.000", ""};
  const std::string h = "http://gw.test:1080", s5h = "socks5h://gw.test:1080", s5 = "socks5://gw.test:1080";
  const auto& [one, two, three] = std::tie(kServices[0], kServices[1], kServices[2]);
  const Case cases[] = {
      // The first answers without an address; the second is asked next.
      {"http", {{1, {0, R"({"city":"Oslo"})", ""}}, {2, answer}, {3, speed}}, {{h, one}, {h, two}, {h, kDownload}},
       {1200ms}},
      // SOCKS5 falls back to local resolution within the pass.
      {"socks5", {{4, answer}, {5, speed}}, {{s5h, one}, {s5h, two}, {s5h, three}, {s5, one}, {s5, kDownload}},
       {1200ms}},
      {"http", {{9, answer}, {10, speed}},
       {{h, one}, {h, two}, {h, three}, {h, one}, {h, two}, {h, three}, {h, one}, {h, two}, {h, three}, {h, kDownload}},
       {1200ms, 1000ms, 1750ms}},
  };
  for (const auto& c : cases) {
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
  const std::pair<std::string, MacProxyDiagnostic> cases[] = {  // speed aside
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
  for (auto [body, expected] : cases) {
    Harness h;
    h.curl.reply(1, {0, body, ""});
    h.curl.reply(2, {0, "200000000", ""});
    auto result = h.diagnose("https");
    ASSERT_TRUE(result) << failureText(result);
    expected.speed = "999.9 Mbps";
    EXPECT_EQ(*result, expected) << body;
  }
}

TEST(Diagnose, AnswersWithoutAUsableAddressAreSkipped) {
  for (const char* body : {R"({})", R"({"ip":""})", R"({"ip":" \n"})", R"({"ip":null})", R"({"ip":{"v4":"1.2.3.4"}})",
                           R"({"ip":["1.2.3.4"]})", R"({"IP":"1.2.3.4"})", R"("1.2.3.4")"}) {
    Harness h;
    h.curl.reply(1, {0, body, ""});
    h.curl.reply(2, {0, R"({"ip":"192.0.2.5"})", ""});
    auto result = h.diagnose("http");
    ASSERT_TRUE(result) << failureText(result);
    EXPECT_EQ(result->ip, "192.0.2.5") << body;
    EXPECT_EQ(h.curl.runs().size(), 3u) << body;  // two probes and the download
  }
}

TEST(Diagnose, CredentialsAndHostReachCurlAsOneUntouchedArgumentEach) {
  Harness h;
  const std::string canary = h.curl.canaryPath(), user = "a'; touch " + canary + "; '",
                    password = "$(touch " + canary + ")`touch " + canary + "`";
  h.curl.replyByDefault({0, R"({"ip":"192.0.2.1"})", ""});
  ASSERT_TRUE(h.diagnose("socks5", user, password));
  ASSERT_TRUE(h.diagnose("socks5", "", "secret"));  // a password alone is never sent
  const std::string host = "$(touch " + canary + ");`touch " + canary + "` 'x'";
  ASSERT_TRUE(h.validator.diagnose(host, 1080, "http", "", ""));
  EXPECT_EQ(h.curl.runs(), (std::vector<std::vector<std::string>>{
                               probeArguments("socks5h://gw.test:1080", user + ":" + password, kServices[0], 12),
                               speedArguments("socks5h://gw.test:1080", user + ":" + password, kDownload),
                               probeArguments("socks5h://gw.test:1080", std::nullopt, kServices[0], 12),
                               speedArguments("socks5h://gw.test:1080", std::nullopt, kDownload),
                               probeArguments("http://" + host + ":1080", std::nullopt, kServices[0], 12),
                               speedArguments("http://" + host + ":1080", std::nullopt, kDownload)}));
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
  for (const auto& [reply, text] : std::vector<std::pair<CurlReply, std::string>>{
           {{0, "1500000.000\n", "curl: (0) noise"}, "12.0 Mbps"},
           {{28, "52000.000", "curl: (28) Operation timed out after 10000 milliseconds"}, "Unavailable"},
           {{0, "fast", ""}, "Unavailable"}}) {
    Harness h;
    h.curl.replyByDefault(reply);
    EXPECT_EQ(h.validator.measureSpeed("socks4a://p:1", std::nullopt), text) << reply.out;
    EXPECT_EQ(h.curl.runs().at(0), speedArguments("socks4a://p:1", std::nullopt, kDownload));
  }
}

}  // namespace
}  // namespace tavlune::validation
