#include "helperd/command_runner.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helper_test_support.h"

namespace tavlune::helperd {
namespace {

struct RunCase {
  const char* name;
  std::string command;
  Outcome expected;
};

TEST(CommandRunner, ChoosesTheTextAndTheFlag) {
  const std::vector<RunCase> cases = {
      {"silent success", "true", {true, ""}},
      {"silent failure", "exit 3", {false, ""}},
      {"output only, failing", "printf '  out text \\n\\n'; exit 1", {false, "out text"}},
      {"both streams, failing", "echo out; echo ' err text ' >&2; exit 2", {false, "err text"}},
      {"error stream of blanks wins", "echo out; printf ' \\n' >&2; exit 2", {false, ""}},
      {"success keeps its text", "echo done", {true, "done"}},
      {"invalid UTF-8 output", "printf 'bad \\377 bytes'; exit 1", {false, ""}},
      {"invalid UTF-8 error, valid output", "echo fine; printf '\\300' >&2; exit 1", {false, ""}},
      {"UTF-8 kept", "printf 'caf\\303\\251 \\342\\200\\250'; exit 1", {false, "caf\u00e9"}},
      {"pieces stop at the first failure", "true && (echo first >&2; exit 5) && echo second", {false, "first"}},
      {"status of the failing piece", "false && true", {false, ""}},
      {"killed by a signal", "kill -KILL $$", {false, ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(runCommandLine(c.command), c.expected) << c.name;
}

TEST(CommandRunner, LaunchFailureIsDescribed) {
  Outcome outcome = runCommandLine("true", "/nonexistent/bash");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_NE(outcome.text.find("/nonexistent/bash"), std::string::npos) << outcome.text;
  EXPECT_NE(outcome.text.find("No such file or directory"), std::string::npos) << outcome.text;
}

TEST(CommandRunner, ChildWritingMegabytesOnBothStreamsFinishes) {
  // Each stream far beyond a pipe's buffer; a runner that waited before
  // draining would never return.
  Outcome outcome = runCommandLine(
      "head -c 8000000 /dev/zero | tr '\\0' a; head -c 8000000 /dev/zero | tr '\\0' b >&2; exit 1");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.text, std::string(kMaxOutcomeTextBytes, 'b'));
}

TEST(CommandRunner, LongTextIsBoundedAtACharacterBoundary) {
  struct Case {
    const char* name;
    std::string command;
    std::size_t expectedBytes;
  };
  // 3000 "é" are 6000 bytes; 5000 are 10000, cut to 8192 on a boundary (8192).
  for (const Case& c : {Case{"under the bound", "for i in $(seq 3000); do printf '\\303\\251'; done; exit 1", 6000},
                        Case{"over the bound", "for i in $(seq 5000); do printf '\\303\\251'; done; exit 1", 8192},
                        Case{"over, cut inside a character", "printf x; for i in $(seq 5000); do printf '\\303\\251'; done; exit 1",
                             8191}}) {
    Outcome outcome = runCommandLine(c.command);
    EXPECT_EQ(outcome.text.size(), c.expectedBytes) << c.name;
    EXPECT_LE(outcome.text.size(), kMaxOutcomeTextBytes) << c.name;
  }
}

TEST(CommandRunner, ChildGetsAFixedEnvironmentOnly) {
  testing::TemporaryFolder folder;
  const std::string canary = folder / "canary";
  const std::string script = folder / "bash_env";
  std::ofstream(script) << "touch '" << canary << "'\n";
  // Whatever the daemon was started with stays out of the root shell.
  ::setenv("BASH_ENV", script.c_str(), 1);
  ::setenv("TAVLUNE_LEAK", "1", 1);
  const std::string function = "() { touch '" + canary + "'; }";
  ::setenv("BASH_FUNC_true%%", function.c_str(), 1);
  Outcome outcome = runCommandLine("true; env | grep -v -E '^(PWD|SHLVL|_)=' | sort >&2; exit 1");
  ::unsetenv("BASH_ENV");
  ::unsetenv("TAVLUNE_LEAK");
  ::unsetenv("BASH_FUNC_true%%");
  EXPECT_EQ(outcome.text, "PATH=/usr/bin:/bin:/usr/sbin:/sbin");
  EXPECT_FALSE(std::filesystem::exists(canary));
}

}  // namespace
}  // namespace tavlune::helperd
