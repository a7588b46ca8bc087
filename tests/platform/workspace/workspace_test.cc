#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/workspace/workspace.h"
#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

class DesktopWorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saveEnv("DISPLAY", display_);
    saveEnv("WAYLAND_DISPLAY", wayland_);
    setenv("DISPLAY", ":0", 1);
    unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    restoreEnv("DISPLAY", display_);
    restoreEnv("WAYLAND_DISPLAY", wayland_);
  }

  // An opener that records its arguments, one per line, and exits with status.
  std::string opener(int status) {
    return temp_.write("opener" + std::to_string(status),
                       "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + dir_ + "/args\nexit " +
                           std::to_string(status) + "\n",
                       true);
  }
  std::string recordedArgs() {
    std::stringstream s;
    s << std::ifstream(dir_ + "/args").rdbuf();
    return s.str();
  }

  testing::TempDir temp_;
  std::string dir_ = temp_.path();

 private:
  static void saveEnv(const char* name, std::optional<std::string>& slot) {
    if (const char* v = std::getenv(name)) slot = v;
  }
  static void restoreEnv(const char* name, const std::optional<std::string>& slot) {
    if (slot) setenv(name, slot->c_str(), 1); else unsetenv(name);
  }
  std::optional<std::string> display_, wayland_;
};

TEST_F(DesktopWorkspaceTest, AnswerFollowsTheOpenersExitStatus) {
  const std::string url = "x-apple.systempreferences:com.apple.Network-Settings.extension";
  EXPECT_TRUE(DesktopWorkspace({opener(0)}).open(url));
  EXPECT_EQ(recordedArgs(), url + "\n");
  EXPECT_FALSE(DesktopWorkspace({opener(3)}).open(url));
}

TEST_F(DesktopWorkspaceTest, URLIsOneArgumentNeverShellText) {
  const std::string url = "x:$(touch " + dir_ + "/pwned); `id` 'q'";
  EXPECT_TRUE(DesktopWorkspace({opener(0)}).open(url));
  EXPECT_EQ(recordedArgs(), url + "\n");
  EXPECT_NE(access((dir_ + "/pwned").c_str(), F_OK), 0);
}

TEST_F(DesktopWorkspaceTest, FirstPresentOpenerIsUsedAndNoneMeansFalse) {
  EXPECT_TRUE(DesktopWorkspace({dir_ + "/missing", opener(0)}).open("u"));
  EXPECT_FALSE(DesktopWorkspace({dir_ + "/missing"}).open("u"));
}

TEST_F(DesktopWorkspaceTest, WithoutADesktopSessionOrURLNothingRuns) {
  EXPECT_FALSE(DesktopWorkspace({opener(0)}).open(""));
  unsetenv("DISPLAY");
  EXPECT_FALSE(DesktopWorkspace({opener(0)}).open("u"));
  EXPECT_NE(access((dir_ + "/args").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace tavlune::platform
