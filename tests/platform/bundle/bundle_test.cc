#include "platform/bundle/bundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

namespace fs = std::filesystem;

TEST(MainBundle, FindsResourcesBesideTheExecutablesFolder) {
  testing::TempDir temp;
  const fs::path root = temp.path();
  fs::create_directories(root / "Tavlune.app/Contents/MacOS");
  fs::create_directories(root / "Tavlune.app/Contents/Resources/Folder");
  std::ofstream(root / "Tavlune.app/Contents/Resources/TavluneProxyHelper") << "x";
  std::ofstream(root / "Tavlune.app/Contents/secret") << "x";
  MainBundle bundle((root / "Tavlune.app/Contents/MacOS/Tavlune").string());

  EXPECT_EQ(bundle.pathForResource("TavluneProxyHelper"),
            (root / "Tavlune.app/Contents/Resources/TavluneProxyHelper").string());
  for (const char* absent : {"Missing", "Folder", "", "..", "../secret", "Folder/../TavluneProxyHelper"})
    EXPECT_FALSE(bundle.pathForResource(absent).has_value()) << absent;
}

TEST(MainBundle, DefaultsToTheRunningProgram) {
  // This test binary is not in a bundle, so it has no such resource.
  EXPECT_FALSE(MainBundle().pathForResource("TavluneProxyHelper").has_value());
}

}  // namespace
}  // namespace tavlune::platform
