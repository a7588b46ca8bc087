#include <gtest/gtest.h>

#include <sstream>

#include "platform/workspace/workspace.h"
#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

// The URL goes to the first opener present as one argument, never shell text, and only within a desktop
// session; the answer is the opener's.
TEST(DesktopWorkspace, HandsTheUrlToTheFirstOpenerPresent) {
  testing::TempDir temp;
  auto opener = [&](int status) {
    return temp.write("opener" + std::to_string(status), "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + temp / "args" +
                      "\nexit " + std::to_string(status) + "\n", true);
  };
  const std::string url = "x:$(touch " + temp / "pwned" + "); `id` 'q'", missing = temp / "missing";
  ::setenv("DISPLAY", ":0", 1);  // this program's environment is this test's own
  ::unsetenv("WAYLAND_DISPLAY");
  EXPECT_FALSE(DesktopWorkspace({opener(0)}).open(""));
  EXPECT_FALSE(::access((temp / "args").c_str(), F_OK) == 0);
  EXPECT_FALSE(DesktopWorkspace({opener(3)}).open(url));
  EXPECT_FALSE(DesktopWorkspace({missing}).open(url));
  EXPECT_TRUE(DesktopWorkspace({missing, opener(0)}).open(url));
  std::stringstream args;
  args << std::ifstream(temp / "args").rdbuf();
  EXPECT_EQ(args.str(), url + "\n");
  EXPECT_NE(::access((temp / "pwned").c_str(), F_OK), 0);
  ::unlink((temp / "args").c_str());
  ::unsetenv("DISPLAY");
  EXPECT_FALSE(DesktopWorkspace({opener(0)}).open("u"));
  EXPECT_NE(::access((temp / "args").c_str(), F_OK), 0);
}

// macOS's open(1) needs no desktop session; the URL is one argument and the answer is open's.
TEST(OpenCommandWorkspace, HandsTheUrlToOpen) {
  testing::TempDir temp;
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  auto open = [&](int status) {
    return temp.write("open" + std::to_string(status), "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + temp / "args" +
                      "\nexit " + std::to_string(status) + "\n", true);
  };
  const std::string url = "x-apple.systempreferences:com.apple.preference.network?Proxies 'q'";
  EXPECT_TRUE(OpenCommandWorkspace(open(0)).open(url));
  std::stringstream args;
  args << std::ifstream(temp / "args").rdbuf();
  EXPECT_EQ(args.str(), url + "\n");
  EXPECT_FALSE(OpenCommandWorkspace(open(1)).open(url));
  EXPECT_FALSE(OpenCommandWorkspace(temp / "missing").open(url));
}

}  // namespace
}  // namespace tavlune::platform
