#include "platform/bundle/bundle.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

// Resources are found beside the executable's folder, and never outside the resource folder.
TEST(MainBundle, FindsResourcesBesideTheExecutablesFolder) {
  testing::TempDir temp;
  const std::string contents = temp / "Tavlune.app/Contents", helper = temp.write("Tavlune.app/Contents/Resources/Helper", "x");
  temp.write("Tavlune.app/Contents/Resources/Folder/file", "x");
  temp.write("Tavlune.app/Contents/secret", "x");
  MainBundle bundle(contents + "/MacOS/Tavlune");
  EXPECT_EQ(bundle.pathForResource("Helper"), helper);
  for (const char* absent : {"Missing", "Folder", "", "..", "../secret", "Folder/../Helper"})
    EXPECT_FALSE(bundle.pathForResource(absent).has_value()) << absent;
}

}  // namespace
}  // namespace tavlune::platform
