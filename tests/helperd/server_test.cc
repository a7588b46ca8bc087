#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helper_test_support.h"

namespace tavlune::helperd {
namespace {

using namespace testing;
using helperprotocol::Reply;

std::string pong() { return replyLine(Reply::pong()); }

std::string fileText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// A stand-in shell, made executable, with the given body.
std::string writeShell(const TempDir& folder, const std::string& body) {
  return folder.write("shell", "#!/bin/bash\n" + body, true);
}

ServerConfig withTimeout(int milliseconds) {
  ServerConfig c = configForThisUser();
  c.requestTimeoutMilliseconds = milliseconds;
  return c;
}

ServerConfig withShell(std::string shell) {
  ServerConfig c = configForThisUser();
  c.shell = std::move(shell);
  return c;
}

class ServerTest : public ::testing::Test {
 protected:
  TempDir folder;
};

TEST_F(ServerTest, AnswersEachRequestShape) {
  RunningServer server(folder);
  ASSERT_TRUE(server.listening());
  const std::string invalid = invalidReply();
  for (const auto& [request, expected] : std::vector<std::pair<std::string, std::string>>{
           {kPing, pong()},
           {"{\"other\":[1,2],\"command\":\"ping\"}\n", pong()},
           {"{\"command\":\"ping\"}", pong()},  // no line feed: the peer's close ends it
           {" \t{ \"command\" : \"ping\" }\r\n", pong()},
           {"{\"command\":\"Ping\"}\n", invalid},
           {"{\"command\":\"ping \"}\n", invalid},
           {"{\"command\":\" ping\"}\n", invalid},
           {"{\"command\":[\"ping\"]}\n", invalid},
           {"{\"cmd\":\"ping\"}\n", invalid},
           {"\"ping\"\n", invalid},
           {"{\"command\":\"ping\"\n", invalid},
           {"{\"command\":\"ping\"}\nX", invalid},
           {kPing + kPing, invalid},
           {"\n", invalid},
           {"", invalid},
           {"{\"command\":\"\xff\"}\n", invalid},
           {"{\"command\":\"ping\\u0000\"}\n", invalid},
           {"{\"command\":\"\"}\n", invalid},
           {std::string(100, '[') + std::string(100, ']') + "\n", invalid}})
    EXPECT_EQ(server.exchange(request), expected) << request;
}

TEST_F(ServerTest, ChromeCommandsSwitchThePolicyAndReportFailures) {
  RunningServer server(folder);
  EXPECT_EQ(server.exchange(commandLine("chrome-webrtc-on")), replyLine(Reply::success()));
  EXPECT_TRUE(std::filesystem::exists(server.chrome().policy));
  EXPECT_TRUE(std::filesystem::exists(server.chrome().marker));
  EXPECT_EQ(server.exchange(commandLine("chrome-webrtc-off")), replyLine(Reply::success()));
  EXPECT_FALSE(std::filesystem::exists(server.chrome().policy));
  EXPECT_FALSE(std::filesystem::exists(server.chrome().marker));

  std::filesystem::remove_all(folder / "Managed Preferences");
  std::ofstream(folder / "Managed Preferences") << "x";  // a file where the folder must go
  auto reply = helperprotocol::decodeReply(server.exchange(commandLine("chrome-webrtc-on")));
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->ok);
  EXPECT_NE(reply->error.value_or("").find("Managed Preferences"), std::string::npos) << reply->error.value_or("");
}

TEST_F(ServerTest, RunsAnAllowedLineThroughTheShellAndReportsItsResult) {
  const std::string line =
      "/usr/sbin/networksetup -setwebproxystate 'Wi-Fi' off && /usr/sbin/networksetup -setwebproxy 'Wi-Fi' "
      "'203.0.113.5' 80 on 'u'\"'\"'s' 'p/w'";
  for (int status : {0, 4}) {
    const std::string body = "printf '%s\\n' \"$@\" > '" + folder / "arguments" + "'\ncat > '" + folder / "input" +
                             "'\necho '** Error: no such service' >&2\nexit " + std::to_string(status) + "\n";
    RunningServer server(folder, withShell(writeShell(folder, body)));
    EXPECT_EQ(server.exchange(commandLine(line)),
              status == 0 ? replyLine(Reply::success()) : failureLine("** Error: no such service"));
    // The line, password and all, never in the shell's argument list.
    EXPECT_EQ(fileText(folder / "arguments"), "-s\n");
    EXPECT_EQ(fileText(folder / "input"), line);
  }
}

TEST_F(ServerTest, ShellThatCannotStartIsReportedWithTheLaunchError) {
  RunningServer server(folder, withShell(folder / "missing-shell"));
  auto reply = helperprotocol::decodeReply(server.exchange(commandLine("/usr/sbin/networksetup -setautoproxystate 'x' off")));
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->ok);
  EXPECT_NE(reply->error.value_or("").find(folder / "missing-shell"), std::string::npos) << reply->error.value_or("");
  EXPECT_NE(reply->error.value_or("").find("No such file or directory"), std::string::npos) << reply->error.value_or("");
}

