// Attempt order, pauses, error texts and the field table, with a scripted curl
// stand-in (a real child process) and a recording clock: nothing is slept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "platform/dispatch/recording_clock.h"
#include "tests/support/temp_dir.h"
#include "validation/curl_arguments.h"
#include "validation/diagnostic_fields.h"
#include "validation/proxy_validator.h"

namespace tavlune::validation {
namespace {
using namespace std::chrono_literals;
using model::MacProxyDiagnostic;
using Attempts = std::vector<std::pair<std::string, std::string>>;
using Runs = std::vector<std::vector<std::string>>;

struct CurlReply { int status = 0; std::string out, err; };

const std::vector<std::string> kServices = {"https://one.test/", "https://two.test/json/", "https://three.test/json"};
const std::string kDownload = "https://down.test/__down?bytes=250000", ns = "Not supplied";
const std::string kNoWorkingConnection = "The selected proxy could not establish a working connection.";

// A curl stand-in that keeps each run's arguments and answers run n with reply.n, else reply.default.
struct Harness {
  tavlune::testing::TempDir dir;
  platform::RecordingClock clock;
  const std::string curl = dir.write("curl", "#!/bin/bash\nd='" + dir.path() + "'; n=$(ls \"$d\" | grep -c '^args\\.')\n"
      "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$d/args.$n\"\n"
      "r=\"$d/reply.$((n + 1))\"; [ -d \"$r\" ] || r=\"$d/reply.default\"\n"
      "cat \"$r/out\"; cat \"$r/err\" >&2; exit \"$(cat \"$r/status\")\"\n", true);
  ProxyValidator validator{clock, ValidationEndpoints{curl, kServices, kDownload}};

