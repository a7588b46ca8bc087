// Lines that try to make the root shell do more than set a proxy. Each must be
// refused over the socket and none may run; where bash would act on a line
// if it were run, the test first proves that by running it directly.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helper_test_support.h"
#include "helperd/command_runner.h"

namespace tavlune::helperd {
namespace {

using namespace testing;

struct Attempt {
  std::string line;  // "{c}" stands for the canary's path
  bool actsWhenRun;  // bash run on the line makes the canary
};

const std::string kTool = "/usr/sbin/networksetup", kBase = kTool + " -setwebproxystate 'Wi-Fi' off",
                  kState = kTool + " -setwebproxystate ";

std::vector<Attempt> corpus() {
  std::vector<Attempt> out = {
      // Separators.
      {kBase + "; touch {c}", true}, {kBase + ";touch {c}", true}, {kBase + " | touch {c}", true},
      {kBase + " |& touch {c}", true}, {kBase + " || touch {c}", true}, {kBase + " & touch {c}", true},
      {kBase + "\ntouch {c}", true}, {kBase + ";\ntouch {c}", true}, {kBase + " && touch {c}", false},
      {"touch {c}; " + kBase, true}, {"touch {c} && " + kBase, true}, {kTool + "; touch {c}", true},
      {kBase + "; (touch {c})", true}, {kBase + "; { touch {c}; }", true}, {kBase + " (touch {c})", false},
      {kBase + "\rtouch {c}", false}, {kBase + "\vtouch {c}", false}, {kBase + "\ftouch {c}", false},
      // Substitutions.
      {kState + "$(touch {c}) off", true}, {kState + "`touch {c}` off", true},
      {kState + "\"$(touch {c})\" off", true}, {kState + "\"`touch {c}`\" off", true},
      {kState + "'Wi-Fi'$(touch {c}) off", true}, {kState + "'Wi-Fi' off$(touch {c})", true},
      {kState + "<(touch {c}) off", true}, {kState + ">(touch {c}) off", true},
      {kState + "${IFS}$(touch {c}) off", true}, {kState + "$((0))$(touch {c}) off", true},
      {kState + "\"'\"$(touch {c})\"'\" off", true}, {kState + "\"Wi-Fi$(touch {c})\" off", true},
      {kTool + " -setwebproxy 'W' 'h' $(touch {c}; echo 80) off", true},
      {kTool + " -setwebproxy 'W' 'h' 80 on 'u' \"$(touch {c})\"", true},
      {kState + "$HOME off", false}, {kState + "${PATH} off", false},
      {kState + "$'Wi-Fi\\x27; touch {c}' off", false},
      // Quoting tricks.
      {kState + "'Wi-Fi'; touch {c}; echo '' off", true},
      {kState + "'Wi-Fi'\"'\"; touch {c}; \"'\"'' off", true},
      {kState + "'Wi-Fi'\"; touch {c}; \"'' off", false},
      {kState + "'Wi-Fi'\\''; touch {c}; '\\''' off", false},
      {kState + "'Wi-Fi off", false}, {kState + "'Wi-Fi''; touch {c}", false},
      {kState + "\"'\"'; touch {c}", false}, {kState + "\"\\\"; touch {c}; \\\"\" off", false},
      {kState + "Wi\\ Fi off", false}, {kBase + " \\", false}, {kState + "'Wi-Fi' off \"", false},
      // Redirections.
      {kBase + " > {c}", true}, {kBase + " >> {c}", true}, {kBase + " 2> {c}", true}, {kBase + " &> {c}", true},
      {kBase + " >| {c}", true}, {kBase + ">{c}", true}, {kState + "'Wi-Fi' off>{c}", true},
      {kState + "'Wi-Fi'>{c} off", true}, {kBase + " < /etc/hostname", false}, {kBase + " <<< x", false},
      {kBase + " 2>&1", false},
      // Globs, braces, tildes, comments, history.
      {kState + "* off", false}, {kState + "/etc/host? off", false}, {kState + "[a-z]* off", false},
      {kState + "{a,b} off", false}, {kState + "~root off", false},
      {kTool + " -setproxybypassdomains 'Wi-Fi' *.local", false},
      {kTool + " -setproxybypassdomains 'Wi-Fi' +(a|b)", false}, {kBase + " # comment", false},
      {kBase + " #; touch {c}", false}, {kBase + " !!", false}, {kBase + " !-1", false},
      // Shapes that name something other than the tool.
      {kTool + "/../../../usr/bin/touch {c}", false}, {kTool + "x -setwebproxystate 'Wi-Fi' off", false},
      {"BASH_ENV={c} " + kBase, false}, {"PATH=/tmp " + kBase, false}, {"exec " + kBase, false},
      {kTool + " -getwebproxy 'Wi-Fi'", false}, {kState + "'Wi-Fi' off " + kTool, false},
      {kBase + " && " + kTool + " -printcommands", false},
      // NUL, and look-alikes: fullwidth ; $ && | >, Greek question mark, no-break, em and zero-width
      // spaces, modifier apostrophes, curly quotes, en dash, Cyrillic o and p, line separator, next line.
      {kBase + std::string(1, '\0') + "; touch {c}", false}, {kBase + "\uff1btouch {c}", false},
      {kBase + "\u037etouch {c}", false}, {kState + "\uff04(touch {c}) off", false},
      {kBase + " \uff06\uff06 touch {c}", false}, {kBase + " \uff5c touch {c}", false},
      {kTool + "\u00a0-setwebproxystate 'Wi-Fi' off", false}, {"\u2003" + kBase, false},
      {kState + "'Wi-Fi'\u200boff", false}, {kState + "\u02bcWi-Fi\u02bc off", false},
      {kState + "\u2018Wi-Fi\u2019 off", false}, {kTool + " \u2013setwebproxystate 'Wi-Fi' off", false},
      {kState + "'Wi-Fi' \u043eff", false}, {kBase + "\u2028touch {c}", false}, {kBase + "\u0085touch {c}", false},
      {"/usr/sbin/networksetu\u0440 -setwebproxystate 'Wi-Fi' off", false},
      {kState + "'Wi-Fi' off\uff1e{c}", false},
  };
  // The same operators placed in each argument slot of the builders' lines.
  for (const std::string& t : {kTool + " -setwebproxy 'Wi-Fi' 'h'@ 80 off", kTool + " -setwebproxy 'Wi-Fi' 'h' 80@ off",
                              kTool + " -setsecurewebproxy 'Wi-Fi' 'h' 80 on 'u' 'p'@",
                              kTool + " -setproxybypassdomains 'Wi-Fi' localhost@ '*.local'",
                              kTool + " -setautoproxyurl 'Wi-Fi'@ 'http://x/p.pac'"})
    for (const char* p : {"; touch {c} #", "| touch {c} #", "|| touch {c} #", "& touch {c} #", "$(touch {c})",
                          "`touch {c}`", "> {c}", "\ntouch {c} #", "<(touch {c})"})
      out.push_back({std::string(t).replace(t.find('@'), 1, p), true});
  return out;
}

std::string withCanary(std::string line, const std::string& canary) {
  for (auto at = line.find("{c}"); at != std::string::npos; at = line.find("{c}")) line.replace(at, 3, canary);
  return line;
}

TEST(InjectionCorpus, EveryAttemptIsRefusedAndNothingRuns) {
  TempDir folder;
  const std::string canary = folder / "canary";
  const std::vector<Attempt> attempts = corpus();
  ASSERT_GE(attempts.size(), 100u);
  // Live ammunition: run directly, each line marked as acting does act.
  for (const auto& attempt : attempts) {
    if (!attempt.actsWhenRun) continue;
    (void)runCommandLine(withCanary(attempt.line, canary));
    EXPECT_TRUE(std::filesystem::exists(canary)) << "does not act when run: " << attempt.line;
    std::filesystem::remove(canary);
  }
  // The daemon, with the real shell behind it.
  RunningServer server(folder);
  for (const auto& attempt : attempts) {
    std::string line = withCanary(attempt.line, canary);
    EXPECT_EQ(server.exchange(commandLine(line)), invalidReply()) << line;
    EXPECT_FALSE(std::filesystem::exists(canary)) << "ran: " << line;
  }
}

}  // namespace
}  // namespace tavlune::helperd
