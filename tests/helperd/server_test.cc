// The daemon's server core on a thread, and plain socket clients.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fstream>
#include <sstream>
#include <thread>
#include "helperd/server.h"
#include "platform/process/process.h"
#include "tests/support/temp_dir.h"
namespace tavlune::helperd {
namespace {
using helperprotocol::Reply;
using tavlune::testing::TempDir;

int connectTo(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = helperprotocol::makeAddress(path);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), helperprotocol::kAddressLength) == 0) return fd;
  ::close(fd);
  return -1;
}
bool sendAll(int fd, std::string_view bytes) {
  for (ssize_t n; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n)))
    if ((n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) return false;
  return true;
}
// Everything until the other side closes.
std::string readAll(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  return out;
}
// A request without its line feed is ended by closing the sending side.
std::string exchange(const std::string& path, std::string_view request) {
  int fd = connectTo(path);
  if (fd < 0) return "<no connection>";
  sendAll(fd, request);
  if (request.find('\n') == std::string_view::npos) ::shutdown(fd, SHUT_WR);
  std::string reply = readAll(fd);
  ::close(fd);
  return reply;
}
std::string commandLine(std::string_view command) {
  return helperprotocol::encodeRequest(helperprotocol::Request{std::string(command)}).value();
}
std::string replyLine(const Reply& reply) { return helperprotocol::encodeReply(reply).value(); }
std::string failureLine(std::string_view text) { return replyLine(Reply::failure(std::string(text))); }
std::string invalidReply() { return failureLine(helperprotocol::kInvalidCommandText); }
std::string unauthorizedReply() { return failureLine(helperprotocol::kUnauthorizedText); }
const std::string kPing = "{\"command\":\"ping\"}\n";

ServerConfig mine(int timeoutMilliseconds = kRequestTimeoutMilliseconds, std::string shell = std::string(kShellPath)) {
  ServerConfig config;
  config.allowedUid = ::getuid(), config.requestTimeoutMilliseconds = timeoutMilliseconds, config.shell = std::move(shell);
  return config;
}

