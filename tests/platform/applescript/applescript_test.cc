#include "platform/applescript/applescript.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

using Kind = AppleScriptOutcome::Kind;

struct ScriptedPrompt : ApprovalPrompt {
  explicit ScriptedPrompt(Approval answer) : answer(answer) {}
  Approval ask(const std::string& command) override { return asked.push_back(command), answer; }
  Approval answer;
  std::vector<std::string> asked;
};

TEST(AppleScript, OnlyTheAdministratorShellScriptFormCompiles) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {R"(do shell script "echo hi" with administrator privileges)", "echo hi"},
      {R"(do shell script "a \"q\" \\ b" with administrator privileges)", "a \"q\" \\ b"},
      {R"(do shell script "x\ny\tz" with administrator privileges)", "x\ny\tz"},
      {R"(do shell script "echo hi")", std::nullopt},
      {R"(do shell script "echo hi" with administrator privileges and more)", std::nullopt},
      {R"(do shell script "a" b" with administrator privileges)", std::nullopt},
      {R"(do shell script "unterminated with administrator privileges)", std::nullopt},
  };
  for (const auto& [source, command] : cases) EXPECT_EQ(administratorShellCommand(source), command) << source;
}

// The approval decides whether the command runs; a failing one reports its trimmed error output and status.
TEST(ShellAppleScript, RunsTheCommandOnlyWhenApproved) {
  testing::TempDir temp;
  const std::string touch = "touch " + temp / "ran", fails = "touch " + temp / "ran; echo \\\"it failed\\\" >&2; exit 7";
  const std::tuple<std::string, Approval, Kind, int64_t, std::optional<std::string>> cases[] = {
      {touch, Approval::approved, Kind::succeeded, 0, std::nullopt},
      {touch, Approval::cancelled, Kind::failed, -128, std::nullopt},
      {touch, Approval::failed, Kind::failed, -60005, std::nullopt},
      {touch, Approval::noOneToAsk, Kind::failed, -60007, std::nullopt},
      {fails, Approval::approved, Kind::failed, 7, "it failed"},
  };
  for (const auto& [command, answer, kind, number, message] : cases) {
    ::unlink((temp / "ran").c_str());
    auto prompt = std::make_shared<ScriptedPrompt>(answer);
    auto outcome = ShellAppleScript(prompt).run("do shell script \"" + command + "\" with administrator privileges");
    EXPECT_EQ(outcome.kind, kind) << command;
    EXPECT_EQ(outcome.errorNumber, number);
    EXPECT_EQ(message ? outcome.errorMessage : message, message);
    EXPECT_EQ(::access((temp / "ran").c_str(), F_OK) == 0, answer == Approval::approved);
    EXPECT_EQ(prompt->asked.size(), 1u);
  }
  auto prompt = std::make_shared<ScriptedPrompt>(Approval::approved);
  EXPECT_EQ(ShellAppleScript(prompt).run("do shell script \"" + touch + "\"").kind, Kind::notCompiled);
  EXPECT_TRUE(prompt->asked.empty());  // an uncompilable script never asks
}

TEST(HostApprovalPrompt, HostSettingComesFirst) {
  testing::TempDir temp;
  const std::string setting = temp / "approval", noTerminal = temp / "no-terminal";
  for (const auto& [text, expected] : {std::pair{"approve\n", Approval::approved}, {"cancel", Approval::cancelled},
                                       {"fail", Approval::failed}, {"yes", Approval::failed}}) {
    std::ofstream(setting) << text;
    EXPECT_EQ(HostApprovalPrompt(setting, noTerminal).ask("cmd"), expected) << text;
  }
  ::unlink(setting.c_str());
  EXPECT_EQ(HostApprovalPrompt(setting, noTerminal).ask("cmd"), Approval::noOneToAsk);
}

// osascript's error output as macOS writes it: the message and number of an execution error, a syntax error as
// a source that did not compile, anything else whole as the message. The source travels on standard input.
TEST(OsascriptAppleScript, ReadsTheOutcomeFromOsascriptsErrorOutput) {
  testing::TempDir temp;
  const std::string source = "do shell script \"echo 'a'\" with administrator privileges";
  const std::tuple<std::string, int, Kind, int64_t, std::optional<std::string>> cases[] = {
      {"", 0, Kind::succeeded, 0, std::nullopt},
      {"0:61: execution error: User canceled. (-128)", 1, Kind::failed, -128, "User canceled."},
      {"0:61: execution error: install: /x: No such file\nor directory (71)", 1, Kind::failed, 71,
       "install: /x: No such file\nor directory"},
      {"0:5: syntax error: Expected end of line. (-2741)", 1, Kind::notCompiled, -2741, "Expected end of line."},
      {"osascript: no such thing", 1, Kind::failed, -1, "osascript: no such thing"},
      {"0:61: execution error: no number", 1, Kind::failed, -1, "0:61: execution error: no number"},
  };
  for (const auto& [error, status, kind, number, message] : cases) {
    const auto osascript = temp.write("osascript", "#!/bin/sh\ncat > " + temp / "source" + "\nprintf '" + error +
                                                       "\\n' >&2\nexit " + std::to_string(status) + "\n", true);
    auto outcome = OsascriptAppleScript(osascript).run(source);
    EXPECT_EQ(outcome.kind, kind) << error;
    EXPECT_EQ(outcome.errorNumber, number) << error;
    EXPECT_EQ(outcome.errorMessage, message) << error;
    std::ifstream written(temp / "source");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), source);
  }
  EXPECT_EQ(OsascriptAppleScript(temp / "osascript").run("\xff").kind, Kind::notCompiled);
}

}  // namespace
}  // namespace tavlune::platform
