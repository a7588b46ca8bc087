#include "platform/defaults/file_user_defaults.h"

#include <gtest/gtest.h>

#include <set>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/plist/plist.h"

namespace tavlune::platform {
namespace {

namespace fs = std::filesystem;
namespace pl = plist;

class FileUserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/defaults-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    path_ = (root_ / "Library/Preferences/com.example.plist").string();
  }
  void TearDown() override { fs::remove_all(root_); }

  void writeRaw(const std::string& bytes) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  pl::Dictionary fileEntries() {
    std::ifstream in(path_, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto parsed = pl::parse(std::string_view(bytes));
    EXPECT_TRUE(parsed) << parsed.error().description;
    if (!parsed || !parsed->is<pl::Dictionary>()) return {};
    return *parsed->as<pl::Dictionary>();
  }

  fs::path root_;
  std::string path_;
};

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST_F(FileUserDefaultsTest, SavesLoadsAndRemoves) {
  FileUserDefaults defaults(path_);
  EXPECT_FALSE(defaults.data("a"));
  EXPECT_TRUE(defaults.removeObject("a"));

  ASSERT_TRUE(defaults.setData("a", bytes("one")));
  ASSERT_TRUE(defaults.setData("b", Bytes{}));
  ASSERT_TRUE(defaults.setData("a", bytes("two")));
  EXPECT_EQ(defaults.data("a"), bytes("two"));
  EXPECT_EQ(defaults.data("b"), Bytes{});

  ASSERT_TRUE(defaults.removeObject("a"));
  EXPECT_FALSE(defaults.data("a"));
  EXPECT_EQ(defaults.data("b"), Bytes{});
  // Another instance sees the same file: nothing is kept only in memory.
  EXPECT_EQ(FileUserDefaults(path_).data("b"), Bytes{});
}

TEST_F(FileUserDefaultsTest, FileIsBinaryPrivateAndInPrivateDirectories) {
  FileUserDefaults defaults(path_);
  ASSERT_TRUE(defaults.setData("k", bytes("v")));
  struct stat st;
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  for (const char* dir : {"Library", "Library/Preferences"}) {
    ASSERT_EQ(::stat((root_ / dir).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << dir;
  }
  std::ifstream in(path_, std::ios::binary);
  std::string head(8, '\0');
  in.read(head.data(), 8);
  EXPECT_EQ(head, "bplist00");
  // Nothing left beside the file but its lock: no temporary survives a save.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{fs::path(path_).filename().string(),
                                          fs::path(path_).filename().string() + ".lock"}));
}

TEST_F(FileUserDefaultsTest, CorruptOrForeignFilesReadAsEmptyAndSaveReplacesThem) {
  const std::string cases[] = {"garbage\x00\xFF", "bplist00 truncated", *pl::toXml(pl::Value(pl::Array{})), ""};
  for (const std::string& content : cases) {
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
                         {"number", pl::Value(int64_t{-3})},
                         {"nested", pl::Value(pl::Dictionary{{"x", pl::Value(true)}})},
                         {"data", pl::Value(pl::Data{9})}};
  auto encoded = pl::toBinary(pl::Value(foreign));
  ASSERT_TRUE(encoded);
  writeRaw(std::string(encoded->begin(), encoded->end()));

  FileUserDefaults defaults(path_);
  EXPECT_FALSE(defaults.data("text"));
  EXPECT_FALSE(defaults.data("nested"));
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
  EXPECT_EQ(FileUserDefaults::standardPath(), "/home/someone/Library/Preferences/com.tavlune.desktop.plist");
  ::unsetenv("HOME");
  const std::string fallback = FileUserDefaults::standardPath();
  if (saved) ::setenv("HOME", original.c_str(), 1);
  EXPECT_TRUE(fallback.ends_with("/Library/Preferences/com.tavlune.desktop.plist")) << fallback;
  EXPECT_EQ(fallback.front(), '/') << "passwd home expected";
}

TEST_F(FileUserDefaultsTest, ConcurrentThreadsLoseNoKey) {
  FileUserDefaults defaults(path_);
  constexpr int kPerThread = 150;
  auto writer = [&](char prefix) {
    for (int i = 0; i < kPerThread; ++i) {
      ASSERT_TRUE(defaults.setData(std::string(1, prefix) + std::to_string(i), bytes(std::to_string(i))));
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  const pl::Dictionary entries = fileEntries();
  EXPECT_EQ(entries.size(), 2u * kPerThread);
  EXPECT_EQ(defaults.data("a149"), bytes("149"));
  EXPECT_EQ(defaults.data("b0"), bytes("0"));
}

TEST_F(FileUserDefaultsTest, ConcurrentProcessesLoseNoKey) {
  constexpr int kPerProcess = 100;
  std::vector<pid_t> children;
  for (char prefix : {'p', 'q'}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileUserDefaults defaults(path_);
      for (int i = 0; i < kPerProcess; ++i) {
        if (!defaults.setData(std::string(1, prefix) + std::to_string(i), bytes("v"))) ::_exit(1);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const pl::Dictionary entries = fileEntries();
  EXPECT_EQ(entries.size(), 2u * kPerProcess);
  for (int i = 0; i < kPerProcess; ++i) {
    EXPECT_TRUE(entries.count("p" + std::to_string(i)) && entries.count("q" + std::to_string(i))) << i;
  }
}

// A writer killed at any moment leaves a whole file: the old one or the new.
TEST_F(FileUserDefaultsTest, KilledWriterNeverLeavesABrokenFile) {
  ASSERT_TRUE(FileUserDefaults(path_).setData("stable", bytes("kept")));
  std::mt19937 random(12345);
  for (int round = 0; round < 40; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileUserDefaults defaults(path_);
      for (uint8_t n = 0;; ++n) {
        // Large enough that the write takes a while; uniform so a torn one shows.
        (void)defaults.setData("counter", Bytes(64 * 1024 + n, n));
      }
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    const pl::Dictionary entries = fileEntries();
    ASSERT_TRUE(entries.count("stable")) << "round " << round;
    EXPECT_TRUE(entries.at("stable") == pl::Value(pl::Data(bytes("kept"))));
    if (auto it = entries.find("counter"); it != entries.end()) {
      const pl::Data* value = it->second.as<pl::Data>();
      ASSERT_NE(value, nullptr);
      ASSERT_GE(value->size(), 64u * 1024);
      const uint8_t n = static_cast<uint8_t>(value->size() - 64 * 1024);
      EXPECT_EQ(std::count(value->begin(), value->end(), n), static_cast<long>(value->size())) << "round " << round;
    }
  }
  // A save after the kills still works: the lock was released with the killed process.
  EXPECT_TRUE(FileUserDefaults(path_).setData("after", bytes("x")));
}

}  // namespace
}  // namespace tavlune::platform
