#include "helperclient/helper_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "helperclient/exchange_deadline.h"
#include "platform/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace tavlune::helperclient {
namespace {
using namespace std::chrono_literals;

const std::string kNobody = "/tmp/helper-client-test-nobody-listens.sock";

// Serves one connection: keeps the request line (unless told not to read it),
// sends the reply and closes. Without `serve` the kernel accepts and nobody answers.
class ScriptedDaemon {
 public:
  explicit ScriptedDaemon(std::string reply, bool readRequest = true, bool serve = true) {
    sockaddr_un address = helperprotocol::makeAddress(path_);
    bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), helperprotocol::kAddressLength);
    listen(listener_.get(), 8);
    if (serve) thread_ = std::thread([this, reply = std::move(reply), readRequest] {
      platform::UniqueFd connection(accept(listener_.get(), nullptr, nullptr));
      char buffer[4096];
      for (ssize_t n; readRequest && request_.find('\n') == std::string::npos &&
                      (n = read(connection.get(), buffer, sizeof buffer)) > 0;)
        request_.append(buffer, std::size_t(n));
      ::send(connection.get(), reply.data(), reply.size(), MSG_NOSIGNAL);
    });
  }
  ~ScriptedDaemon() {
    if (thread_.joinable()) thread_.join();
  }
  HelperResult<platform::json::Json> ask(const std::string& command) { return HelperClient(path_).sendHelperCommand(command); }
  bool available() { return HelperClient(path_).helperIsAvailable(); }
  std::string request() { return thread_.join(), request_; }

 private:
  tavlune::testing::TempDir dir_;
  std::string path_ = dir_ / "helper.sock", request_;
  platform::UniqueFd listener_{socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  std::thread thread_;
};

std::string text(const HelperResult<platform::json::Json>& reply) {
  return reply ? "<ok>" : model::localizedDescription(reply.error().error) + (reply.error().handedOver ? "" : " (kept)");
}

int openDescriptors() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd) count += fcntl(fd, F_GETFD) != -1;
  return count;
}

TEST(HelperClient, RepliesAndTheirErrors) {
  const int before = openDescriptors();
  const std::pair<std::string, std::string> cases[] = {
      {"{\"ok\":true}\n", "<ok>"},
      {"{\"version\":2,\"ok\":true}", "<ok>"},  // closed without a line feed
      {"{\"ok\":false,\"error\":\"Invalid proxy command.\"}\n", "Invalid proxy command."},
      {"{\"ok\":false,\"error\":\"\"}\n", "macOS could not update the system proxy settings."},
      {"{\"ok\":\"true\"}\n", "The proxy helper rejected the request."},
      {"{\"ok\":\"true\",\"error\":\"nope\"}\n", "nope"},
      {"{\"ok\":false,\"error\":7}\n", "The proxy helper rejected the request."},
      {"[true]\n", "The proxy helper returned an invalid response."},
      {"", "The proxy helper returned no response."},
      {std::string(70000, 'x'), "The proxy helper returned no response."},
  };
  for (const auto& [reply, expected] : cases) {
    ScriptedDaemon daemon(reply);
    EXPECT_EQ(text(daemon.ask("/usr/sbin/networksetup -x 'a/b'")), expected) << reply;
    EXPECT_EQ(daemon.request(), "{\"command\":\"\\/usr\\/sbin\\/networksetup -x 'a\\/b'\"}\n");
  }
  auto notJson = ScriptedDaemon("{ok}\n").ask("ping");
  ASSERT_FALSE(notJson);
  EXPECT_TRUE(std::holds_alternative<platform::Error>(notJson.error().error));  // the reader's own error
  EXPECT_EQ(text(HelperClient(kNobody).sendHelperCommand("ping")), "Unable to contact the proxy helper. (kept)");
  EXPECT_EQ(openDescriptors(), before);
}

TEST(HelperClient, AvailabilityNeedsTheExpectedVersion) {
  const std::pair<std::string, bool> cases[] = {
      {"{\"ok\":true,\"version\":2}\n", true}, {"{\"ok\":true,\"version\":2.0}\n", true},
      {"{\"ok\":true,\"version\":1}\n", false}, {"{\"ok\":true}\n", false},
      {"{\"ok\":true,\"version\":\"2\"}\n", false}, {"{\"ok\":false,\"version\":2}\n", false}, {"", false}};
  for (const auto& [reply, available] : cases) {
    ScriptedDaemon daemon(reply);
    EXPECT_EQ(daemon.available(), available) << reply;
    EXPECT_EQ(daemon.request(), "{\"command\":\"ping\"}\n");
  }
  EXPECT_FALSE(HelperClient(kNobody).helperIsAvailable());
}

TEST(HelperClient, HungOrClosedDaemonFailsAfterTheHandOver) {
  // Takes the request and never answers: the exchange ends at its deadline.
  EXPECT_EQ(text(ScriptedDaemon("", true, false).ask("ping")), "The proxy helper did not answer in time.");
  // Closes unread a request far larger than the socket buffers; the process lives on.
  EXPECT_EQ(text(ScriptedDaemon("", false).ask(std::string(4 << 20, 'a'))), "The proxy helper connection closed.");
}

TEST(ExchangeDeadline, PingIsShortAndACommandLineGrowsWithItsRuns) {
  const std::string run = "/usr/sbin/networksetup -x";
  for (const auto& [command, deadline] : std::vector<std::pair<std::string, std::chrono::milliseconds>>{
           {"ping", 5s}, {"chrome-webrtc-on", 20s}, {" ping", 20s}, {run, 21s}, {run + " && " + run + " && " + run, 23s}})
    EXPECT_EQ(exchangeDeadline(command), deadline) << command;
}

}  // namespace
}  // namespace tavlune::helperclient
