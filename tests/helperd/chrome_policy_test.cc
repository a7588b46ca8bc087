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
using Text = std::optional<std::string>;

Text contents(const std::string& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
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
  auto parsed = plist::parse(std::string_view(contents(path).value_or("")));
  if (!parsed || !parsed->is<plist::Dictionary>()) return {{"<unreadable>", plist::Value(true)}};
  return *parsed->as<plist::Dictionary>();
}

std::string binaryPlist(plist::Dictionary dictionary) {
  auto data = plist::toBinary(plist::Value(std::move(dictionary))).value();
  return std::string(data.begin(), data.end());
}

const std::string kKey{kWebRTCPolicyKey};
const std::pair<const std::string, plist::Value> kDisabled{kKey, plist::Value(std::string(kWebRTCPolicyValue))};

class ChromePolicyTest : public ::testing::Test {
 protected:
  testing::TempDir folder;
  ChromePolicyPaths paths{folder / "Library/Managed Preferences/com.google.Chrome.plist",
                          folder / "Library/Application Support/Tavlune/chrome-policy.backup.plist",
                          folder / "Library/Application Support/Tavlune/chrome-policy.managed"};
};

// Each row: the policy file found, a series of switches, and the three paths
// afterwards. Restores are compared byte for byte, mode included.
TEST_F(ChromePolicyTest, StateTable) {
  const plist::Value home("https://example.org/"), yes(true), seven(int64_t{7});
  const std::string admin = binaryPlist({{"HomepageLocation", home}, {"ShowHomeButton", yes}});
  const std::string otherValue = binaryPlist({{kKey, plist::Value("default")}, {"Other", seven}});
  const std::string xmlArray = plist::toXml(plist::Value(plist::Array{plist::Value("x")})).value();
  struct Row {
    const char* name;
    Text before;
    mode_t mode;
    std::vector<bool> switches;
    std::optional<plist::Dictionary> ours;  // our XML file in place, with these keys
    Text policy, backup;                    // else the policy's bytes; and the backup's
  };
  const std::vector<Row> rows = {
      {"nothing, on", {}, 0, {true}, plist::Dictionary{kDisabled}, {}, {}},
      {"nothing, on, off", {}, 0, {true, false}, {}, {}, {}},
      {"nothing, off", {}, 0, {false}, {}, {}, {}},
      {"nothing, on twice, off", {}, 0, {true, true, false}, {}, {}, {}},  // our own file is never backed up
      {"administrator's file, off only", admin, 0600, {false}, {}, admin, {}},
      {"administrator's file, on", admin, 0600, {true},
       plist::Dictionary{{"HomepageLocation", home}, {"ShowHomeButton", yes}, kDisabled}, {}, admin},
      {"administrator's file, on, off", admin, 0600, {true, false}, {}, admin, {}},
      {"administrator's file, on twice, off", admin, 0640, {true, true, false}, {}, admin, {}},
      {"off twice after on", admin, 0644, {true, false, false}, {}, admin, {}},
      {"key set otherwise, on", otherValue, 0644, {true}, plist::Dictionary{kDisabled, {"Other", seven}}, {},
       otherValue},
      {"top level an array, on", xmlArray, 0644, {true}, plist::Dictionary{kDisabled}, {}, xmlArray},
      {"top level an array, on, off", xmlArray, 0644, {true, false}, {}, xmlArray, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(folder / "Library");
    if (row.before) writeFile(paths.policy, *row.before, row.mode);
    for (bool on : row.switches) ASSERT_EQ(configureChromeWebRTC(on, paths), (Outcome{true, ""})) << on;
    if (row.ours) {
      EXPECT_EQ(dictionaryIn(paths.policy), *row.ours);
      EXPECT_EQ(modeOf(paths.policy), 0644u);
      EXPECT_TRUE(contents(paths.policy)->starts_with("<?xml")) << "written as XML";
    } else {
      EXPECT_EQ(contents(paths.policy), row.policy);
      if (row.policy) {
        EXPECT_EQ(modeOf(paths.policy), row.mode);
      }
    }
    EXPECT_EQ(contents(paths.backup), row.backup);
    EXPECT_EQ(contents(paths.marker), row.ours ? Text("managed") : std::nullopt);
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
    SCOPED_TRACE(broken);
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
  // A plain file where a folder must be; the text names it and the reason.
  for (const auto& [blocker, enabled] : std::vector<std::pair<std::string, bool>>{
           {"Library/Managed Preferences", true}, {"Library/Application Support", false}, {"Library", true}}) {
    std::filesystem::remove_all(folder / "Library");
    writeFile(folder / blocker, "x");
    Outcome outcome = configureChromeWebRTC(enabled, paths);
    EXPECT_FALSE(outcome.succeeded) << blocker;
    EXPECT_NE(outcome.text.find(blocker), std::string::npos) << outcome.text;
    EXPECT_NE(outcome.text.find("Not a directory"), std::string::npos) << outcome.text;
  }
}

TEST_F(ChromePolicyTest, MarkerThatCannotBeWrittenFailsBeforeThePolicyIsWritten) {
  std::filesystem::create_directories(paths.marker);  // a folder where the marker goes
  Outcome outcome = configureChromeWebRTC(true, paths);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_NE(outcome.text.find("chrome-policy.managed"), std::string::npos) << outcome.text;
  EXPECT_FALSE(contents(paths.policy)) << "a policy of ours without its marker would stay for ever";
}

// The daemon killed between two steps of a switch, then started again: each
// state such a stop leaves, and what its start makes of it.
TEST_F(ChromePolicyTest, StartFinishesASwitchThatStoppedHalfWay) {
  const std::string admin = binaryPlist({{"HomepageLocation", plist::Value("https://example.org/")}});
  const std::string ours = "<?xml ours";
  struct Row {
    const char* name;
    Text policy, backup, marker;  // found at the start
    Text policyAfter, backupAfter, markerAfter;
  };
  const Text marker("managed");
  const std::vector<Row> rows = {
      {"on, stopped after the backup", admin, admin, {}, admin, {}, {}},
      {"on, stopped after the marker, nothing before", {}, {}, marker, {}, {}, {}},
      {"off, stopped after the marker went", ours, admin, {}, admin, {}, {}},
      {"off, stopped after our file went", {}, {}, marker, {}, {}, {}},
      {"on over a file, stopped after the marker: the next off finishes it", admin, admin, marker, admin, admin,
       marker},
      {"on, finished", ours, admin, marker, ours, admin, marker},
      {"on over nothing, finished", ours, {}, marker, ours, {}, marker},
      {"an administrator's file alone", admin, {}, {}, admin, {}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(folder / "Library");
    for (auto [path, text] : {std::pair{paths.policy, row.policy}, {paths.backup, row.backup}, {paths.marker, row.marker}})
      if (text) writeFile(path, *text);
    EXPECT_TRUE(finishInterruptedChromeSwitch(paths).succeeded);
    EXPECT_EQ(contents(paths.policy), row.policyAfter);
    EXPECT_EQ(contents(paths.backup), row.backupAfter);
    EXPECT_EQ(contents(paths.marker), row.markerAfter);
  }
}

}  // namespace
}  // namespace tavlune::helperd