  explicit Harness(CurlReply byDefault = {7, "", "curl: (7) Failed to connect to proxy"}, std::map<int, CurlReply> replies = {}) {
    replies[0] = byDefault;
    for (const auto& [run, reply] : replies)
      for (const auto& [file, text] : {std::pair{"out", reply.out}, {"err", reply.err}, {"status", std::to_string(reply.status)}})
        dir.write((run ? "reply." + std::to_string(run) : "reply.default") + "/" + file, text);
  }
  auto diagnose(const std::string& protocol) { return validator.diagnose("gw.test", 1080, protocol, "", ""); }
  Runs runs() const {
    Runs all;
    for (std::ifstream in; (in = std::ifstream(dir.file("args." + std::to_string(all.size())), std::ios::binary));) {
      all.emplace_back();
      for (std::string argument; std::getline(in, argument, '\0');) all.back().push_back(argument);
    }
    return all;
  }
  // (proxy URL, endpoint) of every run; the speed run names the download URL.
  Attempts attempts() const {
    Attempts out;
    for (const auto& run : runs()) out.emplace_back(*(std::find(run.begin(), run.end(), "--proxy") + 1), run.back());
    return out;
  }
};

std::string failureText(const model::ManagerResult<MacProxyDiagnostic>& result) {
  const auto* error = result ? nullptr : std::get_if<model::MacProxyError>(&result.error());
  return error && error->kind() == model::MacProxyError::Kind::validationFailed ? error->payload() : "<no validation failure>";
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
    EXPECT_EQ(h.clock.sleeps(), (std::vector<std::chrono::milliseconds>{1200ms, 1000ms, 1750ms, 2500ms, 3250ms}));
  }
}

TEST(Diagnose, FinalErrorIsTheLastAttemptsUserFacingText) {
  const CurlReply unresolved{6, "", "curl: (6) Could not resolve host"};
  const std::tuple<CurlReply, std::map<int, CurlReply>, std::string> cases[] = {  // run 15 is the last of 15
      {{7, "", "\n curl: (7) Failed to connect\r\n"}, {}, "curl: (7) Failed to connect"},
      {{97, "", "curl: (97) connection to proxy closed\n"}, {},
       "The residential gateway closed the connection while it was preparing. Please try again in a moment."},
      {{22, "", ""}, {}, kNoWorkingConnection},
      {{22, "", "curl: \xff\xfe broken"}, {}, kNoWorkingConnection},
      {{0, "<html>blocked</html>", ""}, {}, platform::json::parse("<html>blocked</html>").error().description},
      {unresolved, {{15, {0, R"({"country":"X"})", ""}}}, unresolved.err},  // no address: the earlier error stays
      {unresolved, {{15, {28, "", "curl: (28) Timeout"}}}, "curl: (28) Timeout"},
      {{0, R"({"ip":"  "})", ""}, {}, ""}};  // the error's own message then says the proxy did not work
  for (const auto& [everyRun, lastRun, text] : cases) {
    Harness h(everyRun, lastRun);
    EXPECT_EQ(failureText(h.diagnose("http")), text);
    EXPECT_EQ(h.runs().size(), 15u) << text;
  }
  EXPECT_EQ(model::MacProxyError::validationFailed("").errorDescription(), kNoWorkingConnection);
}

TEST(Diagnose, TheFirstAnswerWithAnAddressEndsItAtOnce) {
  const CurlReply answer{0, R"({"ip":"203.0.113.9"})", ""}, speed{0, "1500000.000", ""};
  const std::string h = "http://gw.test:1080", s5h = "socks5h://gw.test:1080", s5 = "socks5://gw.test:1080";
  const auto& [one, two, three] = std::tie(kServices[0], kServices[1], kServices[2]);
  const std::tuple<std::string, std::map<int, CurlReply>, Attempts, std::vector<std::chrono::milliseconds>> cases[] = {
      // The first answers without an address; the second is asked next.
      {"http", {{1, {0, R"({"city":"Oslo"})", ""}}, {2, answer}, {3, speed}}, {{h, one}, {h, two}, {h, kDownload}}, {1200ms}},
      // SOCKS5 falls back to local resolution within the pass.
      {"socks5", {{4, answer}, {5, speed}}, {{s5h, one}, {s5h, two}, {s5h, three}, {s5, one}, {s5, kDownload}}, {1200ms}},
      {"http", {{4, answer}, {5, speed}}, {{h, one}, {h, two}, {h, three}, {h, one}, {h, kDownload}}, {1200ms, 1000ms}}};
  for (const auto& [protocol, replies, attempts, pauses] : cases) {
    Harness harness({7, "", "curl: (7) x"}, replies);
    auto result = harness.diagnose(protocol);
    ASSERT_TRUE(result) << failureText(result);
    EXPECT_EQ(result->ip + " " + result->speed, "203.0.113.9 12.0 Mbps");
    EXPECT_EQ(harness.attempts(), attempts);
    EXPECT_EQ(harness.clock.sleeps(), pauses);
  }
}

// A cancel ends the proof at once: a transfer under way is killed (this curl would
// sleep past the test's time limit), and none starts after one that failed.
TEST(Diagnose, ACancelStopsTheTransferUnderWayOrTheNextOne) {
  for (const bool duringTransfer : {true, false}) {
    Harness h;
    const std::string hang = h.dir.write("hang", "#!/bin/bash\ntouch '" + h.dir.path() + "/args.0'; exec sleep 600\n", true);
    ProxyValidator validator(h.clock, ValidationEndpoints{duringTransfer ? hang : h.curl, kServices, kDownload});
    platform::Cancellation cancellation;
    std::vector<std::pair<int, std::string>> told;
    ProofObserver observer{[&](int pass, const std::string& last) {
                             told.emplace_back(pass, last);
                             if (!last.empty()) cancellation.cancel();
                           }, &cancellation};
    std::thread canceller([&] {
      while (duringTransfer && !std::filesystem::exists(h.dir.file("args.0"))) std::this_thread::sleep_for(10ms);
      if (duringTransfer) cancellation.cancel();
    });
    EXPECT_EQ(failureText(validator.diagnose("gw.test", 1080, "http", "", "", observer)), model::kProofCancelledMessage);
    canceller.join();
    EXPECT_EQ(h.clock.sleeps(), std::vector<std::chrono::milliseconds>{1200ms});
    EXPECT_EQ(told, (duringTransfer ? decltype(told){{0, ""}} : decltype(told){{0, ""}, {0, "curl: (7) Failed to connect to proxy"}}));
    EXPECT_EQ(h.runs().size(), 1u);  // the hanging one marks its start as a run
  }
}

TEST(DiagnosticFields, FromTheAnswerWithTheirFallbacks) {
  using D = MacProxyDiagnostic;
  const std::pair<std::string, std::optional<D>> cases[] = {
      {R"({"ip":"203.0.113.7","country":"Germany","country_code":"de","region":"Hesse","city":"Frankfurt",
           "connection":{"isp":"Conn ISP"},"org":"Top Org","isp":"Top ISP"})",
       D{"203.0.113.7", "Germany", "DE", "Frankfurt", "Hesse", "Conn ISP", ""}},
      {R"({"ip":"1","country":"DE","region":"Berlin","city":"Berlin","org":"AS64500"})", D{"1", "DE", "", "Berlin", "Berlin", "AS64500", ""}},
      {R"({"ip":"1","country_name":"Canada","countryCode":"ca","state":"ON","isp":"ISP"})", D{"1", "Canada", "CA", ns, "ON", "ISP", ""}},
      {R"({"ip":3405803786})", D{"3405803786", ns, "", ns, ns, ns, ""}},
      {R"({"ip":1.5,"country_code":7})", D{"1.5", ns, "7", ns, ns, ns, ""}},
      {R"({"ip":" 2\n","country":"  ","country_name":"Norway","city":"\t","region":"","state":"Viken"})", D{"2", "Norway", "", ns, "Viken", ns, ""}},
      {R"({"ip":"x","country_code":"","countryCode":"no"})", D{"x", ns, "NO", ns, ns, ns, ""}},
      {R"({"ip":"x","connection":"Conn","org":"Org"})", D{"x", ns, "", ns, ns, "Org", ""}},
      {R"({"ip":"x","connection":{"isp":" "},"isp":"Top"})", D{"x", ns, "", ns, ns, "Top", ""}},
      {R"({"ip":"x","connection":{"isp":null},"org":null,"isp":"Top"})", D{"x", ns, "", ns, ns, "Top", ""}},
      {R"({"ip":"x","country":{"name":"Spain"},"city":["Madrid"]})", D{"x", ns, "", ns, ns, ns, ""}},
      {R"({})", {}}, {R"({"ip":""})", {}}, {R"({"ip":" \n"})", {}}, {R"({"ip":null})", {}}, {R"({"ip":{"v4":"1.2.3.4"}})", {}},
      {R"({"ip":["1.2.3.4"]})", {}}, {R"({"IP":"1.2.3.4"})", {}}, {R"("1.2.3.4")", {}}};
  for (const auto& [body, expected] : cases) EXPECT_EQ(diagnosticFromAnswer(platform::json::parse(body).value()), expected) << body;
}

