// The client against the installed helper program itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "helperclient/helper_client.h"
#include "platform/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace tavlune::helperclient {
namespace {

// The program at its fixed socket path, in a mount namespace of its own whose
// /var/run is private, reached from here through that namespace's root.
class RealHelperProgram {
 public:
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

 private:
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
    HelperClient client(*path);
    EXPECT_EQ(client.helperIsAvailable(), available);
    auto reply = client.sendHelperCommand("/usr/sbin/networksetup -setwebproxystate 'x' off; id");
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(model::localizedDescription(reply.error().error),
              available ? "Invalid proxy command." : "Unauthorized helper client.");
  }
}

}  // namespace
}  // namespace tavlune::helperclient
