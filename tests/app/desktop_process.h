// Runs the real TavluneDesktop for a test: its own HOME (so its defaults, lock
// and socket are private), its own session (so no terminal is there to ask
// for approval), its output kept in files.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <thread>
#include "channel/method_reply.h"
#include "channel/socket_messenger_client.h"
#include "channel/standard_codec.h"
#include "tests/support/temp_dir.h"
namespace tavlune::testing {
using namespace std::chrono_literals;

struct TemporaryHome {
  std::string folder() const { return path + "/Library/Application Support/Tavlune"; }
  std::string socket() const { return folder() + "/channel.sock"; }
  std::string defaults() const { return path + "/Library/Preferences/com.tavlune.desktop.plist"; }
  // The environment with HOME replaced, and these entries added.
  std::vector<std::string> environment(std::vector<std::string> more = {}) const {
    for (char** entry = environ; *entry; ++entry)
      if (std::string_view(*entry).rfind("HOME=", 0) != 0) more.emplace_back(*entry);
    more.push_back("HOME=" + path);
    return more;
  }
  TempDir temp;
  std::string path = temp.path();
};

class DesktopProcess {
 public:
  explicit DesktopProcess(const TemporaryHome& home, std::vector<std::string> arguments = {}) : home_(home) {
    static int count = 0;
    out_ = home.temp / ("stdout." + std::to_string(count)), err_ = home.temp / ("stderr." + std::to_string(count++));
    arguments.insert(arguments.begin(), TAVLUNE_DESKTOP_PATH);
    auto env = home.environment();
    // Everything the child needs is made before fork: other threads may hold the allocator's lock.
    std::vector<char*> args, envp;
    for (auto& a : arguments) args.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    args.push_back(nullptr), envp.push_back(nullptr);
    if ((pid_ = fork()) == 0) {
      setsid();
      dup2(open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
  }
  ~DesktopProcess() {
    if (running()) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }
  void signal(int number) const { kill(pid_, number); }
  bool running() {
    if (!status_ && waitpid(pid_, &status_.emplace(), WNOHANG) != pid_) status_.reset();
    return !status_;
  }
  // The exit status, 128 + the signal for a signal, or absent if still running after timeout.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout = 30s) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; running() && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(10ms);
    if (!status_) return std::nullopt;
    return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : 128 + WTERMSIG(*status_);
  }
  std::string standardOutput() const { return slurp(out_); }
  std::string standardError() const { return slurp(err_); }
  // Connected once the application serves its socket; absent if it never does.
  std::unique_ptr<channel::SocketMessengerClient> connect() {
    for (auto deadline = std::chrono::steady_clock::now() + 20s; running() && std::chrono::steady_clock::now() < deadline;) {
      if (auto client = channel::SocketMessengerClient::connect(home_.socket())) return std::move(*client);
      std::this_thread::sleep_for(20ms);
    }
    return nullptr;
  }
 private:
  static std::string slurp(const std::string& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }
  const TemporaryHome& home_;
  std::string out_, err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// One method call and its decoded reply; an error when the channel failed.
inline platform::Result<channel::MethodReply> call(channel::SocketMessengerClient& client, const std::string& channelName,
                                                   const channel::MethodCall& methodCall) {
  auto reply = client.send(channelName, channel::EncodeMethodCall(methodCall)).get();
  if (!reply) return unexpected(reply.error());
  return channel::DecodeEnvelope(*reply);
}
inline constexpr const char* kVpnChannel = "com.tavlune.app/vpn";
inline constexpr const char* kWindowChannel = "com.tavlune.app/window";
}  // namespace tavlune::testing
