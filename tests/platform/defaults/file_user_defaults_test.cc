#include "platform/defaults/file_user_defaults.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/files/files.h"
#include "platform/plist/plist.h"
#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

namespace fs = std::filesystem;
namespace pl = plist;

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
mode_t modeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class FileUserDefaultsTest : public ::testing::Test {
 protected:
  void writeRaw(const std::string& content) { temp_.write("Library/Preferences/com.example.plist", content); }
  pl::Dictionary fileEntries() {
    auto parsed = pl::parse(std::string_view(files::read(path_).value()));
    EXPECT_TRUE(parsed && parsed->is<pl::Dictionary>());
    return parsed && parsed->is<pl::Dictionary>() ? *parsed->as<pl::Dictionary>() : pl::Dictionary{};
  }
  testing::TempDir temp_;
  std::string path_ = temp_ / "Library/Preferences/com.example.plist";
};

TEST_F(FileUserDefaultsTest, SavesLoadsAndRemovesInAPrivateBinaryFile) {
  FileUserDefaults defaults(path_);
  EXPECT_FALSE(defaults.data("a"));
  EXPECT_TRUE(defaults.removeObject("a"));
  ASSERT_TRUE(defaults.setData("a", bytes("one")));
  ASSERT_TRUE(defaults.setData("b", Bytes{}));
  ASSERT_TRUE(defaults.setData("a", bytes("two")));
  EXPECT_EQ(defaults.data("a"), bytes("two"));
  ASSERT_TRUE(defaults.removeObject("a"));
  EXPECT_FALSE(defaults.data("a"));
  EXPECT_EQ(FileUserDefaults(path_).data("b"), Bytes{});  // nothing is kept only in memory
  EXPECT_EQ(modeOf(path_), 0600u);
  EXPECT_EQ(modeOf(temp_ / "Library"), 0700u);
  EXPECT_EQ(modeOf(temp_ / "Library/Preferences"), 0700u);
  EXPECT_TRUE(files::read(path_)->starts_with("bplist00"));
  // Nothing left beside the file but its lock: no temporary survives a save.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(temp_ / "Library/Preferences")) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"com.example.plist", "com.example.plist.lock"}));
}

// Corrupt or foreign files read as empty and a save replaces them; entries not data are absent but kept.
TEST_F(FileUserDefaultsTest, ForeignFilesAndEntries) {
  pl::Dictionary foreign{{"text", pl::Value("hello")}, {"data", pl::Value(pl::Data{9})}};
  for (const std::string& content : {std::string("garbage\x00\xFF", 9), std::string("bplist00 truncated"),
                                     *pl::toXml(pl::Value(pl::Array{})), std::string()}) {
    writeRaw(content);
    EXPECT_FALSE(FileUserDefaults(path_).data("k"));
    ASSERT_TRUE(FileUserDefaults(path_).setData("k", bytes("new")));
    EXPECT_EQ(fileEntries().size(), 1u);
  }
  writeRaw(*pl::toXml(pl::Value(foreign)));
  FileUserDefaults defaults(path_);
  EXPECT_FALSE(defaults.data("text"));
  EXPECT_EQ(defaults.data("data"), Bytes{9});
  ASSERT_TRUE(defaults.setData("mine", bytes("x")));
  ASSERT_TRUE(defaults.removeObject("data"));
  EXPECT_TRUE(pl::Value(fileEntries()) == pl::Value(pl::Dictionary{{"text", pl::Value("hello")}, {"mine", pl::Value(pl::Data{'x'})}}));
  fs::remove(path_);
  fs::create_directories(path_);  // unreadable: absent, and never replaced by a save that could drop entries
  EXPECT_FALSE(FileUserDefaults(path_).data("k"));
  EXPECT_FALSE(FileUserDefaults(path_).setData("k", bytes("x")));
}

// $HOME without its final slash, else the passwd entry's home.
TEST(FileUserDefaults, StandardPathUsesHomeThenPasswd) {
  const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
  const std::string passwdHome = ::getpwuid(::getuid())->pw_dir;
  const std::string suffix = "/Library/Preferences/com.tavlune.desktop.plist";
  ::setenv("HOME", "/home/someone/", 1);
  EXPECT_EQ(FileUserDefaults::standardPath("com.tavlune.desktop"), "/home/someone" + suffix);
  ::setenv("HOME", "", 1);
  EXPECT_EQ(FileUserDefaults::standardPath("com.tavlune.desktop"), (passwdHome == "/" ? "" : passwdHome) + suffix);
  ::setenv("HOME", saved.c_str(), 1);
}

// Writers in another process and on another thread lose no key: the lock spans read, change, replace.
TEST_F(FileUserDefaultsTest, ConcurrentWritersLoseNoKey) {
  auto write = [&](char prefix) {
    FileUserDefaults defaults(path_);
    for (int i = 0; i < 120; ++i) if (!defaults.setData(prefix + std::to_string(i), bytes("x"))) return false;
    return true;
  };
  const pid_t child = ::fork();
  if (child == 0) ::_exit(write('p') ? 0 : 1);
  bool a = false;
  std::thread([&] { a = write('a'); }).join();
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(a && write('b') && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(fileEntries().size(), 360u);
}

// The file layer under the defaults: folders made level by level, and failures that must not pass.
// A writer killed at any moment leaves the old file or the new one, never a torn one, and no lock behind.
TEST_F(FileUserDefaultsTest, KilledWriterNeverLeavesABrokenFile) {
  ASSERT_TRUE(FileUserDefaults(path_).setData("stable", bytes("kept")));
  for (int round = 0; round < 30; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)  // large and uniform values: a torn write shows
      for (uint8_t n = 0;; ++n) (void)FileUserDefaults(path_).setData("counter", Bytes(64 * 1024 + n, n));
    ::usleep(useconds_t(round * 700));
    ::kill(pid, SIGKILL);
    ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    const pl::Dictionary entries = fileEntries();
    ASSERT_TRUE(entries.count("stable") && entries.at("stable") == pl::Value(pl::Data(bytes("kept")))) << round;
    if (auto it = entries.find("counter"); it != entries.end()) {
      const pl::Data& value = *it->second.as<pl::Data>();
      EXPECT_EQ(std::count(value.begin(), value.end(), uint8_t(value.size() - 64 * 1024)), long(value.size())) << round;
    }
  }
  EXPECT_TRUE(FileUserDefaults(path_).setData("after", bytes("x")));
}

TEST(Files, MakeDirectoriesAndReadReportWhatFails) {
  testing::TempDir temp;
  ASSERT_TRUE(files::makeDirectories(temp / "a/b/c", 0750));
  for (const char* made : {"a", "a/b", "a/b/c"}) EXPECT_EQ(modeOf(temp / made), 0750u) << made;
  EXPECT_TRUE(files::makeDirectories(temp / "a/b", 0700));
  EXPECT_FALSE(files::makeDirectories(temp.write("file", "x") + "/below", 0700));
  EXPECT_FALSE(files::makeDirectories(temp / std::string(300, 'n'), 0700));  // a name too long
  ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink((temp / "file").c_str(), (temp / "link").c_str()), 0);
  // Refused at once, never waited on (a FIFO has no writer) nor followed.
  for (const char* other : {"a", "fifo", "link"}) {
    EXPECT_FALSE(files::read(temp / other)) << other;
    EXPECT_FALSE(files::readIfPresent(temp / other, 100)) << other;
  }
  EXPECT_EQ(files::read(temp / "file").value(), "x");
  EXPECT_EQ(files::readIfPresent(temp / "none", 100).value(), std::nullopt);
}

}  // namespace
}  // namespace tavlune::platform