// The server core in a temporary folder, serving on its own thread.
class RunningServer {
 public:
  explicit RunningServer(const TempDir& folder, ServerConfig config = mine()) {
    config.socketPath = socketPath_ = folder / "helper.sock";
    config.commandLock = folder / "command.lock";
    config.chrome = chrome_ = {folder / "Managed Preferences/com.google.Chrome.plist",
                               folder / "Application Support/Tavlune/chrome-policy.backup.plist",
                               folder / "Application Support/Tavlune/chrome-policy.managed"};
    auto server = HelperServer::listen(std::move(config));
    if (!server) return;
    server_.emplace(std::move(*server));
    thread_ = std::thread([this] {
      while (!stopping_) server_->serveOne();
    });
  }
  ~RunningServer() {
    if (!server_) return;
    stopping_ = true;
    if (int fd = connectTo(socketPath_); fd >= 0) ::close(fd);  // wakes the accept
    thread_.join();
  }
  bool listening() const { return server_.has_value(); }
  const std::string& socketPath() const { return socketPath_; }
  const ChromePolicyPaths& chrome() const { return chrome_; }
  std::string send(std::string_view request) const { return helperd::exchange(socketPath_, request); }
 private:
  std::string socketPath_;
  ChromePolicyPaths chrome_;
  std::optional<HelperServer> server_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
std::string pong() { return replyLine(Reply::pong()); }
std::string fileText(const std::string& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }
std::string errorOf(const std::string& line) { return helperprotocol::decodeReply(line).value().value().error.value_or("-"); }
const std::string kSetAuto = commandLine("/usr/sbin/networksetup -setautoproxystate 'x' off");

class ServerTest : public ::testing::Test {
 protected:
  TempDir folder;
  std::string shell(const std::string& body) { return folder.write("shell", "#!/bin/bash\n" + body, true); }
};

TEST_F(ServerTest, AnswersEachRequestShape) {
  RunningServer server(folder);
  ASSERT_TRUE(server.listening());
  const std::string no = invalidReply();
  for (const auto& [request, expected] : std::vector<std::pair<std::string, std::string>>{
           {kPing, pong()}, {"{\"other\":[1,2],\"command\":\"ping\"}\n", pong()}, {"{\"command\":\"ping\"}", pong()},
           {" \t{ \"command\" : \"ping\" }\r\n", pong()}, {"{\"command\":\"Ping\"}\n", no},
           {"{\"command\":\"ping \"}\n", no}, {"{\"command\":\" ping\"}\n", no}, {"{\"command\":[\"ping\"]}\n", no},
           {"{\"cmd\":\"ping\"}\n", no}, {"\"ping\"\n", no}, {"{\"command\":\"ping\"\n", no},
           {"{\"command\":\"ping\"}\nX", no}, {kPing + kPing, no}, {"\n", no}, {"", no},
           {"{\"command\":\"\xff\"}\n", no}, {"{\"command\":\"ping\\u0000\"}\n", no}, {"{\"command\":\"\"}\n", no},
           {std::string(100, '[') + std::string(100, ']') + "\n", no}})
    EXPECT_EQ(server.send(request), expected) << request;
}

TEST_F(ServerTest, ChromeCommandsSwitchThePolicyAndReportFailures) {
  RunningServer server(folder);
  for (bool on : {true, false}) {
    EXPECT_EQ(server.send(commandLine(on ? "chrome-webrtc-on" : "chrome-webrtc-off")), replyLine(Reply::success()));
    EXPECT_EQ(std::filesystem::exists(server.chrome().policy), on);
    EXPECT_EQ(std::filesystem::exists(server.chrome().marker), on);
  }
  std::filesystem::remove_all(folder / "Managed Preferences");
  folder.write("Managed Preferences", "x");  // a file where the folder must go
  EXPECT_NE(errorOf(server.send(commandLine("chrome-webrtc-on"))).find("Managed Preferences"), std::string::npos);
}

// What is not a regular file at the policy path is refused at once, and no
// folder that is a link is written through; the daemon goes on serving.
TEST_F(ServerTest, ChromePolicyNeverWaitsOnAFifoNorWritesThroughALink) {
  RunningServer server(folder);
  const std::string policyFolder = folder / "Managed Preferences", elsewhere = folder / "elsewhere";
  std::filesystem::create_directories(policyFolder);
  std::filesystem::create_directories(elsewhere);
  ASSERT_EQ(::mkfifo(server.chrome().policy.c_str(), 0644), 0);
  for (int attempt = 0; attempt < 2; ++attempt)
    EXPECT_NE(errorOf(server.send(commandLine("chrome-webrtc-on"))).find("not a regular file"), std::string::npos);
  EXPECT_EQ(server.send(commandLine("chrome-webrtc-off")), replyLine(Reply::success()));  // nothing there is ours
  EXPECT_TRUE(std::filesystem::is_fifo(server.chrome().policy));
  EXPECT_EQ(server.send(kPing), pong());
  for (const std::string& linked : {policyFolder, folder / "Application Support/Tavlune"}) {
    std::filesystem::remove_all(folder / "Managed Preferences"), std::filesystem::remove_all(folder / "Application Support");
    std::filesystem::create_directories(std::filesystem::path(linked).parent_path());
    std::filesystem::create_directory_symlink(elsewhere, linked);
    EXPECT_NE(errorOf(server.send(commandLine("chrome-webrtc-on"))).find("symbolic link"), std::string::npos) << linked;
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere)) << linked;
  }
}

