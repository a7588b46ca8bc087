#include <gtest/gtest.h>
#include <signal.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include "platform/process/process.h"
#include "tests/support/temp_dir.h"
namespace {
using namespace std::chrono_literals;
const std::string kTarget = "system/com.tavlune.test";

class LaunchctlTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TAVLUNE_SIM_LAUNCHD_DIR", (temp_ / "launchd").c_str(), 1); }
  void TearDown() override { launchctl({"bootout", kTarget}); }
  std::pair<int, std::string> launchctl(const std::vector<std::string>& arguments) {
    auto r = tavlune::platform::runProcess(LAUNCHCTL_PATH, arguments);
    if (!r) return {-1, r.error().description};
    return {r->terminationStatus, std::string(r->standardError.begin(), r->standardError.end())};
  }
  // The job's program notes each start, then waits to be stopped (ignoring SIGTERM if stubborn).
  std::string job(bool startsAndStays, const std::string& label = "com.tavlune.test", bool stubborn = false) {
    const std::string program = temp_.write(
        "job.sh", "#!/bin/bash\necho $$ >> " + temp_ / "starts" + (stubborn ? "\ntrap '' TERM" : "") + "\nexec sleep 1000\n", true);
    const std::string flag = startsAndStays ? "<true/>" : "<false/>";
    return temp_.write(label + ".plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                       "<key>Label</key><string>" + label + "</string><key>ProgramArguments</key><array><string>" +
                       (label == "com.tavlune.relative" ? "job.sh" : program) + "</string><string>--uid</string>"
                       "<string>501</string></array><key>RunAtLoad</key>" + flag + "<key>KeepAlive</key>" + flag +
                       "</dict></plist>\n");
  }
  std::vector<pid_t> starts(std::size_t atLeast = 0) {  // waits up to five seconds for that many
    std::vector<pid_t> pids;
    for (int i = 0; i < 250 && (i == 0 || pids.size() < atLeast); ++i, std::this_thread::sleep_for(20ms)) {
      pids.clear();
      std::ifstream file(temp_ / "starts");
      for (pid_t pid; file >> pid;) pids.push_back(pid);
    }
    return pids;
  }
  static bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string p, name, state;
    return (stat >> p >> name >> state) && state != "Z";
  }
  tavlune::testing::TempDir temp_;
};

TEST_F(LaunchctlTest, KeepsTheJobAliveUntilBootedOut) {
  ASSERT_EQ(launchctl({"bootstrap", "system", job(true, "com.tavlune.test", true)}).first, 0);
  ASSERT_EQ(starts(1).size(), 1u);
  kill(starts()[0], SIGKILL);  // the program dies; the job stays loaded
  ASSERT_EQ(starts(2).size(), 2u);
  const pid_t second = starts()[1];
  EXPECT_TRUE(running(second));
  // A program that ignores SIGTERM is killed after the grace period.
  ASSERT_EQ(launchctl({"bootout", kTarget}).first, 0);
  for (int i = 0; i < 100 && running(second); ++i) std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(running(second));
  std::this_thread::sleep_for(700ms);  // longer than the restart throttle
  EXPECT_EQ(starts().size(), 2u);
  EXPECT_EQ(launchctl({"bootout", kTarget}), std::pair(3, std::string("Boot-out failed: 3: No such process\n")));
}

// A program that dies leaves a child of its process group behind: ended with
// it, as launchd does by default, unless the job abandons its group.
TEST_F(LaunchctlTest, WhatTheProgramLeavesInItsGroupEndsWithIt) {
  for (bool abandons : {false, true}) {
    const std::string program = temp_.write("group.sh", "#!/bin/bash\nsleep 1000 &\necho $! > " + temp_ / "left" +
                                                            "\necho $$ >> " + temp_ / "starts" + "\nexec sleep 1000\n", true);
    std::filesystem::remove(temp_ / "starts");
    ASSERT_EQ(launchctl({"bootstrap", "system", temp_.write("group.plist", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict>"
        "<key>Label</key><string>com.tavlune.test</string><key>ProgramArguments</key><array><string>" + program +
        "</string></array><key>KeepAlive</key><true/><key>AbandonProcessGroup</key>" + (abandons ? "<true/>" : "<false/>") +
        "</dict></plist>\n")}).first, 0);
    ASSERT_EQ(starts(1).size(), 1u);
    pid_t left = 0;
    std::ifstream(temp_ / "left") >> left;
    kill(starts()[0], SIGKILL);
    ASSERT_EQ(starts(2).size(), 2u) << "restarted";
    for (int i = 0; i < 100 && running(left); ++i) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(running(left), abandons) << abandons;
    ASSERT_EQ(launchctl({"bootout", kTarget}).first, 0);
    if (abandons) kill(left, SIGKILL);
  }
}

// A job loaded without RunAtLoad or KeepAlive: nothing starts, and its label is taken until it is booted out.
TEST_F(LaunchctlTest, LoadedJobWithoutStarts) {
  const std::string file = job(false);
  ASSERT_EQ(launchctl({"bootstrap", "system", file}).first, 0);
  EXPECT_EQ(launchctl({"print", kTarget}).first, 0);
  auto [status, error] = launchctl({"bootstrap", "system", file});
  EXPECT_EQ(std::pair(status, error.substr(0, 40)), std::pair(5, std::string("Bootstrap failed: 5: Input/output error\n")));
  EXPECT_EQ(launchctl({"bootout", kTarget}).first, 0);
  EXPECT_EQ(launchctl({"print", kTarget}).first, 113);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(starts().empty());
}
TEST_F(LaunchctlTest, BadRequestsChangeNothing) {
  for (const auto& [arguments, status] : std::initializer_list<std::pair<std::vector<std::string>, int>>{
           {{"bootstrap", "system", temp_.write("broken.plist", "not a plist")}, 5},
           {{"bootstrap", "system", temp_ / "missing.plist"}, 5}, {{"bootstrap", "system", job(true, "../escape")}, 5},
           {{"bootstrap", "system", job(true, "com.tavlune.relative")}, 5}, {{"bootstrap", "user", job(true)}, 64},
           {{"bootout", "system/../x"}, 64}, {{"kickstart", kTarget}, 64}})
    EXPECT_EQ(launchctl(arguments).first, status) << arguments[0] << " " << arguments.back();
  EXPECT_EQ(launchctl({"bootout", "gui/501/x"}), std::pair(64, std::string("Unrecognized target specifier: gui/501/x\n")));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(starts().empty());
}
}  // namespace
