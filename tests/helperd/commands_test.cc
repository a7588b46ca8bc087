// The daemon's parts that need no socket: the strict command test, the runner, the --uid argument.
#include <gtest/gtest.h>
#include <fstream>
#include "helperd/command_runner.h"
#include "helperd/allowed_command_lines.h"
#include "helperd/uid_argument.h"
#include "tests/support/temp_dir.h"
namespace tavlune::helperd {
namespace {
const std::string kTool = "/usr/sbin/networksetup", t = kTool + " ", off = t + "-setwebproxystate 'Wi-Fi' off";

// The published prefix test and the daemon's strict test, side by side.
TEST(CommandTest, PublishedAndStrictTestsTogether) {
  struct Case {
    std::string line;
    bool prefixTest, allowed;
  };
  for (const Case& c : std::vector<Case>{
           {off, true, true}, {off + " && " + off, true, true}, {off + "&&" + off, true, true},
           {" \t" + off, true, true}, {off + " \t ", true, true}, {off + "  \t&&\t  " + off, true, true},
           {"\u00a0" + off, true, false},  // no-break space: trimmed by one test only
           {"\n" + off, false, false}, {off + " &&\n" + off, false, false},
           {"networksetup -setwebproxystate 'Wi-Fi' off", false, false}, {"/bin/sh -c true", false, false},
           {"", false, false}, {off + " &&", false, false}, {"&& " + off, false, false},
           {off + " &&& " + off, false, false}, {t + "-setwebproxystate 'A&&B' off", false, false},
           {kTool, true, false}, {kTool + "x -setwebproxystate 'Wi-Fi' off", true, false},
           {kTool + "/../../../bin/touch /tmp/x", true, false}, {t + "-getwebproxy 'Wi-Fi'", true, false},
           {t + "'-setwebproxystate' 'Wi-Fi' off", true, false}, {t + "-setwebproxystate 'Wi-Fi' maybe", true, false},
           {t + "-setwebproxystate 'Wi-Fi' 'off'", true, false}, {t + "-setwebproxystate 'Wi-Fi'", true, false},
           {t + "-setwebproxystate 'Wi-Fi' off off", true, false}, {t + "-setproxyautodiscovery 'Wi-Fi' on", true, true},
           {t + "-setwebproxy 'Wi-Fi' '10.0.0.2' 88 off", true, true}, {t + "-setsocksfirewallproxy 'W' 'h' -1 off", true, true},
           {t + "-setsecurewebproxy 'W' 'h' 443 on 'u' ''", true, true}, {t + "-setwebproxy 'W' 'h' '80' off", true, false},
           {t + "-setwebproxy 'W' 'h' 8o off", true, false}, {t + "-setwebproxy 'W' 'h' 12345678901234567890 off", true, false},
           {t + "-setwebproxy 'W' 'h' 80 on 'u'", true, false}, {t + "-setwebproxy 'W' 'h' 80 off 'u' 'p'", true, false},
           {t + "-setproxybypassdomains 'W' localhost 127.0.0.1 ::1 '*.local'", true, true},
           {t + "-setproxybypassdomains 'W' Empty", true, true}, {t + "-setproxybypassdomains 'W' *.local", true, false},
           {t + "-setproxybypassdomains 'W'", true, false}, {t + "-setautoproxyurl 'W' 'http://pac/x.pac?a=1&b=$2'", true, true},
           {t + "-setautoproxyurl 'W'", true, false}, {t + "-setwebproxystate 'Bob'\"'\"'s Wi-Fi' off", true, true},
           {t + "-setwebproxystate \"Wi-Fi\" off", true, false}, {t + "-setwebproxystate 'Wi-Fi off", true, false},
           {t + "-setwebproxystate 'Wi\nFi' off", true, true}, {t + "-setwebproxystate 'Wi-Fi'\noff", true, false},
           {t + "-setwebproxystate 'Wi" + std::string(1, '\0') + "Fi' off", true, false},
           {t + "-setwebproxystate 'Wi\xff' off", true, false}, {off + "; true", true, false},
           {t + "-setwebproxystate $HOME off", true, false}}) {
    EXPECT_EQ(passesPrefixTest(c.line), c.prefixTest) << c.line;
    EXPECT_EQ(isAllowedCommandLine(c.line), c.allowed) << c.line;
  }
}
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
TEST(UidArgument, Parsing) {
  const std::optional<uint32_t> none;
  for (const auto& [text, expected] : std::vector<std::pair<const char*, std::optional<uint32_t>>>{
           {"501", 501u}, {"+501", 501u}, {"0", 0u}, {"-0", 0u}, {"000501", 501u}, {"4294967295", 4294967295u},
           {"4294967296", none}, {"99999999999999999999", none}, {"-1", none}, {"", none}, {"+", none},
           {"++1", none}, {"+-0", none}, {" 501", none}, {"501 ", none}, {"0x1f5", none}, {"5\xd9\xa1", none}})
    EXPECT_EQ(parseUid(text), expected) << text;
}

TEST(UidArgument, FromTheProcessArguments) {
  for (const auto& [argv, expected] : std::vector<std::pair<std::vector<const char*>, uint32_t>>{
           {{"helper"}, kNoUser}, {{"helper", "--uid"}, kNoUser}, {{"helper", "--uid", "501"}, 501u},
           {{"helper", "--uid", "501", "--uid", "502"}, 501u}, {{"helper", "--uid", "letters", "--uid", "502"}, kNoUser},
           {{"helper", "--uid", "-5"}, kNoUser}, {{"--uid", "77"}, 77u},  // the program path is searched too
           {{"helper", "--uid=501"}, kNoUser}, {{"helper", "x", "--uid", "--uid", "3"}, kNoUser}})
    EXPECT_EQ(allowedUidFromArguments(static_cast<int>(argv.size()), argv.data()), expected) << argv.back();
}
}  // namespace
}  // namespace tavlune::helperd