TEST(RunCurl, OutputWholeAndASpeedOnlyFromACleanRun) {
  const std::string bytes("{\"ip\":\"1\"}\0\xff trailing\n", 20);
  auto result = Harness({0, bytes, "warnings go elsewhere"}).validator.runCurl("http://h:1", "u:p", "https://x.test/", 3);
  EXPECT_EQ(std::string(result.value().begin(), result.value().end()), bytes);
  for (const auto& [reply, text] : std::vector<std::pair<CurlReply, std::string>>{
           {{0, "1500000.000\n", "curl: (0) noise"}, "12.0 Mbps"},
           {{28, "52000.000", "curl: (28) Operation timed out after 10000 milliseconds"}, "Unavailable"},
           {{0, "fast", ""}, "Unavailable"}}) {
    Harness h(reply);
    EXPECT_EQ(h.validator.measureSpeed("socks4a://p:1", std::nullopt), text) << reply.out;
    EXPECT_EQ(h.runs(), Runs{speedArguments("socks4a://p:1", std::nullopt, kDownload)});
  }
}

TEST(RunCurl, ACurlThatCannotStartIsRetriedAndReportedWithThePlatformsText) {
  platform::RecordingClock clock;
  ProxyValidator missing(clock, ValidationEndpoints{"/nonexistent/curl", kServices, kDownload});
  auto direct = missing.runCurl("http://h:1", std::nullopt, kServices[0], 12);
  const auto* platformError = direct ? nullptr : std::get_if<platform::Error>(&direct.error());
  ASSERT_TRUE(platformError && !platformError->description.empty());
  EXPECT_EQ(failureText(missing.diagnose("h", 1, "socks5", "", "")), platformError->description);
  EXPECT_EQ(clock.sleeps().size(), 5u);
  EXPECT_EQ(missing.measureSpeed("http://h:1", std::nullopt), "Unavailable");
}

}  // namespace
}  // namespace tavlune::validation
