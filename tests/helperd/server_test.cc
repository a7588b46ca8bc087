#include <arpa/inet.h>
#include <fcntl.h>
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
using helper::Reply;

std::string pong() { return replyLine(Reply::pong()); }

struct ExchangeCase {
  const char* name;
  std::string request;
  std::string expected;
};

class ServerTest : public ::testing::Test {
 protected:
  TemporaryFolder folder;
};

TEST_F(ServerTest, AnswersEachRequestShape) {
  RunningServer server(folder);
  ASSERT_TRUE(server.listening());
  const std::vector<ExchangeCase> cases = {
      {"ping", "{\"command\":\"ping\"}\n", pong()},
      {"ping with escaped slash elsewhere", "{\"command\":\"ping\",\"x\":\"a\\/b\"}\n", pong()},
      {"ping, extra keys ignored", "{\"other\":[1,2],\"command\":\"ping\"}\n", pong()},
      {"ping without line feed, peer closes", "{\"command\":\"ping\"}", pong()},
      {"ping in white space", " \t{ \"command\" : \"ping\" }\r\n", pong()},
      {"Ping", "{\"command\":\"Ping\"}\n", invalidReply()},
      {"ping with a blank after", "{\"command\":\"ping \"}\n", invalidReply()},
      {"ping with a blank before", "{\"command\":\" ping\"}\n", invalidReply()},
      {"command a number", "{\"command\":1}\n", invalidReply()},
      {"command null", "{\"command\":null}\n", invalidReply()},
      {"command an array", "{\"command\":[\"ping\"]}\n", invalidReply()},
      {"no command key", "{\"cmd\":\"ping\"}\n", invalidReply()},
      {"an array", "[\"ping\"]\n", invalidReply()},
      {"a string", "\"ping\"\n", invalidReply()},
      {"bare word", "ping\n", invalidReply()},
      {"not JSON", "{\"command\":\"ping\"\n", invalidReply()},
      {"trailing comma", "{\"command\":\"ping\",}\n", invalidReply()},
      {"bytes after the line feed", "{\"command\":\"ping\"}\nX", invalidReply()},
      {"two requests", "{\"command\":\"ping\"}\n{\"command\":\"ping\"}\n", invalidReply()},
      {"empty line", "\n", invalidReply()},
      {"nothing, peer closes", "", invalidReply()},
      {"invalid UTF-8", "{\"command\":\"\xff\"}\n", invalidReply()},
      {"NUL escape", "{\"command\":\"ping\\u0000\"}\n", invalidReply()},
      {"empty command", "{\"command\":\"\"}\n", invalidReply()},
      {"other tool", "{\"command\":\"/bin/true\"}\n", invalidReply()},
      {"networksetup without its folder", "{\"command\":\"networksetup -setwebproxystate 'Wi-Fi' off\"}\n",
       invalidReply()},
      {"line ending in &&",
       "{\"command\":\"\\/usr\\/sbin\\/networksetup -setwebproxystate 'Wi-Fi' off &&\"}\n", invalidReply()},
      {"&& inside a quoted name",
       "{\"command\":\"/usr/sbin/networksetup -setwebproxystate 'A&&B' off\"}\n", invalidReply()},
      {"deep nesting", std::string(100, '[') + std::string(100, ']') + "\n", invalidReply()},
  };
  for (const auto& c : cases) EXPECT_EQ(server.exchange(c.request), c.expected) << c.name;
}

TEST_F(ServerTest, ChromeCommandsSwitchThePolicy) {
  RunningServer server(folder);
  EXPECT_EQ(server.exchange(commandLine("chrome-webrtc-on")), replyLine(Reply::success()));
  EXPECT_TRUE(std::filesystem::exists(server.chrome().policy));
  EXPECT_TRUE(std::filesystem::exists(server.chrome().marker));
  EXPECT_EQ(server.exchange(commandLine("chrome-webrtc-off")), replyLine(Reply::success()));
  EXPECT_FALSE(std::filesystem::exists(server.chrome().policy));
  EXPECT_FALSE(std::filesystem::exists(server.chrome().marker));
}

TEST_F(ServerTest, ChromeFailureCarriesItsDescription) {
  RunningServer server(folder);
  // A file where the folder must go.
  std::ofstream(folder / "Managed Preferences") << "x";
  std::string reply = server.exchange(commandLine("chrome-webrtc-on"));
  auto decoded = helper::decodeReply(reply);
  ASSERT_TRUE(decoded) << reply;
  EXPECT_FALSE(decoded->ok);
  EXPECT_NE(decoded->error.value_or("").find("Managed Preferences"), std::string::npos) << reply;
}

