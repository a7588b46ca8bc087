#include "platform/process/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace tavlune::platform {
namespace {

std::string str(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
Result<ProcessResult> bash(const std::string& script, ProcessOptions options = {}, std::string input = "") {
  if (!input.empty()) options.standardInput = std::move(input);  // else /dev/null
  return runProcess("/bin/bash", {"-c", script}, options);
}

// Status and streams kept apart; standard input reaches the child whatever it does with it (a SIGPIPE
// here would end the test program), and far beyond a pipe's buffer both ways at once.
TEST(Process, StatusStreamsAndInput) {
  std::string big(4'000'000, 'x');
  big.replace(1000, 6, std::string("\0\r\n\xff\xc3\xbc", 6));
  const std::tuple<std::string, std::string, int, bool, std::string, std::string> cases[] = {
      {"echo out; echo err >&2", "", 0, false, "out\n", "err\n"},
      {"printf x; exit 3", "", 3, false, "x", ""},
      {"kill -TERM $$", "", SIGTERM, true, "", ""},
      {"cat", big, 0, false, big, ""},
      {"head -c 5", "hello world", 0, false, "hello", ""},  // stops reading, then ends
      {"sleep 0.2; echo late", big, 0, false, "late\n", ""},  // reads nothing until it ends
      {"exec 0<&-; sleep 0.2; echo shut", big, 0, false, "shut\n", ""},
      {"wc -c", "", 0, false, "0\n", ""},  // /dev/null
      {"for i in $(seq 1 40); do head -c 100000 /dev/zero; head -c 100000 /dev/zero >&2; done", "", 0, false,
       std::string(4'000'000, '\0'), std::string(4'000'000, '\0')},
  };
  for (const auto& [script, input, status, signal, out, err] : cases) {
    auto r = bash(script, {}, input);
    ASSERT_TRUE(r.has_value()) << script;
    EXPECT_EQ(r->terminationStatus, status) << script;
    EXPECT_EQ(r->endedBySignal, signal) << script;
    EXPECT_EQ(r->succeeded(), status == 0 && !signal) << script;
    EXPECT_TRUE(str(r->standardOutput) == out) << script << ": " << r->standardOutput.size() << " bytes";
    EXPECT_TRUE(str(r->standardError) == err) << script;
  }
}

TEST(Process, ArgumentsEnvironmentAndCapturedBytesAreAsGiven) {
  const std::string tricky = "a b; $(touch /tmp/process-test-pwned) `id` 'q' \"d\" *";
  auto r = runProcess("/usr/bin/printf", {"%s|", tricky, ""});
  EXPECT_EQ(str(r.value().standardOutput), tricky + "||");
  EXPECT_NE(::access("/tmp/process-test-pwned", F_OK), 0);
  ProcessOptions options;
  options.environment = std::vector<std::string>{"PATH=/usr/bin:/bin", "ONLY=this"};
  EXPECT_EQ(str(runProcess("/usr/bin/env", {}, options).value().standardOutput), "PATH=/usr/bin:/bin\nONLY=this\n");
  options = {};
  options.maxCapturedBytes = 1000;  // capped, but the child still finishes
  r = bash("head -c 500000 /dev/zero; echo done >&2", options);
  EXPECT_TRUE(r.value().succeeded());
  EXPECT_EQ(r->standardOutput.size(), 1000u);
  EXPECT_EQ(str(r->standardError), "done\n");
}

TEST(Process, ChildInheritsNoDescriptorAndLeavesNoZombie) {
  int leaked = ::fcntl(::open("/dev/null", O_RDONLY), F_DUPFD, 100);  // without close-on-exec, far from ls's own
  ASSERT_GE(leaked, 100);
  auto r = bash("ls /proc/self/fd");
  ::close(leaked);
  EXPECT_EQ(str(r.value().standardOutput).find(std::to_string(leaked) + "\n"), std::string::npos);
  auto missing = runProcess("/nonexistent/program", {});
  ASSERT_FALSE(missing.has_value());
  EXPECT_NE(missing.error().description.find("/nonexistent/program"), std::string::npos);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(bash("true").has_value());
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);  // nothing left to reap
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace tavlune::platform
