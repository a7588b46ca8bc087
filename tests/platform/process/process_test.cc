#include "platform/process/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <thread>

#include "platform/dispatch/clock.h"

namespace tavlune::platform {
namespace {

std::string str(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
Result<ProcessResult> bash(const std::string& script, ProcessOptions options = {}, std::string input = "") {
  if (!input.empty()) options.standardInput = std::move(input);  // else /dev/null
  return runProcess("/bin/bash", {"-c", script}, options);
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
  EXPECT_EQ(str(r.value().standardOutput).find(std::to_string(leaked) + "\n"), std::string::npos);
  ProcessOptions passing;  // one given on purpose arrives as 3, and only as 3
  passing.inheritedDescriptor = leaked;
  EXPECT_EQ(str(bash("readlink /proc/self/fd/3; ls /proc/self/fd", passing).value().standardOutput), "/dev/null\n0\n1\n2\n3\n4\n");
  ::close(leaked);
  auto missing = runProcess("/nonexistent/program", {});
  ASSERT_FALSE(missing.has_value());
  EXPECT_NE(missing.error().description.find("/nonexistent/program"), std::string::npos);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(bash("true").has_value());
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);  // nothing left to reap
  EXPECT_EQ(errno, ECHILD);
}

// A cancel from another thread ends a pause of the system clock and a running
// child at once (either would otherwise outlast the test's time limit).
TEST(Cancellation, EndsAPauseAndAChild) {
  for (bool child : {false, true}) {
    Cancellation cancellation;
    std::thread canceller([&] { std::this_thread::sleep_for(std::chrono::milliseconds(100)), cancellation.cancel(); });
    if (child) {
      ProcessOptions options;
      options.cancellation = &cancellation;
      auto r = runProcess("/bin/sleep", {"600"}, options);
      EXPECT_TRUE(r && r->endedBySignal && r->terminationStatus == SIGKILL);
    } else {
      EXPECT_FALSE(SystemClock().sleepUnlessCancelled(std::chrono::seconds(600), cancellation));
    }
    canceller.join();
  }
}

}  // namespace
}  // namespace tavlune::platform