// A stand-in shell that records what it was given and answers as told.
std::string writeRecordingShell(const TemporaryFolder& folder, int status, const std::string& stderrText) {
  std::string path = folder / "shell";
  std::ofstream(path) << "#!/bin/bash\nprintf '%s\\n' \"$@\" > '" << (folder / "arguments") << "'\n"
                      << "printf '%s' '" << stderrText << "' >&2\nexit " << status << "\n";
  ::chmod(path.c_str(), 0755);
  return path;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(ServerTest, RunsAnAllowedLineThroughTheShellAndReportsItsResult) {
  const std::string line =
      "/usr/sbin/networksetup -setwebproxystate 'Wi-Fi' off && /usr/sbin/networksetup -setwebproxy 'Wi-Fi' "
      "'203.0.113.5' 80 on 'u'\"'\"'s' 'p/w'";
  struct Case {
    int status;
    std::string expected;
  };
  for (const Case& c : {Case{0, replyLine(Reply::success())},
                        Case{4, replyLine(Reply::failure("** Error: no such service"))}}) {
    auto config = configForThisUser();
    config.shell = writeRecordingShell(folder, c.status, "** Error: no such service\n");
    RunningServer server(folder, config);
    EXPECT_EQ(server.exchange(commandLine(line)), c.expected) << c.status;
    EXPECT_EQ(fileText(folder / "arguments"), "-c\n" + line + "\n");
  }
}

TEST_F(ServerTest, ShellThatCannotStartIsReportedWithTheLaunchError) {
  auto config = configForThisUser();
  config.shell = folder / "missing-shell";
  RunningServer server(folder, config);
  auto reply = helper::decodeReply(server.exchange(commandLine("/usr/sbin/networksetup -setautoproxystate 'x' off")));
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->ok);
  EXPECT_NE(reply->error.value_or("").find("No such file or directory"), std::string::npos);
}

// Framing limits: 65536 bytes without a line feed are read further, one more
// byte is refused, however the peer then ends its message.
TEST_F(ServerTest, FramingAtTheSizeLimit) {
  RunningServer server(folder);
  auto padded = [](std::size_t size) {
    std::string body = "{\"command\":\"ping\"}";
    return body + std::string(size - body.size(), ' ');
  };
  struct Case {
    const char* name;
    std::size_t size;
    bool lineFeedLater;  // else the peer half-closes
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"65536 then half-close", 65536, false, pong()},
      {"65536 then line feed", 65536, true, pong()},
      {"65537 then half-close", 65537, false, invalidReply()},
      {"65537, line feed never needed", 65537, true, invalidReply()},
  };
  for (const auto& c : cases) {
    int fd = connectTo(server.socketPath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, padded(c.size)));
    if (c.lineFeedLater) {
      // Over the limit the reply comes without waiting for more.
      if (c.size <= 65536) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sendAll(fd, "\n");
      }
    } else {
      ::shutdown(fd, SHUT_WR);
    }
    EXPECT_EQ(readAll(fd), c.expected) << c.name;
    ::close(fd);
  }
}

TEST_F(ServerTest, RequestSplitOverSeveralWrites) {
  RunningServer server(folder);
  for (std::vector<std::string> parts : {std::vector<std::string>{"{\"comm", "and\":\"pi", "ng\"}", "\n"},
                                          std::vector<std::string>{"{\"command\":\"ping\"}", "\n"},
                                          std::vector<std::string>{"{", "\"command\"", ":", "\"ping\"", "}"}}) {
    int fd = connectTo(server.socketPath());
    for (const auto& part : parts) {
      sendAll(fd, part);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (parts.back() != "\n") ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(readAll(fd), pong()) << parts.size();
    ::close(fd);
  }
}

TEST_F(ServerTest, PeerClosingBeforeItsReplyDoesNotEndTheServer) {
  RunningServer server(folder);
  for (int i = 0; i < 20; ++i) {
    int fd = connectTo(server.socketPath());
    sendAll(fd, "{\"command\":\"ping\"}\n");
    ::close(fd);
  }
  EXPECT_EQ(server.exchange("{\"command\":\"ping\"}\n"), pong());
}

TEST_F(ServerTest, StalledClientIsCutOffAndTheNextOneServed) {
  auto config = configForThisUser();
  config.requestTimeoutMilliseconds = 300;
  RunningServer server(folder, config);

  struct Case {
    const char* name;
    std::string sent;
    int trickleMilliseconds;  // 0: send at once, then stall
  };
  for (const Case& c : {Case{"silent", "", 0}, Case{"half a ping", "{\"command\":\"ping\"}", 0},
                        Case{"a byte at a time", "{\"command\":\"ping\"}  ", 60}}) {
    int stalled = connectTo(server.socketPath());
    ASSERT_GE(stalled, 0);
    if (c.trickleMilliseconds == 0) {
      sendAll(stalled, c.sent);
    } else {
      // Each byte well within the time-out, the whole line far beyond it.
      for (char byte : c.sent) {
        if (!sendAll(stalled, std::string(1, byte))) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(c.trickleMilliseconds));
      }
      sendAll(stalled, "\n");
    }
    // A complete ping never becomes a message once the deadline has passed.
    EXPECT_EQ(readAll(stalled), invalidReply()) << c.name;
    ::close(stalled);
    EXPECT_EQ(server.exchange("{\"command\":\"ping\"}\n"), pong()) << c.name;
  }
}

