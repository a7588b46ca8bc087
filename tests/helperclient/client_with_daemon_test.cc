// The client against the installed helper program itself.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "helperclient/helper_client.h"
#include "tests/support/temp_dir.h"

namespace tavlune {
namespace {
using namespace tavlune::helperclient;
using namespace tavlune::model;

namespace fs = std::filesystem;

// The installed program itself, at its fixed socket path: run in a mount
// namespace of its own whose /var/run is private, and reached from here through
// that namespace's root.
class RealHelperProgram {
 public:
  explicit RealHelperProgram(uid_t allowed) {
    pidFile_ = temp_ / "helper.pid";
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
  testing::TempDir temp_;
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
    EXPECT_EQ(localizedDescription(reply.error().error), available ? "Invalid proxy command." : "Unauthorized helper client.");
  }
}

}  // namespace
}  // namespace tavlune