// An allowed line goes to the shell on its standard input; a line the strict test refuses never runs.
TEST_F(ServerTest, RunsOnlyAllowedLinesThroughTheShellAndReportsTheirResult) {
  const std::string line = "/usr/sbin/networksetup -setwebproxy 'Wi-Fi' '203.0.113.5' 80 on 'u'\"'\"'s' 'p/w'";
  for (int status : {0, 4}) {
    RunningServer server(folder, mine(kRequestTimeoutMilliseconds,
                                      shell("printf '%s\\n' \"$@\" > '" + folder / "arguments" + "'\ncat > '" +
                                            folder / "input" + "'\necho '** Error: x' >&2\nexit " + std::to_string(status) + "\n")));
    EXPECT_EQ(server.send(commandLine(line)), status ? failureLine("** Error: x") : replyLine(Reply::success()));
    // The line, password and all, never in the shell's argument list.
    EXPECT_EQ(fileText(folder / "arguments"), "-s\n");
    EXPECT_EQ(fileText(folder / "input"), line);
  }
  RunningServer server(folder);
  for (const char* tail : {"; touch ", " && touch ", "$(touch ", "\ntouch "})
    EXPECT_EQ(server.send(commandLine(line + tail + folder / "canary")), invalidReply()) << tail;
  EXPECT_FALSE(std::filesystem::exists(folder / "canary"));
}

