#include "platform/process/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tavlune::platform {
namespace {

std::string str(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

Result<ProcessResult> bash(const std::string& script, const ProcessOptions& options = {}) {
  return runProcess("/bin/bash", {"-c", script}, options);
}

TEST(Process, StatusAndStreamsAreKeptApart) {
  struct Case {
    std::string script;
    int status;
    bool signal;
    std::string out, err;
  };
  const Case cases[] = {
      {"echo out; echo err >&2", 0, false, "out\n", "err\n"},
      {"printf x; exit 3", 3, false, "x", ""},
      {"kill -TERM $$", SIGTERM, true, "", ""},
      {"cat", 0, false, "", ""},  // standard input is /dev/null, so this ends at once
  };
  for (const auto& c : cases) {
    auto r = bash(c.script);
    ASSERT_TRUE(r.has_value()) << c.script;
    EXPECT_EQ(r->terminationStatus, c.status) << c.script;
    EXPECT_EQ(r->endedBySignal, c.signal) << c.script;
    EXPECT_EQ(r->succeeded(), c.status == 0 && !c.signal) << c.script;
    EXPECT_EQ(str(r->standardOutput), c.out) << c.script;
    EXPECT_EQ(str(r->standardError), c.err) << c.script;
  }
}

TEST(Process, ArgumentsAreNeverShellText) {
  const std::string tricky = "a b; $(touch /tmp/process-test-pwned) `id` 'q' \"d\" *";
  auto r = runProcess("/usr/bin/printf", {"%s|", tricky, ""});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(str(r->standardOutput), tricky + "||");
  EXPECT_NE(access("/tmp/process-test-pwned", F_OK), 0);
}

TEST(Process, ChildWritingMegabytesToBothStreamsDoesNotStall) {
  // Far beyond a pipe's buffer on each stream, interleaved.
  auto r = bash("for i in $(seq 1 40); do head -c 100000 /dev/zero; head -c 100000 /dev/zero >&2; done");
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->standardOutput.size(), 4000000u);
  EXPECT_EQ(r->standardError.size(), 4000000u);
}

TEST(Process, CapturedOutputIsCappedButTheChildStillFinishes) {
  ProcessOptions options;
  options.maxCapturedBytes = 1000;
  auto r = bash("head -c 500000 /dev/zero; echo done >&2", options);
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->succeeded());
  EXPECT_EQ(r->standardOutput.size(), 1000u);
  EXPECT_EQ(str(r->standardError), "done\n");
}

TEST(Process, StandardInputReachesTheChildWhateverItDoesWithIt) {
  // Far beyond a socket's buffer, with bytes no text reader would keep.
  std::string big(4'000'000, 'x');
  big.replace(1000, 6, std::string("\0\r\n\xff\xc3\xbc", 6));
  struct Case {
    std::string script, input;
    std::string out;
  };
  const Case cases[] = {
      {"cat", big, big},                            // both directions full at once
      {"head -c 5", "hello world", "hello"},        // stops reading, then ends
      {"exit 0", big, ""},                          // ends without reading
      {"sleep 0.2; echo late", big, "late\n"},      // reads nothing until it ends
      {"exec 0<&-; sleep 0.2; echo shut", big, "shut\n"},  // shuts its input and goes on
      {"wc -c", "", "0\n"},                         // empty: the input ends at once
  };
  for (const auto& c : cases) {
    ProcessOptions options;
    options.standardInput = c.input;
    auto r = bash(c.script, options);  // a SIGPIPE here would end the test binary
    ASSERT_TRUE(r.has_value()) << c.script;
    EXPECT_TRUE(r->succeeded()) << c.script;
    EXPECT_TRUE(str(r->standardOutput) == c.out) << c.script << ": " << r->standardOutput.size() << " bytes";
  }
}

TEST(Process, EnvironmentIsReplacedWhenGiven) {
  ProcessOptions options;
  options.environment = std::vector<std::string>{"PATH=/usr/bin:/bin", "ONLY=this"};
  auto r = runProcess("/usr/bin/env", {}, options);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(str(r->standardOutput), "PATH=/usr/bin:/bin\nONLY=this\n");
}

TEST(Process, ChildInheritsNoDescriptorOfOurs) {
  // Deliberately without close-on-exec, and far from the numbers ls itself uses.
  int devNull = open("/dev/null", O_RDONLY);
  int leaked = fcntl(devNull, F_DUPFD, 100);
  close(devNull);
  ASSERT_GE(leaked, 100);
  auto r = bash("ls /proc/self/fd");
  close(leaked);
  ASSERT_TRUE(r.has_value());
  std::string fds = str(r->standardOutput);
  EXPECT_EQ(fds.find(std::to_string(leaked) + "\n"), std::string::npos) << fds;
}

TEST(Process, LaunchFailureIsAnErrorAndLeavesNoZombie) {
  auto r = runProcess("/nonexistent/program", {});
  ASSERT_FALSE(r.has_value());
  EXPECT_NE(r.error().description.find("/nonexistent/program"), std::string::npos);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(bash("true").has_value());
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // nothing left to reap
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace tavlune::platform
