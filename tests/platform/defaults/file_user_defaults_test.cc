#include "platform/defaults/file_user_defaults.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "platform/plist/plist.h"
#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

namespace fs = std::filesystem;
namespace pl = plist;

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

class FileUserDefaultsTest : public ::testing::Test {
 protected:
  void writeRaw(const std::string& content) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << content;
  }
  std::string readRaw() {
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  pl::Dictionary fileEntries() {
    auto parsed = pl::parse(std::string_view(readRaw()));
    EXPECT_TRUE(parsed && parsed->is<pl::Dictionary>());
    return parsed && parsed->is<pl::Dictionary>() ? *parsed->as<pl::Dictionary>() : pl::Dictionary{};
  }

  testing::TempDir temp_;
  fs::path root_ = temp_.path();
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
  // Another instance sees the same file: nothing is kept only in memory.
  EXPECT_EQ(FileUserDefaults(path_).data("b"), Bytes{});

  struct stat st;
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  for (const char* dir : {"Library", "Library/Preferences"}) {
    ASSERT_EQ(::stat((root_ / dir).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << dir;
  }
  EXPECT_TRUE(readRaw().starts_with("bplist00"));
  // Nothing left beside the file but its lock: no temporary survives a save.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path())) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"com.example.plist", "com.example.plist.lock"}));
}

TEST_F(FileUserDefaultsTest, CorruptOrForeignFilesReadAsEmptyAndSaveReplacesThem) {
  for (const std::string& content : {std::string("garbage\x00\xFF", 9), std::string("bplist00 truncated"),
                                     *pl::toXml(pl::Value(pl::Array{})), std::string()}) {
    SCOPED_TRACE(content);
    writeRaw(content);
    FileUserDefaults defaults(path_);
    EXPECT_FALSE(defaults.data("k"));
    ASSERT_TRUE(defaults.setData("k", bytes("new")));
    EXPECT_EQ(defaults.data("k"), bytes("new"));
    EXPECT_EQ(fileEntries().size(), 1u);
  }
}

TEST_F(FileUserDefaultsTest, NonDataEntriesAreAbsentButKept) {
  pl::Dictionary foreign{{"text", pl::Value("hello")},
                         {"nested", pl::Value(pl::Dictionary{{"x", pl::Value(true)}})},
                         {"data", pl::Value(pl::Data{9})}};
  auto encoded = pl::toBinary(pl::Value(foreign));
  writeRaw(std::string(encoded->begin(), encoded->end()));

  FileUserDefaults defaults(path_);
  EXPECT_FALSE(defaults.data("text"));
  EXPECT_EQ(defaults.data("data"), Bytes{9});
  ASSERT_TRUE(defaults.setData("mine", bytes("x")));
  ASSERT_TRUE(defaults.removeObject("data"));
  foreign.erase("data");
  foreign["mine"] = pl::Value(pl::Data(bytes("x")));
  EXPECT_TRUE(pl::Value(fileEntries()) == pl::Value(foreign));
}

TEST_F(FileUserDefaultsTest, StandardPathUsesHomeThenPasswd) {
  const char* saved = std::getenv("HOME");
  const std::string original = saved ? saved : "";
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(FileUserDefaults::standardPath("com.tavlune.desktop"), "/home/someone/Library/Preferences/com.tavlune.desktop.plist");
  ::unsetenv("HOME");
  const std::string fallback = FileUserDefaults::standardPath("com.tavlune.desktop");
  if (saved) ::setenv("HOME", original.c_str(), 1);
  EXPECT_TRUE(fallback.starts_with("/") && fallback.ends_with("/Library/Preferences/com.tavlune.desktop.plist"))
      << fallback;
}

// Concurrent writers: another process, and two threads sharing one instance here.
TEST_F(FileUserDefaultsTest, ConcurrentWritersLoseNoKey) {
  constexpr int kEach = 120;
  auto write = [&](FileUserDefaults& defaults, char prefix) {
    for (int i = 0; i < kEach; ++i) {
      if (!defaults.setData(std::string(1, prefix) + std::to_string(i), bytes(std::to_string(i)))) return false;
    }
    return true;
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileUserDefaults defaults(path_);
    ::_exit(write(defaults, 'p') ? 0 : 1);
  }
  FileUserDefaults defaults(path_);
  bool a = false, b = false;
  std::thread first([&] { a = write(defaults, 'a'); }), second([&] { b = write(defaults, 'b'); });
  first.join();
  second.join();
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(a && b && WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const pl::Dictionary entries = fileEntries();
  EXPECT_EQ(entries.size(), 3u * kEach);
  for (const char* key : {"a119", "b0", "p119"}) EXPECT_TRUE(entries.count(key)) << key;
  EXPECT_EQ(defaults.data("a119"), bytes("119"));
}

// A writer killed at any moment of a save leaves a whole file: the old one or the new.
TEST_F(FileUserDefaultsTest, KilledWriterNeverLeavesABrokenFile) {
  ASSERT_TRUE(FileUserDefaults(path_).setData("stable", bytes("kept")));
  std::mt19937 random(12345);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileUserDefaults defaults(path_);
      // Large enough that the write takes a while; uniform so a torn one shows.
      for (uint8_t n = 0;; ++n) (void)defaults.setData("counter", Bytes(64 * 1024 + n, n));
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    ::kill(pid, SIGKILL);
    ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);

    const pl::Dictionary entries = fileEntries();
    ASSERT_TRUE(entries.count("stable"));
    EXPECT_TRUE(entries.at("stable") == pl::Value(pl::Data(bytes("kept"))));
    if (auto it = entries.find("counter"); it != entries.end()) {
      const pl::Data* value = it->second.as<pl::Data>();
      ASSERT_TRUE(value && value->size() >= 64u * 1024);
      const uint8_t n = static_cast<uint8_t>(value->size() - 64 * 1024);
      EXPECT_EQ(std::count(value->begin(), value->end(), n), static_cast<long>(value->size()));
    }
  }
  // A save after the kills still works: the lock was released with the killed process.
  EXPECT_TRUE(FileUserDefaults(path_).setData("after", bytes("x")));
}

}  // namespace
}  // namespace tavlune::platform