TEST_F(ServerTest, ShellThatCannotStartIsReportedWithTheLaunchError) {
  RunningServer server(folder, mine(kRequestTimeoutMilliseconds, folder / "missing-shell"));
  const std::string error = errorOf(server.send(kSetAuto));
  EXPECT_NE(error.find(folder / "missing-shell"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST_F(ServerTest, CommandsInheritNoServerDescriptorButTheLock) {
  RunningServer server(folder, mine(kRequestTimeoutMilliseconds,
                                    shell("{ readlink /proc/self/fd/3; ls /proc/self/fd; } > '" + folder / "fds" + "'\n")));
  EXPECT_EQ(server.send(kSetAuto), replyLine(Reply::success()));
  EXPECT_EQ(fileText(folder / "fds"), folder / "command.lock\n0\n1\n2\n3\n4\n");  // the standard three, the lock and ls's own
}

// A daemon killed while its line runs leaves the line's shell behind; the next
// daemon runs no line until that shell has ended, and says nothing was
// changed when it outlasts the wait.
TEST_F(ServerTest, NoLineRunsWhileAnEarlierLinesProcessesStillRun) {
  const std::string log = folder / "log";
  const std::string slow = folder.write("slow", "#!/bin/bash\necho start >> '" + log + "'; sleep 0.6; echo end >> '" + log + "'\n", true);
  for (auto [wait, answer, after] : {std::tuple(5000, replyLine(Reply::success()), "start\nend\nline\n"),
                                     std::tuple(100, failureLine(kEarlierLineText), "start\nend\n")}) {
    std::filesystem::remove(log);
    ServerConfig first = mine(kRequestTimeoutMilliseconds, slow), next = mine(kRequestTimeoutMilliseconds, shell("echo line >> '" + log + "'\n"));
    first.socketPath = folder / "helper.sock", first.commandLock = folder / "command.lock";
    next.earlierLineWait = std::chrono::milliseconds(wait);
    pid_t daemon = ::fork();
    if (daemon == 0) {  // the first daemon: serves one line, killed as it runs
      if (auto server = HelperServer::listen(first)) server->serveOne();
      _exit(0);
    }
    int fd = -1;
    for (int i = 0; i < 200 && (fd = connectTo(first.socketPath)) < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(sendAll(fd, kSetAuto));
    for (int i = 0; i < 200 && fileText(log).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(daemon, SIGKILL), ::waitpid(daemon, nullptr, 0), ::close(fd);
    EXPECT_EQ(RunningServer(folder, next).send(kSetAuto), answer) << wait;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait == 100 ? 800 : 0));  // the orphan's end
    EXPECT_EQ(fileText(log), after) << wait;
  }
}

// 65536 bytes without a line feed are read further (the line feed arriving in a
// later write); one more byte is refused at once, however the peer ends its message.
TEST_F(ServerTest, FramingAtTheSizeLimit) {
  RunningServer server(folder);
  for (auto [size, lineFeedLater] : {std::pair{65536, false}, {65536, true}, {65537, false}, {65537, true}}) {
    std::string request = kPing.substr(0, kPing.size() - 1);
    request.resize(size, ' ');
    int fd = connectTo(server.socketPath());
    ASSERT_TRUE(sendAll(fd, request));
    if (!lineFeedLater) ::shutdown(fd, SHUT_WR);
    else if (size == 65536) std::this_thread::sleep_for(std::chrono::milliseconds(50)), sendAll(fd, "\n");
    EXPECT_EQ(readAll(fd), size == 65536 ? pong() : invalidReply()) << size << lineFeedLater;
    ::close(fd);
  }
}

// A peer that leaves before its reply, stalls, or trickles its line past the
// deadline costs only its own connection.
TEST_F(ServerTest, MisbehavingPeersDoNotStopTheServer) {
  RunningServer server(folder, mine(300));
  for (int i = 0; i < 20; ++i) {
    int fd = connectTo(server.socketPath());
    sendAll(fd, kPing), ::close(fd);
  }
  for (int trickle : {0, 60}) {
    int stalled = connectTo(server.socketPath());
    for (char byte : std::string(trickle ? "{\"command\":\"ping\"}  \n" : "")) {
      if (!sendAll(stalled, std::string(1, byte))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(trickle));
    }
    EXPECT_EQ(readAll(stalled), invalidReply()) << trickle;
    ::close(stalled);
    EXPECT_EQ(server.send(kPing), pong()) << trickle;
  }
}

// Another user's peer is answered at once, without its request being read.
TEST_F(ServerTest, PeerOfAnotherUserIsRefusedWithoutItsRequestBeingRead) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to start a client as another user";
  ::chmod(folder.path().c_str(), 0755);
  RunningServer server(folder, mine(60'000));  // reading would hold the test far longer
  for (bool sendsRequest : {false, true}) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
      int fd = connectTo(server.socketPath());
      if (sendsRequest) sendAll(fd, kPing);
      std::string reply = readAll(fd);
      _exit(::write(pipeFds[1], reply.data(), reply.size()) < 0);
    }
    ::close(pipeFds[1]);
    EXPECT_EQ(readAll(pipeFds[0]), unauthorizedReply()) << sendsRequest;
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
  }
  EXPECT_EQ(server.send(kPing), pong());
}

TEST_F(ServerTest, WithoutAnAllowedUserEveryoneIsRefused) {
  EXPECT_EQ(RunningServer(folder, ServerConfig{}).send(kPing), unauthorizedReply());
}

TEST_F(ServerTest, ReplacesAStaleSocketFileAndOpensItToEveryone) {
  folder.write("helper.sock", "left by a crash");
  RunningServer server(folder);
  struct stat status{};
  ASSERT_EQ(::stat(server.socketPath().c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0666u);
  EXPECT_EQ(server.send(kPing), pong());
}

// Where it cannot listen, the listen error names the place and the daemon exits 1.
TEST_F(ServerTest, NoSocketNoServer) {
  ServerConfig config;
  config.socketPath = folder / "missing-folder/helper.sock";
  auto server = HelperServer::listen(config);
  ASSERT_FALSE(server);
  EXPECT_NE(server.error().description.find("missing-folder"), std::string::npos);
  // Its socket folder is only root's to write to.
  auto ran = ::geteuid() == 0 ? platform::runProcess("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534",
                                                                         "--clear-groups", TAVLUNE_HELPER_PATH})
                              : platform::runProcess(TAVLUNE_HELPER_PATH, {});
  ASSERT_TRUE(ran);
  EXPECT_FALSE(ran->endedBySignal);
  EXPECT_EQ(ran->terminationStatus, 1);
}
}  // namespace
}  // namespace tavlune::helperd
