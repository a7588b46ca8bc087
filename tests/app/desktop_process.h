// Runs the real TavluneDesktop for a test: its own HOME (so its defaults, lock
// and socket are private), its own session (so no terminal is there to ask
// for approval), its standard error kept in a file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "channel/method_reply.h"
#include "channel/socket_messenger_client.h"
#include "channel/standard_codec.h"
#include "tests/support/temp_dir.h"

namespace tavlune::testing {

class TemporaryHome {
 public:
  std::string folder() const { return path + "/Library/Application Support/Tavlune"; }
  std::string socket() const { return folder() + "/channel.sock"; }
  std::string defaults() const { return path + "/Library/Preferences/com.tavlune.desktop.plist"; }
  TempDir temp;
  std::string path = temp.path();
};

// The environment with HOME replaced.
inline std::vector<std::string> environmentWithHome(const std::string& home) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry)
    if (std::string(*entry).rfind("HOME=", 0) != 0) entries.emplace_back(*entry);
  entries.push_back("HOME=" + home);
  return entries;
}

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& home,
               const std::string& outputFolder)
      : out_(outputFolder + "/stdout." + std::to_string(counter())),
        err_(outputFolder + "/stderr." + std::to_string(counter())) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto env = environmentWithHome(home);
    // Everything the child needs is made before fork: other threads may hold
    // the allocator's lock at that moment.
    std::vector<char*> args, envp;
    for (auto& a : argv) args.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(err, 2);
      execve(program.c_str(), args.data(), envp.data());
      _exit(127);
    }
  }
  ~ChildProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  void signal(int number) const { kill(pid_, number); }
  bool running() {
    if (status_) return false;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return !status_;
  }
  // The exit status, 128 + the signal for a signal, or absent if still running after timeout.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!status_) return std::nullopt;
    return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : 128 + WTERMSIG(*status_);
  }
  std::string standardOutput() const { return slurp(out_); }
  std::string standardError() const { return slurp(err_); }

 private:
  static int counter() {
    static int next = 0;
    return next++;
  }
  static std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string out_, err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

class DesktopProcess : public ChildProcess {
 public:
  explicit DesktopProcess(const TemporaryHome& home, std::vector<std::string> arguments = {})
      : ChildProcess(TAVLUNE_DESKTOP_PATH, arguments, home.path, home.path), home_(home) {}

  // Connected once the application serves its socket; absent if it never does.
  std::unique_ptr<channel::SocketMessengerClient> connect(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running() && std::chrono::steady_clock::now() < deadline) {
      if (auto client = channel::SocketMessengerClient::Connect(home_.socket())) return std::move(*client);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
  }

 private:
  const TemporaryHome& home_;
};

// One method call and its decoded reply; an error when the channel failed.
inline platform::Result<channel::MethodReply> call(channel::SocketMessengerClient& client, const std::string& channelName,
                                                   const channel::MethodCall& methodCall) {
  auto reply = client.Send(channelName, channel::EncodeMethodCall(methodCall)).get();
  if (!reply) return unexpected(reply.error());
  return channel::DecodeEnvelope(*reply);
}

inline constexpr const char* kVpnChannel = "com.tavlune.app/vpn";
inline constexpr const char* kWindowChannel = "com.tavlune.app/window";

}  // namespace tavlune::testing
