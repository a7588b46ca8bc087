#include "helperclient/helper_client.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "helperprotocol/protocol.h"

namespace tavlune {
namespace {
using namespace tavlune::helperclient;
using namespace tavlune::model;

// A daemon that serves one connection: reads the request line, keeps it, and
// answers with a fixed reply (or nothing) before closing.
class ScriptedDaemon {
 public:
  explicit ScriptedDaemon(std::string reply, bool readRequest = true) {
    path_ = "/tmp/helper-client-test-" + std::to_string(getpid()) + "-" + std::to_string(counter_++) + ".sock";
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = helperprotocol::makeAddress(path_);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), helperprotocol::kAddressLength);
    listen(listener_, 8);
    thread_ = std::thread([this, reply = std::move(reply), readRequest] {
      int connection = accept(listener_, nullptr, nullptr);
      if (connection < 0) return;
      if (readRequest) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(connection, buffer, sizeof buffer)) > 0) {
          request_.append(buffer, std::size_t(n));
          if (request_.find('\n') != std::string::npos) break;
        }
      }
      if (!reply.empty()) send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(connection);
    });
  }
  ~ScriptedDaemon() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
    unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string request() {
    thread_.join();
    thread_ = std::thread([] {});
    return request_;
  }

 private:
  static inline int counter_ = 0;
  std::string path_;
  int listener_ = -1;
  std::thread thread_;
  std::string request_;
};

TEST(HelperClient, RepliesAndTheirErrors) {
  struct Case {
    std::string reply;
    std::optional<std::string> error;  // absent: success; every failure comes after the request was handed over
  };
  const Case cases[] = {
      {"{\"ok\":true}\n", std::nullopt},
      {"{\"version\":2,\"ok\":true}", std::nullopt},  // closed without a line feed
      {"{\"ok\":false,\"error\":\"Invalid proxy command.\"}\n", "Invalid proxy command."},
      {"{\"ok\":false,\"error\":\"\"}\n", "macOS could not update the system proxy settings."},
      {"{\"ok\":\"true\"}\n", "The proxy helper rejected the request."},
      {"{\"ok\":\"true\",\"error\":\"nope\"}\n", "nope"},
      {"{\"ok\":false,\"error\":7}\n", "The proxy helper rejected the request."},
      {"[true]\n", "The proxy helper returned an invalid response."},
      {"", "The proxy helper returned no response."},
      {std::string(70000, 'x'), "The proxy helper returned no response."},
  };
  for (const auto& c : cases) {
    ScriptedDaemon daemon(c.reply);
    auto reply = HelperClient(daemon.path()).sendHelperCommand("/usr/sbin/networksetup -x 'a/b'");
    if (!c.error) {
      EXPECT_TRUE(reply.has_value()) << c.reply;
    } else {
      ASSERT_FALSE(reply.has_value()) << c.reply;
      EXPECT_EQ(localizedDescription(reply.error().error), *c.error) << c.reply;
      EXPECT_TRUE(reply.error().handedOver) << c.reply;
    }
    EXPECT_EQ(daemon.request(), "{\"command\":\"\\/usr\\/sbin\\/networksetup -x 'a\\/b'\"}\n");
  }
  ScriptedDaemon notJson("{ok}\n");
  auto reply = HelperClient(notJson.path()).sendHelperCommand("ping");
  ASSERT_FALSE(reply.has_value());
  EXPECT_TRUE(std::holds_alternative<platform::Error>(reply.error().error));  // the reader's own error
}

TEST(HelperClient, AvailabilityNeedsTheExpectedVersion) {
  const std::pair<std::string, bool> cases[] = {
      {"{\"ok\":true,\"version\":2}\n", true},     {"{\"ok\":true,\"version\":2.0}\n", true},
      {"{\"ok\":true,\"version\":1}\n", false},    {"{\"ok\":true}\n", false},
      {"{\"ok\":true,\"version\":\"2\"}\n", false}, {"{\"ok\":false,\"version\":2}\n", false},
      {"", false},
  };
  for (const auto& [reply, available] : cases) {
    ScriptedDaemon daemon(reply);
    EXPECT_EQ(HelperClient(daemon.path()).helperIsAvailable(), available) << reply;
    EXPECT_EQ(daemon.request(), "{\"command\":\"ping\"}\n");
  }
}

TEST(HelperClient, NoDaemonAtAll) {
  HelperClient client("/tmp/helper-client-test-nobody-listens.sock");
  EXPECT_FALSE(client.helperIsAvailable());
  auto reply = client.sendHelperCommand("ping");
  ASSERT_FALSE(reply.has_value());
  EXPECT_EQ(localizedDescription(reply.error().error), "Unable to contact the proxy helper.");
  EXPECT_FALSE(reply.error().handedOver);
}

// A helper that takes the request and never answers (stopped, or stuck) ends
// the exchange at its deadline, with the outcome unknown.
TEST(HelperClient, HungDaemonEndsAtTheDeadline) {
  const std::string path = "/tmp/helper-client-test-hung-" + std::to_string(getpid()) + ".sock";
  unlink(path.c_str());
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = helperprotocol::makeAddress(path);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), helperprotocol::kAddressLength), 0);
  ASSERT_EQ(listen(listener, 8), 0);  // the kernel accepts; nobody ever reads or answers
  auto reply = HelperClient(path).sendHelperCommand("ping");
  close(listener);
  unlink(path.c_str());
  ASSERT_FALSE(reply.has_value());
  EXPECT_EQ(localizedDescription(reply.error().error), "The proxy helper did not answer in time.");
  EXPECT_TRUE(reply.error().handedOver);
}

TEST(HelperClient, DaemonThatClosedBeforeReadingNeverEndsTheProcess) {
  // The request is far larger than the socket buffers, and nobody reads it.
  ScriptedDaemon daemon("", /*readRequest=*/false);
  auto reply = HelperClient(daemon.path()).sendHelperCommand(std::string(4 << 20, 'a'));
  ASSERT_FALSE(reply.has_value());
  auto text = localizedDescription(reply.error().error);
  EXPECT_TRUE(text == "The proxy helper connection closed." || text == "The proxy helper returned no response.")
      << text;
}

TEST(HelperClient, NoDescriptorIsLeftOpen) {
  auto openDescriptors = [] {
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd) count += fcntl(fd, F_GETFD) != -1;
    return count;
  };
  int before = openDescriptors();
  for (const char* reply : {"{\"ok\":true}\n", "", "[1]\n", "{x}\n"}) {
    ScriptedDaemon daemon(reply);
    (void)HelperClient(daemon.path()).sendHelperCommand("ping");
  }
  (void)HelperClient("/tmp/helper-client-test-nobody-listens.sock").sendHelperCommand("ping");
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace tavlune
