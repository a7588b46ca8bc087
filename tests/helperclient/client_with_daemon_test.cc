// The client against the daemon's own server, on a socket of the test's.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "helperclient/helper_client.h"
#include "helperd/server.h"

namespace tavlune {
namespace {

namespace fs = std::filesystem;

class ClientWithDaemonTest : public ::testing::Test {
 protected:
  void start(uint32_t allowedUid, int exchanges) {
    dir_ = fs::temp_directory_path() / ("client-daemon-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    helperd::ServerConfig config;
    config.socketPath = (dir_ / "helper.sock").string();
    config.chrome = {(dir_ / "Managed Preferences/com.google.Chrome.plist").string(),
                     (dir_ / "Tavlune/chrome-policy.backup.plist").string(),
                     (dir_ / "Tavlune/chrome-policy.managed").string()};
    config.allowedUid = allowedUid;
    auto server = helperd::HelperServer::listen(config);
    ASSERT_TRUE(server.has_value()) << server.error().description;
    socketPath_ = config.socketPath;
    serving_ = std::thread([server = std::move(*server), exchanges]() mutable {
      for (int i = 0; i < exchanges; ++i) server.serveOne();
    });
  }
  void TearDown() override {
    if (serving_.joinable()) serving_.join();
    fs::remove_all(dir_);
  }
  std::string error(const ManagerResult<platform::json::Json>& reply) {
    return reply ? "(success)" : localizedDescription(reply.error());
  }

  fs::path dir_;
  std::string socketPath_;
  std::thread serving_;
};

TEST_F(ClientWithDaemonTest, ServedUser) {
  start(getuid(), 5);
  HelperClient client(socketPath_);
  EXPECT_TRUE(client.helperIsAvailable());
  EXPECT_TRUE(client.sendHelperCommand("chrome-webrtc-on").has_value());
  EXPECT_TRUE(fs::exists(dir_ / "Managed Preferences/com.google.Chrome.plist"));
  EXPECT_TRUE(client.sendHelperCommand("chrome-webrtc-off").has_value());
  EXPECT_FALSE(fs::exists(dir_ / "Managed Preferences/com.google.Chrome.plist"));
  EXPECT_EQ(error(client.sendHelperCommand("PING")), "Invalid proxy command.");
  EXPECT_EQ(error(client.sendHelperCommand("/usr/sbin/networksetup -x; touch /tmp/pwned")),
            "Invalid proxy command.");
}

TEST_F(ClientWithDaemonTest, OtherUserIsRefused) {
  start(getuid() + 1, 2);
  HelperClient client(socketPath_);
  EXPECT_FALSE(client.helperIsAvailable());
  EXPECT_EQ(error(client.sendHelperCommand("chrome-webrtc-on")), "Unauthorized helper client.");
  EXPECT_FALSE(fs::exists(dir_ / "Managed Preferences"));
}

}  // namespace
}  // namespace tavlune

namespace tavlune {
namespace {

// The installed program itself, at its fixed socket path: run in a mount
// namespace of its own whose /var/run is private, and reached from here through
// that namespace's root.
class RealHelperProgram {
 public:
  explicit RealHelperProgram(uid_t allowed) {
    pidFile_ = fs::temp_directory_path() / ("real-helper-" + std::to_string(getpid()) + ".pid");
    std::string script = "mount -t tmpfs none /var/run && echo $$ > '" + pidFile_.string() + "' && exec '" +
                         std::string(HELPER_PROGRAM) + "' --uid " + std::to_string(allowed);
    launcher_ = fork();
    if (launcher_ == 0) {
      execl("/usr/bin/unshare", "unshare", "--mount", "--fork", "/bin/sh", "-c", script.c_str(), nullptr);
      _exit(127);
    }
  }
  ~RealHelperProgram() {
    if (daemon_ > 0) kill(daemon_, SIGTERM);
    waitpid(launcher_, nullptr, 0);
    fs::remove(pidFile_);
  }
  // The socket path as seen from here, once the program listens.
  std::optional<std::string> socketPath() {
    for (int i = 0; i < 250; ++i) {
      std::ifstream(pidFile_) >> daemon_;
      if (daemon_ > 0) {
        // /var/run is often a link to /run, which must be followed on our side
        // of the namespace's root, not on the machine's.
        std::string path = "/proc/" + std::to_string(daemon_) + "/root" + fs::canonical("/var/run").string() +
                           "/com.tavlune.proxyhelper.sock";
        if (fs::exists(path)) return path;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }

 private:
  fs::path pidFile_;
  pid_t launcher_ = -1;
  pid_t daemon_ = -1;
};

TEST(RealHelperProgram, AnswersItsUserAndRefusesAnother) {
  if (geteuid() != 0 && !std::getenv("CI")) GTEST_SKIP() << "needs root for a private mount namespace";
  for (auto [allowed, available] : {std::pair{getuid(), true}, {getuid() + 1, false}}) {
    RealHelperProgram program(allowed);
    auto path = program.socketPath();
    ASSERT_TRUE(path.has_value());
    HelperClient client(*path);
    EXPECT_EQ(client.helperIsAvailable(), available);
    auto reply = client.sendHelperCommand("/usr/sbin/networksetup -setwebproxystate 'x' off; id");
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(localizedDescription(reply.error()), available ? "Invalid proxy command." : "Unauthorized helper client.");
  }
}

}  // namespace
}  // namespace tavlune
