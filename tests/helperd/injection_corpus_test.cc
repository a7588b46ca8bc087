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

const std::string kBase = "/usr/sbin/networksetup -setwebproxystate 'Wi-Fi' off";
const std::string kTool = "/usr/sbin/networksetup";

std::vector<Attempt> handWritten() {
  return {
      // Separators.
      {kBase + "; touch {c}", true},
      {kBase + ";touch {c}", true},
      {kBase + " | touch {c}", true},
      {kBase + " |& touch {c}", true},
      {kBase + " || touch {c}", true},
      {kBase + " & touch {c}", true},
      {kBase + "\ntouch {c}", true},
      {kBase + ";\ntouch {c}", true},
      {kBase + " && touch {c}", false},
      {"touch {c}; " + kBase, true},
      {"touch {c} && " + kBase, true},
      {kTool + "; touch {c}", true},
      {kBase + "; (touch {c})", true},
      {kBase + "; { touch {c}; }", true},
      {kBase + " (touch {c})", false},
      {kBase + "\rtouch {c}", false},
      {kBase + "\vtouch {c}", false},
      {kBase + "\ftouch {c}", false},
      // Substitutions.
      {kTool + " -setwebproxystate $(touch {c}) off", true},
      {kTool + " -setwebproxystate `touch {c}` off", true},
      {kTool + " -setwebproxystate \"$(touch {c})\" off", true},
      {kTool + " -setwebproxystate \"`touch {c}`\" off", true},
      {kTool + " -setwebproxystate 'Wi-Fi'$(touch {c}) off", true},
      {kTool + " -setwebproxystate 'Wi-Fi' off$(touch {c})", true},
      {kTool + " -setwebproxystate <(touch {c}) off", true},
      {kTool + " -setwebproxystate >(touch {c}) off", true},
      {kTool + " -setwebproxystate ${IFS}$(touch {c}) off", true},
      {kTool + " -setwebproxystate $((0))$(touch {c}) off", true},
      {kTool + " -setwebproxystate \"'\"$(touch {c})\"'\" off", true},
      {kTool + " -setwebproxystate \"Wi-Fi$(touch {c})\" off", true},
      {kTool + " -setwebproxy 'W' 'h' $(touch {c}; echo 80) off", true},
      {kTool + " -setwebproxy 'W' 'h' 80 on 'u' \"$(touch {c})\"", true},
      {kTool + " -setwebproxystate $HOME off", false},
      {kTool + " -setwebproxystate ${PATH} off", false},
      {kTool + " -setwebproxystate $'Wi-Fi\\x27; touch {c}' off", false},
      // Quoting tricks.
      {kTool + " -setwebproxystate 'Wi-Fi'; touch {c}; echo '' off", true},
      {kTool + " -setwebproxystate 'Wi-Fi'\"'\"; touch {c}; \"'\"'' off", true},
      {kTool + " -setwebproxystate 'Wi-Fi'\"; touch {c}; \"'' off", false},
      {kTool + " -setwebproxystate 'Wi-Fi'\\''; touch {c}; '\\''' off", false},
      {kTool + " -setwebproxystate 'Wi-Fi off", false},
      {kTool + " -setwebproxystate 'Wi-Fi''; touch {c}", false},
      {kTool + " -setwebproxystate \"'\"'; touch {c}", false},
      {kTool + " -setwebproxystate \"\\\"; touch {c}; \\\"\" off", false},
      {kTool + " -setwebproxystate Wi\\ Fi off", false},
      {kBase + " \\", false},
      {kTool + " -setwebproxystate 'Wi-Fi' off \"", false},
      // Redirections.
      {kBase + " > {c}", true},
      {kBase + " >> {c}", true},
      {kBase + " 2> {c}", true},
      {kBase + " &> {c}", true},
      {kBase + " >| {c}", true},
      {kBase + ">{c}", true},
      {kTool + " -setwebproxystate 'Wi-Fi' off>{c}", true},
      {kTool + " -setwebproxystate 'Wi-Fi'>{c} off", true},
      {kBase + " < /etc/hostname", false},
      {kBase + " <<< x", false},
      {kBase + " 2>&1", false},
      // Globs, braces, tildes, comments, history.
      {kTool + " -setwebproxystate * off", false},
      {kTool + " -setwebproxystate /etc/host? off", false},
      {kTool + " -setwebproxystate [a-z]* off", false},
      {kTool + " -setwebproxystate {a,b} off", false},
      {kTool + " -setwebproxystate ~root off", false},
      {kTool + " -setproxybypassdomains 'Wi-Fi' *.local", false},
      {kTool + " -setproxybypassdomains 'Wi-Fi' +(a|b)", false},
      {kBase + " # comment", false},
      {kBase + " #; touch {c}", false},
      {kBase + " !!", false},
      {kBase + " !-1", false},
      // Shapes that name something other than the tool.
      {kTool + "/../../../usr/bin/touch {c}", false},
      {kTool + "x -setwebproxystate 'Wi-Fi' off", false},
      {"BASH_ENV={c} " + kBase, false},
      {"PATH=/tmp " + kBase, false},
      {"exec " + kBase, false},
      {kTool + " -getwebproxy 'Wi-Fi'", false},
      {kTool + " -setwebproxystate 'Wi-Fi' off " + kTool, false},
      {kBase + " && " + kTool + " -printcommands", false},
      // NUL and Unicode look-alikes.
      {kBase + std::string(1, '\0') + "; touch {c}", false},
      {kBase + "\uff1btouch {c}", false},                                   // fullwidth semicolon
      {kBase + "\u037etouch {c}", false},                                   // Greek question mark
      {kTool + " -setwebproxystate \uff04(touch {c}) off", false},          // fullwidth dollar
      {kBase + " \uff06\uff06 touch {c}", false},                           // fullwidth ampersands
      {kBase + " \uff5c touch {c}", false},                                 // fullwidth bar
      {kTool + "\u00a0-setwebproxystate 'Wi-Fi' off", false},               // no-break space
      {"\u2003" + kBase, false},                                            // em space first
      {kTool + " -setwebproxystate 'Wi-Fi'\u200boff", false},               // zero-width space
      {kTool + " -setwebproxystate \u02bcWi-Fi\u02bc off", false},          // modifier apostrophes
      {kTool + " -setwebproxystate \u2018Wi-Fi\u2019 off", false},          // curly quotes
      {kTool + " \u2013setwebproxystate 'Wi-Fi' off", false},               // en dash
      {kTool + " -setwebproxystate 'Wi-Fi' \u043eff", false},               // Cyrillic o
      {kBase + "\u2028touch {c}", false},                                   // line separator
      {kBase + "\u0085touch {c}", false},                                   // next line
      {"/usr/sbin/networksetu\u0440 -setwebproxystate 'Wi-Fi' off", false},  // Cyrillic p
      {kTool + " -setwebproxystate 'Wi-Fi' off\uff1e{c}", false},           // fullwidth greater-than
  };
}