TEST_F(ServerTest, ServesAgainAfterAStalledClientWhileOthersQueue) {
  auto config = configForThisUser();
  config.requestTimeoutMilliseconds = 300;
  RunningServer server(folder, config);
  int stalled = connectTo(server.socketPath());
  // Queued behind the stalled one; served once its time is up.
  EXPECT_EQ(server.exchange("{\"command\":\"ping\"}\n"), pong());
  EXPECT_EQ(readAll(stalled), invalidReply());
  ::close(stalled);
}

// A forked child connects as another user; the daemon must answer at once,
// without waiting for a request that never comes.
TEST_F(ServerTest, PeerOfAnotherUserIsRefusedWithoutItsRequestBeingRead) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to start a client as another user";
  ::chmod(folder.path().c_str(), 0755);
  auto config = configForThisUser();
  config.requestTimeoutMilliseconds = 60'000;  // reading would hold the test far longer
  RunningServer server(folder, config);

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
      if (sendsRequest) sendAll(fd, "{\"command\":\"ping\"}\n");
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
  // The owner is still served.
  EXPECT_EQ(server.exchange("{\"command\":\"ping\"}\n"), pong());
}

// Over TCP the kernel knows no peer user; the server must not fall back to
// any id of its own.
TEST_F(ServerTest, PeerWhoseCredentialsCannotBeReadIsRefused) {
  for (uint32_t allowed : {static_cast<uint32_t>(::getuid()), static_cast<uint32_t>(::geteuid()), kNoUser}) {
    ServerConfig config = configForThisUser();
    config.socketPath = folder / "helper.sock";
    config.allowedUid = allowed;
    auto server = HelperServer::listen(config);
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
    int accepted = ::accept(listener, nullptr, nullptr);
    sendAll(client, "{\"command\":\"ping\"}\n");
    server->serve(accepted);
    EXPECT_EQ(readAll(client), unauthorizedReply()) << allowed;
    ::close(client);
    ::close(listener);
  }
}

TEST_F(ServerTest, WithoutAnAllowedUserEveryoneIsRefused) {
  auto config = configForThisUser();
  config.allowedUid = kNoUser;
  RunningServer server(folder, config);
  EXPECT_EQ(server.exchange("{\"command\":\"ping\"}\n"), unauthorizedReply());
}

TEST_F(ServerTest, ReplacesAStaleSocketFileAndOpensItToEveryone) {
  std::string path = folder / "helper.sock";
  std::ofstream(path) << "left by a crash";
  RunningServer server(folder);
  ASSERT_TRUE(server.listening());
  struct stat status;
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0666u);
  EXPECT_EQ(server.exchange("{\"command\":\"ping\"}\n"), pong());
}

TEST_F(ServerTest, ListenFailsWhereTheSocketCannotBeBound) {
  ServerConfig config = configForThisUser();
  config.socketPath = folder / "missing-folder/helper.sock";
  auto server = HelperServer::listen(config);
  ASSERT_FALSE(server);
  EXPECT_NE(server.error().description.find("missing-folder"), std::string::npos);
}

TEST_F(ServerTest, ServerDescriptorsAreNotInheritedByCommands) {
  auto config = configForThisUser();
  std::string shell = folder / "shell";
  // What a command started by the shell holds open.
  std::ofstream(shell) << "#!/bin/bash\n/bin/ls /proc/self/fd > '" << (folder / "fds") << "'\n";
  ::chmod(shell.c_str(), 0755);
  config.shell = shell;
  RunningServer server(folder, config);
  EXPECT_EQ(server.exchange(commandLine("/usr/sbin/networksetup -setautoproxystate 'x' off")),
            replyLine(Reply::success()));
  std::istringstream fds(fileText(folder / "fds"));
  std::vector<std::string> listed;
  for (std::string fd; fds >> fd;) listed.push_back(fd);
  // The standard three and the one ls opens to read the folder.
  EXPECT_EQ(listed, (std::vector<std::string>{"0", "1", "2", "3"})) << fileText(folder / "fds");
}

}  // namespace
}  // namespace tavlune::helperd
