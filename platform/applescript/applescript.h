// Running AppleScript source, in the shape of NSAppleScript: the source may
// not compile, or running it may end with an error number and message. The
// stand-in understands the one form the application uses:
//   do shell script "<command>" with administrator privileges
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tavlune::platform {

struct AppleScriptOutcome {
  enum class Kind { succeeded, notCompiled, failed };
  Kind kind = Kind::succeeded;
  int64_t errorNumber = 0;                  // when failed
  std::optional<std::string> errorMessage;  // when failed, if the script gave one

  static constexpr int64_t kUserCanceled = -128;
};

class AppleScript {
 public:
  virtual ~AppleScript() = default;
  virtual AppleScriptOutcome run(const std::string& source) = 0;
};

// How a request for administrator rights is answered; noOneToAsk: the answer
// was to come from a person, and there is no terminal to ask on.
enum class Approval { approved, cancelled, failed, noOneToAsk };

class ApprovalPrompt {
 public:
  virtual ~ApprovalPrompt() = default;
  virtual Approval ask(const std::string& command) = 0;
};

// The stand-in: takes the command out of the script, asks for approval, and
// runs it with /bin/bash -c. A failing command's error output is the message
// and its exit status the number, as "do shell script" reports them.
class ShellAppleScript final : public AppleScript {
 public:
  explicit ShellAppleScript(std::shared_ptr<ApprovalPrompt> prompt) : prompt_(std::move(prompt)) {}
  AppleScriptOutcome run(const std::string& source) override;

 private:
  std::shared_ptr<ApprovalPrompt> prompt_;
};

// macOS's own: the source goes to osascript(1) on its standard input (never
// in an argument list every local user can read), which shows the approval
// dialog and reports a failure on its error output as
//   0:94: execution error: User canceled. (-128)
// that is, the message and the error number; a "syntax error" there is a
// source that did not compile.
class OsascriptAppleScript final : public AppleScript {
 public:
  explicit OsascriptAppleScript(std::string osascriptPath = "/usr/bin/osascript")
      : osascriptPath_(std::move(osascriptPath)) {}
  AppleScriptOutcome run(const std::string& source) override;

 private:
  std::string osascriptPath_;
};

// The platform's runner of the installer's script: osascript on macOS; here
// the stand-in, with the simulated host's or the terminal's answer.
std::shared_ptr<AppleScript> systemAppleScript();

// The command of `do shell script "..." with administrator privileges`, its
// string literal unescaped; absent when the source is anything else.
std::optional<std::string> administratorShellCommand(const std::string& source);

// Asks the simulated host first (a file holding "approve", "cancel" or
// "fail"), so that unattended runs never wait on a terminal; without that
// setting, asks the person at the controlling terminal; with neither (the
// application started in the background), there is no one to ask.
class HostApprovalPrompt final : public ApprovalPrompt {
 public:
  static constexpr const char* kSettingPath = "/etc/tavlune-sim/administrator-approval";

  explicit HostApprovalPrompt(std::string settingPath = kSettingPath, std::string terminalPath = "/dev/tty")
      : settingPath_(std::move(settingPath)), terminalPath_(std::move(terminalPath)) {}
  Approval ask(const std::string& command) override;

 private:
  std::string settingPath_;
  std::string terminalPath_;
};

}  // namespace tavlune::platform
