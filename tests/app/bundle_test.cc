#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/bundle/bundle.h"
#include "platform/plist/plist.h"
#include "platform/process/process.h"

namespace tavlune {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The build lays the application out as macOS would, and the running
// executable finds the helper the way the installer looks for it.
TEST(Bundle, LayoutAndCurrentHelper) {
  const fs::path executable = TAVLUNE_DESKTOP_PATH;
  const fs::path contentsFolder = executable.parent_path().parent_path();
  EXPECT_EQ(executable.filename(), "TavluneDesktop");
  EXPECT_EQ(executable.parent_path().filename(), "MacOS");
  EXPECT_EQ(contentsFolder.filename(), "Contents");
  EXPECT_EQ(contentsFolder.parent_path().filename(), "TavluneDesktop.app");

  platform::MainBundle bundle(executable.string());
  auto helper = bundle.pathForResource("TavluneProxyHelper");
  ASSERT_TRUE(helper);
  EXPECT_EQ(fs::path(*helper), contentsFolder / "Resources" / "TavluneProxyHelper");
  struct stat info;
  ASSERT_EQ(::stat(helper->c_str(), &info), 0);
  EXPECT_TRUE(info.st_mode & S_IXUSR);
  // The very program the helper target builds, not an older copy.
  EXPECT_EQ(contents(*helper), contents(TAVLUNE_HELPER_PATH));
}

// The bundle identifier names the user-defaults file; the executable entry names the program.
TEST(Bundle, InformationPropertyList) {
  const fs::path plistPath = fs::path(TAVLUNE_DESKTOP_PATH).parent_path().parent_path() / "Info.plist";
  auto parsed = platform::plist::parse(contents(plistPath));
  ASSERT_TRUE(parsed) << parsed.error().description;
  const auto* info = parsed->as<platform::plist::Dictionary>();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->at("CFBundleIdentifier"), platform::plist::Value("com.tavlune.desktop"));
  EXPECT_EQ(info->at("CFBundleExecutable"), platform::plist::Value(fs::path(TAVLUNE_DESKTOP_PATH).filename().string()));
}

// The three programs and the bundle tell one version.
TEST(Bundle, OneVersionEverywhere) {
  const fs::path plistPath = fs::path(TAVLUNE_DESKTOP_PATH).parent_path().parent_path() / "Info.plist";
  auto parsed = platform::plist::parse(contents(plistPath));
  ASSERT_TRUE(parsed);
  const auto& info = *parsed->as<platform::plist::Dictionary>();
  const auto* version = info.at("CFBundleShortVersionString").as<std::string>();
  ASSERT_TRUE(version);
  EXPECT_EQ(info.at("CFBundleVersion"), platform::plist::Value(*version));
  for (const auto& [program, name] : {std::pair{TAVLUNE_DESKTOP_PATH, "TavluneDesktop"},
                                      {TAVLUNE_HELPER_PATH, "TavluneProxyHelper"}, {TAVLUNE_CLI_PATH, "tavlune"}}) {
    auto ran = platform::runProcess(program, {"--version"});
    ASSERT_TRUE(ran) << name;
    EXPECT_TRUE(ran->succeeded()) << name;
    EXPECT_EQ(std::string(ran->standardOutput.begin(), ran->standardOutput.end()),
              std::string(name) + " " + *version + "\n");
  }
}

}  // namespace
}  // namespace tavlune
