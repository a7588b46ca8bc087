#include "helperd/chrome_policy.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helper_test_support.h"
#include "platform/plist/plist.h"

namespace tavlune::helperd {
namespace {

namespace plist = platform::plist;

std::optional<std::string> contents(const std::string& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  ::chmod(path.c_str(), mode);
}

mode_t modeOf(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

plist::Dictionary dictionaryIn(const std::string& path) {
  auto bytes = contents(path);
  if (!bytes) return {};
  auto parsed = plist::parse(std::string_view(*bytes));
  if (!parsed || !parsed->is<plist::Dictionary>()) return {{"<unreadable>", plist::Value(true)}};
  return *parsed->as<plist::Dictionary>();
}

std::string binaryPlist(plist::Dictionary dictionary) {
  auto data = plist::toBinary(plist::Value(std::move(dictionary))).value();
  return std::string(data.begin(), data.end());
}

const plist::Value kDisabled{std::string(kWebRTCPolicyValue)};
const std::string kKey{kWebRTCPolicyKey};

class ChromePolicyTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder folder;
  ChromePolicyPaths paths{folder / "Library/Managed Preferences/com.google.Chrome.plist",
                          folder / "Library/Application Support/Tavlune/chrome-policy.backup.plist",
                          folder / "Library/Application Support/Tavlune/chrome-policy.managed"};
};

// Each row: the policy file found, a series of switches, and the three paths
// afterwards. Restores are compared byte for byte.
TEST_F(ChromePolicyTest, StateTable) {
  const std::string administrators = binaryPlist({{"HomepageLocation", plist::Value("https://example.org/")},
                                                  {"ShowHomeButton", plist::Value(true)}});
  const std::string otherValue = binaryPlist({{kKey, plist::Value("default")}, {"Other", plist::Value(int64_t{7})}});
  const std::string xmlArray = plist::toXml(plist::Value(plist::Array{plist::Value("x")})).value();

  struct Row {
    const char* name;
    std::optional<std::string> policyBefore;
    mode_t modeBefore;
    std::vector<bool> switches;
    // Expected afterwards.
    std::optional<plist::Dictionary> policyKeys;  // when the daemon's file is in place
    std::optional<std::string> policyBytes;       // when a file is restored or left alone
    std::optional<std::string> backup;
    bool marker;
  };
  const std::vector<Row> rows = {
      {"nothing, on", std::nullopt, 0, {true}, plist::Dictionary{{kKey, kDisabled}}, std::nullopt, std::nullopt,
       true},
      {"nothing, on, off", std::nullopt, 0, {true, false}, std::nullopt, std::nullopt, std::nullopt, false},
      {"nothing, off", std::nullopt, 0, {false}, std::nullopt, std::nullopt, std::nullopt, false},
      {"administrator's file, off only", administrators, 0600, {false}, std::nullopt, administrators, std::nullopt,
       false},
      {"administrator's file, on",
       administrators,
       0600,
       {true},
       plist::Dictionary{{"HomepageLocation", plist::Value("https://example.org/")},
                         {"ShowHomeButton", plist::Value(true)},
                         {kKey, kDisabled}},
       std::nullopt,
       administrators,
       true},
      {"administrator's file, on, off", administrators, 0600, {true, false}, std::nullopt, administrators,
       std::nullopt, false},
      {"administrator's file, on twice, off", administrators, 0640, {true, true, false}, std::nullopt,
       administrators, std::nullopt, false},
      {"off twice after on", administrators, 0644, {true, false, false}, std::nullopt, administrators, std::nullopt,
       false},
      {"key set otherwise, on",
       otherValue,
       0644,
       {true},
       plist::Dictionary{{kKey, kDisabled}, {"Other", plist::Value(int64_t{7})}},
       std::nullopt,
       otherValue,
       true},
      {"key set otherwise, on, off", otherValue, 0644, {true, false}, std::nullopt, otherValue, std::nullopt, false},
      {"top level an array, on", xmlArray, 0644, {true}, plist::Dictionary{{kKey, kDisabled}}, std::nullopt,
       xmlArray, true},
      {"top level an array, on, off", xmlArray, 0644, {true, false}, std::nullopt, xmlArray, std::nullopt, false},
  };

  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(folder / "Library");
    if (row.policyBefore) writeFile(paths.policy, *row.policyBefore, row.modeBefore);
    for (bool on : row.switches) {
      Outcome outcome = configureChromeWebRTC(on, paths);
      ASSERT_EQ(outcome, (Outcome{true, ""})) << on;
    }
    if (row.policyKeys) {
      EXPECT_EQ(dictionaryIn(paths.policy), *row.policyKeys);
      EXPECT_EQ(modeOf(paths.policy), 0644u);
      EXPECT_EQ(contents(paths.policy)->rfind("<?xml", 0), 0u) << "written as XML";
    } else {
      EXPECT_EQ(contents(paths.policy), row.policyBytes);
      if (row.policyBytes) {
        EXPECT_EQ(modeOf(paths.policy), row.modeBefore);
      }
    }
    EXPECT_EQ(contents(paths.backup), row.backup);
    EXPECT_EQ(contents(paths.marker), row.marker ? std::optional<std::string>("managed") : std::nullopt);
    EXPECT_EQ(modeOf(folder / "Library/Managed Preferences"), 0755u);
    EXPECT_EQ(modeOf(folder / "Library/Application Support/Tavlune"), 0755u);
  }
}

TEST_F(ChromePolicyTest, FileWrittenByTheAdministratorAfterOursIsRemovedWhenSwitchingOff) {
  ASSERT_TRUE(configureChromeWebRTC(true, paths).succeeded);
  writeFile(paths.policy, binaryPlist({{"Mine", plist::Value(true)}}));
  ASSERT_TRUE(configureChromeWebRTC(false, paths).succeeded);
  EXPECT_FALSE(contents(paths.policy));
  EXPECT_FALSE(contents(paths.marker));
}

TEST_F(ChromePolicyTest, UnreadablePolicyFailsAndKeepsTheBackupForLater) {
  for (const std::string& broken : {std::string("not a property list"), std::string()}) {
    SCOPED_TRACE(broken.empty() ? "empty file" : "garbage");
    std::filesystem::remove_all(folder / "Library");
    writeFile(paths.policy, broken);
    Outcome outcome = configureChromeWebRTC(true, paths);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_FALSE(outcome.text.empty());
    EXPECT_EQ(contents(paths.policy), broken);
    EXPECT_EQ(contents(paths.backup), broken);
    EXPECT_FALSE(contents(paths.marker));
    // No marker, but the backup is put back.
    ASSERT_TRUE(configureChromeWebRTC(false, paths).succeeded);
    EXPECT_EQ(contents(paths.policy), broken);
    EXPECT_FALSE(contents(paths.backup));
  }
}

TEST_F(ChromePolicyTest, EachFailingStepIsReportedWithItsDescription) {
  struct Case {
    const char* name;
    std::string blocker;  // a plain file where a folder must be
    bool enabled;
    std::string expectedInText;
  };
  for (const Case& c : {Case{"policy folder", folder / "Library/Managed Preferences", true, "Managed Preferences"},
                        Case{"support folder", folder / "Library/Application Support", false, "Application Support"},
                        Case{"a parent", folder / "Library", true, "Library"}}) {
    std::filesystem::remove_all(folder / "Library");
    writeFile(c.blocker, "x");
    Outcome outcome = configureChromeWebRTC(c.enabled, paths);
    EXPECT_FALSE(outcome.succeeded) << c.name;
    EXPECT_NE(outcome.text.find(c.expectedInText), std::string::npos) << c.name << ": " << outcome.text;
    EXPECT_NE(outcome.text.find("Not a directory"), std::string::npos) << c.name << ": " << outcome.text;
    std::filesystem::remove(c.blocker);
  }
}

TEST_F(ChromePolicyTest, MarkerThatCannotBeWrittenFailsAfterThePolicyIsInPlace) {
  std::filesystem::create_directories(paths.marker);  // a folder where the marker goes
  Outcome outcome = configureChromeWebRTC(true, paths);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_NE(outcome.text.find("chrome-policy.managed"), std::string::npos) << outcome.text;
  EXPECT_EQ(dictionaryIn(paths.policy), (plist::Dictionary{{kKey, kDisabled}}));
}

}  // namespace
}  // namespace tavlune::helperd
