#include "helperd/chrome_policy.h"
#include <sys/stat.h>
#include <fstream>
#include <sstream>
#include <gtest/gtest.h>
#include "platform/plist/plist.h"
#include "tests/support/temp_dir.h"
namespace tavlune::helperd {
namespace {
namespace plist = platform::plist;
using Text = std::optional<std::string>;

Text contents(const std::string& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  return (std::stringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}
mode_t modeOf(const std::string& path) {
  struct stat status{};
  return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}
std::string binaryPlist(plist::Dictionary dictionary) {
  auto data = plist::toBinary(plist::Value(std::move(dictionary))).value();
  return std::string(data.begin(), data.end());
}
const std::pair<const std::string, plist::Value> kDisabled{std::string(kWebRTCPolicyKey),
                                                           plist::Value(std::string(kWebRTCPolicyValue))};

class ChromePolicyTest : public ::testing::Test {
 protected:
  void reset() { std::filesystem::remove_all(folder / "Library"); }
  void put(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    folder.write(path.substr(folder.path().size() + 1), bytes);
    ::chmod(path.c_str(), mode);
  }
  tavlune::testing::TempDir folder;
  ChromePolicyPaths paths{folder / "Library/Managed Preferences/com.google.Chrome.plist",
                          folder / "Library/Application Support/Tavlune/chrome-policy.backup.plist",
                          folder / "Library/Application Support/Tavlune/chrome-policy.managed"};
};

// Each row: the policy file found, a series of switches, and the three paths
// afterwards. Restores are compared byte for byte, mode included.
TEST_F(ChromePolicyTest, StateTable) {
  const plist::Value home("https://example.org/"), yes(true), seven(int64_t{7});
  const std::string admin = binaryPlist({{"HomepageLocation", home}, {"ShowHomeButton", yes}});
  const std::string other = binaryPlist({{kDisabled.first, plist::Value("default")}, {"Other", seven}});
  const std::string array = plist::toXml(plist::Value(plist::Array{plist::Value("x")})).value();
  struct Row {
    Text before;
    mode_t mode;
    std::vector<bool> switches;
    std::optional<plist::Dictionary> ours;  // our XML file in place, with these keys
    Text policy, backup;                    // else the policy's bytes; and the backup's
  };
  for (const Row& row : std::vector<Row>{
           {{}, 0, {true}, plist::Dictionary{kDisabled}, {}, {}},
           {{}, 0, {true, false}, {}, {}, {}},
           {{}, 0, {false}, {}, {}, {}},
           {{}, 0, {true, true, false}, {}, {}, {}},  // our own file is never backed up
           {admin, 0600, {false}, {}, admin, {}},
           {admin, 0600, {true}, plist::Dictionary{{"HomepageLocation", home}, {"ShowHomeButton", yes}, kDisabled}, {}, admin},
           {admin, 0600, {true, false}, {}, admin, {}},
           {admin, 0640, {true, true, false}, {}, admin, {}},
           {admin, 0644, {true, false, false}, {}, admin, {}},
           {other, 0644, {true}, plist::Dictionary{kDisabled, {"Other", seven}}, {}, other},
           {array, 0644, {true}, plist::Dictionary{kDisabled}, {}, array},
           {array, 0644, {true, false}, {}, array, {}}}) {
    SCOPED_TRACE(::testing::PrintToString(row.switches) + row.before.value_or("nothing").substr(0, 8));
    reset();
    if (row.before) put(paths.policy, *row.before, row.mode);
    for (bool on : row.switches) ASSERT_EQ(configureChromeWebRTC(on, paths), (Outcome{true, ""})) << on;
    if (row.ours) {
      EXPECT_EQ(plist::parse(std::string_view(*contents(paths.policy))).value(), plist::Value(*row.ours));
      EXPECT_EQ(modeOf(paths.policy), row.before ? row.mode : 0644u) << "the administrator's bits kept";
      EXPECT_TRUE(contents(paths.policy)->starts_with("<?xml")) << "written as XML";
    } else {
      EXPECT_EQ(contents(paths.policy), row.policy);
      EXPECT_EQ(modeOf(paths.policy), row.policy ? row.mode : 0);
    }
    EXPECT_EQ(contents(paths.backup), row.backup);
    EXPECT_EQ(contents(paths.marker), row.ours ? Text("managed") : std::nullopt);
    EXPECT_EQ(modeOf(folder / "Library/Managed Preferences"), 0755u);
    EXPECT_EQ(modeOf(folder / "Library/Application Support/Tavlune"), 0755u);
  }
}

TEST_F(ChromePolicyTest, UnreadablePolicyFailsAndKeepsTheBackupForLater) {
  for (const std::string broken : {"not a property list", ""}) {
    reset();
    put(paths.policy, broken);
    Outcome outcome = configureChromeWebRTC(true, paths);
    EXPECT_FALSE(outcome.succeeded || outcome.text.empty()) << broken;
    EXPECT_EQ(contents(paths.policy), broken);
    EXPECT_EQ(contents(paths.backup), broken);
    EXPECT_FALSE(contents(paths.marker));
    // No marker: the backup, whatever it holds by now, is dropped, never put back.
    put(paths.backup, "planted");
    ASSERT_TRUE(configureChromeWebRTC(false, paths).succeeded);
    EXPECT_EQ(contents(paths.policy), broken);
    EXPECT_FALSE(contents(paths.backup));
  }
}

TEST_F(ChromePolicyTest, MarkerThatCannotBeWrittenFailsBeforeThePolicyIsWritten) {
  std::filesystem::create_directories(paths.marker);  // a folder where the marker goes
  Outcome outcome = configureChromeWebRTC(true, paths);
  EXPECT_NE(outcome.text.find("chrome-policy.managed"), std::string::npos) << outcome.text;
  EXPECT_FALSE(outcome.succeeded || contents(paths.policy)) << "a policy of ours without its marker would stay for ever";
}

// The administrator edits the policy file while the protection is on (or
// removes it): at switch-off their edit stays, only our key is taken back (to
// its earlier value, or away) while it still holds ours, and the file keeps
// their owner and bits.
TEST_F(ChromePolicyTest, AdministratorsEditWhileOnStaysTheirs) {
  using D = plist::Dictionary;
  const std::pair<const std::string, plist::Value> home{"HomepageLocation", plist::Value("h")}, x{"X", plist::Value(true)},
      theirs{kDisabled.first, plist::Value("default_public_interface_only")};
  const struct { std::optional<D> before, edited, after; } rows[] = {
      {D{home}, D{home, x, kDisabled}, D{home, x}}, {D{home, theirs}, D{home, x, kDisabled}, D{home, x, theirs}},
      {{}, D{x, kDisabled}, D{x}}, {D{home}, D{home, theirs}, D{home, theirs}}, {D{home}, {}, {}}};
  for (const auto& row : rows) {
    reset();
    if (row.before) put(paths.policy, binaryPlist(*row.before), 0640), (void)::chown(paths.policy.c_str(), 1234, 5678);
    ASSERT_TRUE(configureChromeWebRTC(true, paths).succeeded);
    if (row.edited) put(paths.policy, binaryPlist(*row.edited), row.before ? 0640 : 0644);
    if (!row.edited) std::filesystem::remove(paths.policy);
    ASSERT_TRUE(configureChromeWebRTC(false, paths).succeeded);
    EXPECT_FALSE(contents(paths.backup) || contents(paths.marker));
    auto after = contents(paths.policy);
    ASSERT_EQ(after.has_value(), row.after.has_value());
    if (!after) continue;
    EXPECT_EQ(plist::parse(std::string_view(*after)).value(), plist::Value(*row.after)) << *after;
    struct stat status{};
    ASSERT_EQ(::stat(paths.policy.c_str(), &status), 0);
    EXPECT_EQ(std::tuple(status.st_mode & 07777, status.st_uid, status.st_gid),
              row.before ? std::tuple(0640u, 1234u, 5678u) : std::tuple(0644u, ::geteuid(), ::getegid()));
  }
}

// The daemon killed between two steps of a switch, then started again: each
// state such a stop leaves, and what its start makes of it. A marker over a
// policy file without our value is a switch-off under way (or a switch-on
// that never got to the file), which the start finishes.
TEST_F(ChromePolicyTest, StartFinishesASwitchThatStoppedHalfWay) {
  const std::pair<const std::string, plist::Value> home{"HomepageLocation", plist::Value("https://example.org/")};
  const Text admin = binaryPlist({home}), ours = binaryPlist({home, kDisabled}), alone = binaryPlist({kDisabled}),
             marker("managed"), none;
  struct Row {
    Text policy, backup, marker, policyAfter, backupAfter, markerAfter;
  };
  for (const Row& row : std::vector<Row>{
           {admin, admin, none, admin, none, none},      // on, stopped after the backup
           {none, none, marker, none, none, none},       // on, stopped after the marker, nothing before
           {ours, admin, none, ours, none, none},        // a backup our marker does not vouch for is never put back
           {admin, admin, marker, admin, none, none},    // on, stopped before the file; or off, after the restore
           {admin, none, marker, admin, none, none},     // off, stopped after the backup went
           {ours, admin, marker, ours, admin, marker},   // on, finished
           {alone, none, marker, alone, none, marker},   // on over nothing, finished
           {admin, none, none, admin, none, none}}) {    // an administrator's file alone
    reset();
    for (auto [path, text] : {std::pair{paths.policy, row.policy}, {paths.backup, row.backup}, {paths.marker, row.marker}})
      if (text) put(path, *text);
    EXPECT_TRUE(finishInterruptedChromeSwitch(paths).succeeded);
    EXPECT_EQ(std::tuple(contents(paths.policy), contents(paths.backup), contents(paths.marker)),
              std::tuple(row.policyAfter, row.backupAfter, row.markerAfter))
        << row.policy.value_or("-").size() << row.backup.value_or("-").size() << bool(row.marker);
  }
}
}  // namespace
}  // namespace tavlune::helperd
