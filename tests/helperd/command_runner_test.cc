#include "helperd/command_runner.h"

#include <stdlib.h>

#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace tavlune::helperd {
namespace {

TEST(CommandRunner, ChoosesTheTextAndTheFlag) {
  for (const auto& [command, expected] : std::vector<std::pair<const char*, Outcome>>{
           {"true", {true, ""}}, {"exit 3", {false, ""}},
           {"printf '  out text \\n\\n'; exit 1", {false, "out text"}},             // output, trimmed
           {"echo out; echo ' err text ' >&2; exit 2", {false, "err text"}},       // the error stream first
           {"echo out; printf ' \\n' >&2; exit 2", {false, ""}},                   // even when blank
           {"echo done", {true, "done"}},                                          // success keeps its text
           {"printf 'bad \\377 bytes'; exit 1", {false, ""}},                      // not UTF-8
           {"echo fine; printf '\\300' >&2; exit 1", {false, ""}},                 // chosen stream not UTF-8
           {"printf 'caf\\303\\251 \\342\\200\\250'; exit 1", {false, "caf\u00e9"}},  // U+2028 trimmed
           {"kill -KILL $$", {false, ""}}, {"cat; echo read", {true, "read"}}})    // input is ended
    EXPECT_EQ(runCommandLine(command), expected) << command;
}

TEST(CommandRunner, LongTextIsBoundedAtACharacterBoundary) {
  // 3000 "é" are 6000 bytes; 5000 are 10000, cut to 8192, or to 8191 after one ASCII byte.
  const std::string e5000 = "for i in $(seq 5000); do printf '\\303\\251'; done; exit 1",
                    mebibyteOfA = "{ head -c 1048576 /dev/zero | tr '\\0' a; printf '\\377'; } >&2; exit 1";
  for (const auto& [command, bytes] : std::vector<std::pair<std::string, std::size_t>>{
           {"for i in $(seq 3000); do printf '\\303\\251'; done; exit 1", 6000}, {e5000, 8192}, {"printf x; " + e5000, 8191},
           // Past the capture limit the kept bytes end inside an "é": that half is dropped, not the text.
           {"{ printf x; yes \"$(printf '\\303\\251')\" | tr -d '\\n' | head -c 1200000; } >&2; exit 1", 8191},
           // A bad byte just past the 1 MiB kept is never seen; inside it (and not a cut tail) it spoils the text.
           {mebibyteOfA, 8192}, {"{ head -c 1048572 /dev/zero | tr '\\0' a; printf '\\377aaaa'; } >&2; exit 1", 0}})
    EXPECT_EQ(runCommandLine(command).text.size(), bytes) << command;
}

TEST(CommandRunner, ChildGetsAFixedEnvironmentOnly) {
  tavlune::testing::TempDir folder;
  const std::string canary = folder / "canary", script = folder.write("bash_env", "touch '" + canary + "'\n");
  // Whatever the daemon was started with stays out of the root shell.
  ::setenv("BASH_ENV", script.c_str(), 1);
  ::setenv("TAVLUNE_LEAK", "1", 1);
  ::setenv("BASH_FUNC_true%%", ("() { touch '" + canary + "'; }").c_str(), 1);
  Outcome outcome = runCommandLine("true; env | grep -v -E '^(PWD|SHLVL|_)=' | sort >&2; exit 1");
  for (const char* name : {"BASH_ENV", "TAVLUNE_LEAK", "BASH_FUNC_true%%"}) ::unsetenv(name);
  EXPECT_EQ(outcome.text, "PATH=/usr/bin:/bin:/usr/sbin:/sbin");
  EXPECT_FALSE(std::filesystem::exists(canary));
}

}  // namespace
}  // namespace tavlune::helperd