// 65536 bytes without a line feed are read further (the line feed arriving in a
// later write); one more byte is refused at once, however the peer ends its message.
TEST_F(ServerTest, FramingAtTheSizeLimit) {
  RunningServer server(folder);
  for (const auto& [size, lineFeedLater] : std::vector<std::pair<std::size_t, bool>>{
           {65536, false}, {65536, true}, {65537, false}, {65537, true}}) {
    std::string request = "{\"command\":\"ping\"}";
    request.resize(size, ' ');
    int fd = connectTo(server.socketPath());
    ASSERT_TRUE(sendAll(fd, request));
    if (!lineFeedLater) {
      ::shutdown(fd, SHUT_WR);
    } else if (size == 65536) {  // over the limit no line feed is needed
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      sendAll(fd, "\n");
    }
    EXPECT_EQ(readAll(fd), size == 65536 ? pong() : invalidReply()) << size << lineFeedLater;
    ::close(fd);
  }
}

TEST_F(ServerTest, PeerClosingBeforeItsReplyDoesNotEndTheServer) {
  RunningServer server(folder);
  for (int i = 0; i < 20; ++i) {
    int fd = connectTo(server.socketPath());
    sendAll(fd, kPing);
    ::close(fd);
  }
  EXPECT_EQ(server.exchange(kPing), pong());
}

TEST_F(ServerTest, StalledClientIsCutOffAndTheNextOneServed) {
  RunningServer server(folder, withTimeout(300));
  for (int trickle : {0, 60}) {
    int stalled = connectTo(server.socketPath());
    // Trickling: each byte well within the time-out, the whole line far beyond it.
    for (char byte : std::string(trickle ? "{\"command\":\"ping\"}  " : "")) {
      if (!sendAll(stalled, std::string(1, byte))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(trickle));
    }
    if (trickle) sendAll(stalled, "\n");
    // A complete ping never becomes a message once the deadline has passed.
    EXPECT_EQ(readAll(stalled), invalidReply()) << trickle;
    ::close(stalled);
    EXPECT_EQ(server.exchange(kPing), pong()) << trickle;
  }
}

// A forked child connects as another user; the daemon must answer at once,
// without waiting for a request that never comes.
TEST_F(ServerTest, PeerOfAnotherUserIsRefusedWithoutItsRequestBeingRead) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to start a client as another user";
  ::chmod(folder.path().c_str(), 0755);
  RunningServer server(folder, withTimeout(60'000));  // reading would hold the test far longer
  for (bool sendsRequest : {false, true}) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
      int fd = connectTo(server.socketPath());
      if (fd < 0) _exit(3);
      if (sendsRequest) sendAll(fd, kPing);
      std::string reply = readAll(fd);
      (void)!::write(pipeFds[1], reply.data(), reply.size());
      _exit(0);
    }
    ::close(pipeFds[1]);
    std::string reply = readAll(pipeFds[0]);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(reply, unauthorizedReply()) << sendsRequest;
  }
  EXPECT_EQ(server.exchange(kPing), pong());  // the owner is still served
}

// Over TCP the kernel knows no peer user; the server must not fall back to its own.
TEST_F(ServerTest, PeerWhoseCredentialsCannotBeReadIsRefused) {
  ServerConfig c = configForThisUser();
  c.socketPath = folder / "helper.sock";
  auto server = HelperServer::listen(c);
  ASSERT_TRUE(server);
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  sendAll(client, kPing);
  server->serve(platform::UniqueFd(::accept(listener, nullptr, nullptr)));
  EXPECT_EQ(readAll(client), unauthorizedReply());
  ::close(client);
  ::close(listener);
}

TEST_F(ServerTest, WithoutAnAllowedUserEveryoneIsRefused) {
  ServerConfig c = configForThisUser();
  c.allowedUid = kNoUser;
  EXPECT_EQ(RunningServer(folder, c).exchange(kPing), unauthorizedReply());
}

TEST_F(ServerTest, ReplacesAStaleSocketFileAndOpensItToEveryone) {
  std::ofstream(folder / "helper.sock") << "left by a crash";
  RunningServer server(folder);
  ASSERT_TRUE(server.listening());
  struct stat status;
  ASSERT_EQ(::stat(server.socketPath().c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0666u);
  EXPECT_EQ(server.exchange(kPing), pong());
}

TEST_F(ServerTest, ListenFailsWhereTheSocketCannotBeBound) {
  ServerConfig c = configForThisUser();
  c.socketPath = folder / "missing-folder/helper.sock";
  auto server = HelperServer::listen(c);
  ASSERT_FALSE(server);
  EXPECT_NE(server.error().description.find("missing-folder"), std::string::npos);
}

TEST_F(ServerTest, ServerDescriptorsAreNotInheritedByCommands) {
  // What a command started by the shell holds open.
  RunningServer server(folder, withShell(writeShell(folder, "/bin/ls /proc/self/fd > '" + folder / "fds" + "'\n")));
  EXPECT_EQ(server.exchange(commandLine("/usr/sbin/networksetup -setautoproxystate 'x' off")),
            replyLine(Reply::success()));
  // The standard three and the one ls opens to read the folder.
  EXPECT_EQ(fileText(folder / "fds"), "0\n1\n2\n3\n");
}

}  // namespace
}  // namespace tavlune::helperd
