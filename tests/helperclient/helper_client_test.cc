#include "helperclient/helper_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
  explicit ScriptedDaemon(std::string reply, bool readRequest = true, bool serve = true,
                          std::chrono::milliseconds answersAfter = 0ms) {
    sockaddr_un address = helperprotocol::makeAddress(path_);
    bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), helperprotocol::kAddressLength);
    listen(listener_.get(), 8);
    if (serve) thread_ = std::thread([this, reply = std::move(reply), readRequest, answersAfter] {
      platform::UniqueFd connection(accept(listener_.get(), nullptr, nullptr));
      char buffer[4096];
      for (ssize_t n; readRequest && request_.find('\n') == std::string::npos &&
                      (n = read(connection.get(), buffer, sizeof buffer)) > 0;)
        request_.append(buffer, std::size_t(n));
      std::this_thread::sleep_for(answersAfter);
      ::send(connection.get(), reply.data(), reply.size(), MSG_NOSIGNAL);
    });
  }
  ~ScriptedDaemon() {
    shutdown(listener_.get(), SHUT_RDWR);  // ends an accept that no client came to
    if (thread_.joinable()) thread_.join();
  }
  HelperResult<helperprotocol::Reply> ask(const std::string& command) { return HelperClient(path_).sendHelperCommand(command); }
  bool available() { return HelperClient(path_).helperIsAvailable(); }
  HelperPresence probe(ProbePatience patience) { return HelperClient(path_, patience).probe(); }
  std::string request() { return thread_.join(), request_; }

 private:
  tavlune::testing::TempDir dir_;
  std::string path_ = dir_ / "helper.sock", request_;
  platform::UniqueFd listener_{socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  std::thread thread_;
};

std::string text(const HelperResult<helperprotocol::Reply>& reply) {
  return reply ? "<ok>" : model::localizedDescription(reply.error().error) + (reply.error().handedOver ? "" : " (kept)");
}

int openDescriptors() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd) count += fcntl(fd, F_GETFD) != -1;
  return count;
}

TEST(HelperClient, RepliesTheirErrorsAndTheVersion) {
  const int before = openDescriptors();
  const std::string rejected = "The proxy helper rejected the request.", none = "The proxy helper returned no response.";
  const std::tuple<std::string, std::string, bool> cases[] = {  // reply, its text, whether a ping finds the helper
      {"{\"ok\":true,\"version\":2}\n", "<ok>", true},
      {"{\"version\":2.0,\"ok\":true}", "<ok>", true},  // closed without a line feed
      {"{\"ok\":true,\"version\":1}\n", "<ok>", false},
      {"{\"ok\":true,\"version\":\"2\"}\n", "<ok>", false},
      {"{\"ok\":false,\"error\":\"\",\"version\":2}\n", "macOS could not update the system proxy settings.", false},
      {"{\"ok\":false,\"error\":\"Invalid proxy command.\"}\n", "Invalid proxy command.", false},
      {"{\"ok\":\"true\",\"version\":2}\n", rejected, false},
      {"{\"ok\":\"true\",\"error\":\"nope\"}\n", "nope", false},
      {"{\"ok\":false,\"error\":7}\n", rejected, false},
      {"[true]\n", "The proxy helper returned an invalid response.", false},
      {"", none, false},
      {std::string(70000, 'x'), none, false}};
  for (const auto& [reply, expected, available] : cases) {
    ScriptedDaemon daemon(reply), pinged(reply);
    EXPECT_EQ(text(daemon.ask("/usr/sbin/networksetup -x 'a/b'")), expected) << reply;
    EXPECT_EQ(daemon.request(), "{\"command\":\"\\/usr\\/sbin\\/networksetup -x 'a\\/b'\"}\n");
    EXPECT_EQ(pinged.available(), available) << reply;
    EXPECT_EQ(pinged.request(), "{\"command\":\"ping\"}\n");
  }
  auto notJson = ScriptedDaemon("{ok}\n").ask("ping");
  EXPECT_TRUE(!notJson && std::holds_alternative<platform::Error>(notJson.error().error));  // the reader's own error
  EXPECT_EQ(text(HelperClient(kNobody).sendHelperCommand("ping")), "Unable to contact the proxy helper. (kept)");
  EXPECT_FALSE(HelperClient(kNobody).helperIsAvailable());
  EXPECT_EQ(openDescriptors(), before);
}

TEST(HelperClient, HungOrClosedDaemonFailsAfterTheHandOver) {
  // Takes the request and never answers: the exchange ends at its deadline.
  EXPECT_EQ(text(ScriptedDaemon("", true, false).ask("ping")), "The proxy helper did not answer in time.");
  // Closes unread a request far larger than the socket buffers; the process lives on.
  EXPECT_EQ(text(ScriptedDaemon("", false).ask(std::string(4 << 20, 'a'))), "The proxy helper connection closed.");
}

