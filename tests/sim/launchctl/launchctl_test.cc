#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/process/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

class LaunchctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TAVLUNE_SIM_LAUNCHD_DIR", (dir_ + "/launchd").c_str(), 1);
    // The job's program notes each start and then waits to be stopped.
    program_ = temp_.write("job.sh", "#!/bin/bash\necho $$ >> " + dir_ + "/starts\nexec sleep 1000\n", true);
  }
  void TearDown() override { launchctl({"bootout", "system/com.tavlune.test"}); }

  struct Outcome {
    int status;
    std::string error;
  };
  Outcome launchctl(const std::vector<std::string>& arguments) {
    auto r = tavlune::platform::runProcess(LAUNCHCTL_PATH, arguments);
    if (!r) return {-1, r.error().description};
    return {r->terminationStatus, std::string(r->standardError.begin(), r->standardError.end())};
  }

  std::string jobFile(const std::string& label, bool runAtLoad, bool keepAlive, const std::string& program = "") {
    std::string path = dir_ + "/" + label + ".plist";
    std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                        << "  <key>Label</key>\n  <string>" << label << "</string>\n"
                        << "  <key>ProgramArguments</key>\n  <array>\n    <string>"
                        << (program.empty() ? program_ : program) << "</string>\n    <string>--uid</string>\n"
                        << "    <string>501</string>\n  </array>\n"
                        << "  <key>RunAtLoad</key>\n  <" << (runAtLoad ? "true" : "false") << "/>\n"
                        << "  <key>KeepAlive</key>\n  <" << (keepAlive ? "true" : "false") << "/>\n"
                        << "</dict>\n</plist>\n";
    return path;
  }

  std::vector<pid_t> starts() {
    std::ifstream file(dir_ + "/starts");
    std::vector<pid_t> pids;
    for (pid_t pid; file >> pid;) pids.push_back(pid);
    return pids;
  }
  // Waits up to five seconds for the program to have started n times.
  bool waitForStarts(std::size_t n) {
    for (int i = 0; i < 250 && starts().size() < n; ++i) std::this_thread::sleep_for(20ms);
    return starts().size() >= n;
  }
  static bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string p, name, state;
    return (stat >> p >> name >> state) && state != "Z";
  }

  tavlune::testing::TempDir temp_;
  std::string dir_ = temp_.path(), program_;
};

TEST_F(LaunchctlTest, KeepsTheJobAliveUntilBootedOut) {
  ASSERT_EQ(launchctl({"bootstrap", "system", jobFile("com.tavlune.test", true, true)}).status, 0);
  ASSERT_TRUE(waitForStarts(1));
  pid_t first = starts()[0];

  kill(first, SIGKILL);  // the program dies; the job stays loaded
  ASSERT_TRUE(waitForStarts(2));
  pid_t second = starts()[1];
  EXPECT_NE(second, first);
  EXPECT_TRUE(running(second));

  ASSERT_EQ(launchctl({"bootout", "system/com.tavlune.test"}).status, 0);
  for (int i = 0; i < 100 && running(second); ++i) std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(running(second));
  std::this_thread::sleep_for(700ms);  // longer than the restart throttle
  EXPECT_EQ(starts().size(), 2u);

  auto again = launchctl({"bootout", "system/com.tavlune.test"});
  EXPECT_EQ(again.status, 3);
  EXPECT_EQ(again.error, "Boot-out failed: 3: No such process\n");
}

TEST_F(LaunchctlTest, SecondBootstrapOfALoadedLabelFailsAndLeavesTheFirstRunning) {
  std::string job = jobFile("com.tavlune.test", true, true);
  ASSERT_EQ(launchctl({"bootstrap", "system", job}).status, 0);
  ASSERT_TRUE(waitForStarts(1));
  auto second = launchctl({"bootstrap", "system", job});
  EXPECT_EQ(second.status, 5);
  EXPECT_EQ(second.error.rfind("Bootstrap failed: 5: Input/output error\n", 0), 0u);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(starts().size(), 1u);
  EXPECT_TRUE(running(starts()[0]));
}

TEST_F(LaunchctlTest, WithoutRunAtLoadOrKeepAliveNothingStartsButTheJobIsLoaded) {
  ASSERT_EQ(launchctl({"bootstrap", "system", jobFile("com.tavlune.test", false, false)}).status, 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(starts().empty());
  EXPECT_EQ(launchctl({"print", "system/com.tavlune.test"}).status, 0);
  EXPECT_EQ(launchctl({"bootout", "system/com.tavlune.test"}).status, 0);
  EXPECT_EQ(launchctl({"print", "system/com.tavlune.test"}).status, 113);
}

TEST_F(LaunchctlTest, BadRequestsChangeNothing) {
  std::string notPlist = dir_ + "/broken.plist";
  std::ofstream(notPlist) << "not a plist";
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"bootstrap", "system", notPlist}, 5},
      {{"bootstrap", "system", dir_ + "/missing.plist"}, 5},
      {{"bootstrap", "system", jobFile("../escape", true, true)}, 5},
      {{"bootstrap", "system", jobFile("com.tavlune.relative", true, true, "job.sh")}, 5},
      {{"bootstrap", "user", jobFile("com.tavlune.test", true, true)}, 64},
      {{"bootout", "system/../x"}, 64},
      {{"bootout", "gui/501/com.tavlune.test"}, 64},
      {{"kickstart", "system/com.tavlune.test"}, 64},
  };
  for (const auto& [arguments, status] : cases) EXPECT_EQ(launchctl(arguments).status, status) << arguments[0];
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(starts().empty());
}

}  // namespace
