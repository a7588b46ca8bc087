// The client against the daemon's own server, on a socket of the test's.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
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