// Before installing, a probe tells a helper that is not there from one that
// is restarting or slow to answer; only the first is missing.
TEST(HelperClient, ProbeWaitsForARestartAndForABusyHelper) {
  const ProbePatience brief{300ms, 300ms}, ample{3s, 3s};
  const std::string pong = "{\"ok\":true,\"version\":2}\n";
  EXPECT_EQ(HelperClient(kNobody, ample).probe(), HelperPresence::missing);  // no socket file: at once
  EXPECT_EQ(ScriptedDaemon("{\"ok\":true,\"version\":1}\n").probe(ample), HelperPresence::other);
  EXPECT_EQ(ScriptedDaemon("{\"ok\":false,\"error\":\"Unauthorized helper client.\"}\n", false).probe(ample), HelperPresence::other);
  EXPECT_EQ(ScriptedDaemon(pong, true, true, 1s).probe(ample), HelperPresence::current);  // busy, then answers
  EXPECT_EQ(ScriptedDaemon(pong, true, false).probe(brief), HelperPresence::unresponsive);  // taken, never answered
  // A socket file nobody accepts on: refused until the patience ends, or
  // until the restarted daemon listens there again (and the dying one
  // dropped a connection unanswered first).
  tavlune::testing::TempDir dir;
  const std::string path = dir / "helper.sock";
  auto listenAt = [address = helperprotocol::makeAddress(path), &path] {
    platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    unlink(path.c_str());
    bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), helperprotocol::kAddressLength), listen(fd.get(), 8);
    return fd;
  };
  listenAt().reset();  // the file stays behind
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(HelperClient(path, brief).probe(), HelperPresence::missing);
  EXPECT_GE(std::chrono::steady_clock::now() - started, brief.restart);
  std::thread restart([&] {
    std::this_thread::sleep_for(500ms);
    platform::UniqueFd listener = listenAt();
    platform::UniqueFd(accept(listener.get(), nullptr, nullptr)).reset();
    platform::UniqueFd connection(accept(listener.get(), nullptr, nullptr));
    ::send(connection.get(), pong.data(), pong.size(), MSG_NOSIGNAL);
  });
  EXPECT_EQ(HelperClient(path, ample).probe(), HelperPresence::current);
  restart.join();
}

TEST(ExchangeDeadline, PingIsShortAndACommandLineGrowsWithItsRuns) {
  const std::string run = "/usr/sbin/networksetup -x";
  for (const auto& [command, deadline] : std::vector<std::pair<std::string, std::chrono::milliseconds>>{
           {"ping", 5s}, {"chrome-webrtc-on", 20s}, {" ping", 20s}, {run, 21s}, {run + " && " + run + " && " + run, 23s}})
    EXPECT_EQ(exchangeDeadline(command), deadline) << command;
}

// The program at its fixed socket path, in a mount namespace of its own whose
// /var/run is private, reached from here through that namespace's root.
struct RealHelperProgram {
  explicit RealHelperProgram(uid_t allowed) {
    std::string script = "mount -t tmpfs none /var/run && echo $$ > '" + pidFile_ + "' && exec '" HELPER_PROGRAM "' --uid " +
                         std::to_string(allowed);
    if ((launcher_ = fork()) == 0)
      execl("/usr/bin/unshare", "unshare", "--mount", "--fork", "/bin/sh", "-c", script.c_str(), nullptr), _exit(127);
  }
  ~RealHelperProgram() {
    if (daemon_ > 0) kill(daemon_, SIGTERM);
    waitpid(launcher_, nullptr, 0);
  }
  // The path as seen from here, once a connect succeeds: the file appears at bind, before listen.
  std::optional<std::string> socketPath() {
    for (int i = 0; i < 250; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
      if (!(std::ifstream(pidFile_) >> daemon_)) continue;
      // /var/run is often a link to /run, followed on our side of that root.
      std::string path = "/proc/" + std::to_string(daemon_) + "/root" +
                         std::filesystem::canonical("/var/run").string() + "/com.tavlune.proxyhelper.sock";
      sockaddr_un address = helperprotocol::makeAddress(path);
      platform::UniqueFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
      if (connect(probe.get(), reinterpret_cast<sockaddr*>(&address), helperprotocol::kAddressLength) == 0) return path;
    }
    return std::nullopt;
  }
  testing::TempDir temp_;
  std::string pidFile_ = temp_ / "helper.pid";
  pid_t launcher_ = -1;
  pid_t daemon_ = -1;
};

TEST(RealHelperProgram, AnswersItsUserAndRefusesAnother) {
  if (geteuid() != 0 && !std::getenv("CI")) GTEST_SKIP() << "needs root for a private mount namespace";
  for (auto [allowed, available] : {std::pair{getuid(), true}, {getuid() + 1, false}}) {
    RealHelperProgram program(allowed);
    auto path = program.socketPath();
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(HelperClient(*path).helperIsAvailable(), available);
    EXPECT_EQ(text(HelperClient(*path).sendHelperCommand("/usr/sbin/networksetup -setwebproxystate 'x' off; id")),
              available ? "Invalid proxy command." : "Unauthorized helper client.");
  }
}

}  // namespace
}  // namespace tavlune::helperclient