// The same operators placed in each argument slot of the builders' lines.
std::vector<Attempt> generated() {
  const std::vector<std::string> payloads = {"; touch {c} #", "| touch {c} #", "|| touch {c} #",
                                             "& touch {c} #", "$(touch {c})",  "`touch {c}`",
                                             "> {c}",         "\ntouch {c} #", "<(touch {c})"};
  const std::vector<std::string> templates = {
      kTool + " -setwebproxy 'Wi-Fi' 'h'@ 80 off",
      kTool + " -setwebproxy 'Wi-Fi' 'h' 80@ off",
      kTool + " -setsecurewebproxy 'Wi-Fi' 'h' 80 on 'u' 'p'@",
      kTool + " -setproxybypassdomains 'Wi-Fi' localhost@ '*.local'",
      kTool + " -setautoproxyurl 'Wi-Fi'@ 'http://x/p.pac'",
  };
  std::vector<Attempt> out;
  for (const auto& t : templates)
    for (const auto& p : payloads) out.push_back({std::string(t).replace(t.find('@'), 1, p), true});
  return out;
}

std::string withCanary(std::string line, const std::string& canary) {
  for (auto at = line.find("{c}"); at != std::string::npos; at = line.find("{c}"))
    line.replace(at, 3, canary);
  return line;
}

TEST(InjectionCorpus, EveryAttemptIsRefusedAndNothingRuns) {
  TemporaryFolder folder;
  const std::string canary = folder / "canary";
  std::vector<Attempt> corpus = handWritten();
  for (auto& a : generated()) corpus.push_back(std::move(a));
  ASSERT_GE(corpus.size(), 100u);

  // Live ammunition: run directly, each line marked as acting does act.
  for (const auto& attempt : corpus) {
    if (!attempt.actsWhenRun) continue;
    (void)runCommandLine(withCanary(attempt.line, canary));
    EXPECT_TRUE(std::filesystem::exists(canary)) << "does not act when run: " << attempt.line;
    std::filesystem::remove(canary);
  }

  // The daemon, with the real shell behind it.
  RunningServer server(folder);
  for (const auto& attempt : corpus) {
    std::string line = withCanary(attempt.line, canary);
    EXPECT_EQ(server.exchange(commandLine(line)), invalidReply()) << line;
    EXPECT_FALSE(std::filesystem::exists(canary)) << "ran: " << line;
  }
}

}  // namespace
}  // namespace tavlune::helperd
