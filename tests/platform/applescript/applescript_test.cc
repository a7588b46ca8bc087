#include "platform/applescript/applescript.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace tavlune::platform {
namespace {

class ScriptedPrompt : public ApprovalPrompt {
 public:
  explicit ScriptedPrompt(Approval answer) : answer_(answer) {}
  Approval ask(const std::string& command) override {
    asked.push_back(command);
    return answer_;
  }
  std::vector<std::string> asked;

 private:
  Approval answer_;
};

TEST(AppleScript, OnlyTheAdministratorShellScriptFormCompiles) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {R"(do shell script "echo hi" with administrator privileges)", "echo hi"},
      {R"(do shell script "a \"q\" \\ b" with administrator privileges)", "a \"q\" \\ b"},
      {R"(do shell script "x\ny\tz" with administrator privileges)", "x\ny\tz"},
      {R"(do shell script "" with administrator privileges)", ""},
      {R"(do shell script "echo hi")", std::nullopt},
      {R"(do shell script "echo hi" with administrator privileges and more)", std::nullopt},
      {R"(do shell script "a" b" with administrator privileges)", std::nullopt},
      {R"(do shell script "a \q" with administrator privileges)", std::nullopt},
      {R"(do shell script "unterminated with administrator privileges)", std::nullopt},
      {R"(display dialog "hi")", std::nullopt},
      {R"( do shell script "echo hi" with administrator privileges)", std::nullopt},
  };
  for (const auto& [source, command] : cases) EXPECT_EQ(administratorShellCommand(source), command) << source;
}

class ShellAppleScriptTest : public ::testing::Test {
 protected:
  std::string script(const std::string& command) {
    return "do shell script \"" + command + "\" with administrator privileges";
  }
  bool exists(const std::string& name) { return access((dir_ + "/" + name).c_str(), F_OK) == 0; }
  testing::TempDir temp_;
  std::string dir_ = temp_.path();
};

TEST_F(ShellAppleScriptTest, ApprovalDecidesWhetherTheCommandRuns) {
  struct Case {
    Approval answer;
    AppleScriptOutcome::Kind kind;
    int64_t number;
    bool ran;
  };
  const Case cases[] = {
      {Approval::approved, AppleScriptOutcome::Kind::succeeded, 0, true},
      {Approval::cancelled, AppleScriptOutcome::Kind::failed, -128, false},
      {Approval::failed, AppleScriptOutcome::Kind::failed, -60005, false},
      {Approval::noOneToAsk, AppleScriptOutcome::Kind::failed, -60007, false},
  };
  for (const auto& c : cases) {
    unlink((dir_ + "/ran").c_str());
    auto prompt = std::make_shared<ScriptedPrompt>(c.answer);
    auto outcome = ShellAppleScript(prompt).run(script("touch " + dir_ + "/ran"));
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.errorNumber, c.number);
    EXPECT_EQ(exists("ran"), c.ran);
    EXPECT_EQ(prompt->asked, std::vector<std::string>{"touch " + dir_ + "/ran"});
  }
}

TEST_F(ShellAppleScriptTest, FailingCommandReportsItsErrorOutputAndStatus) {
  auto prompt = std::make_shared<ScriptedPrompt>(Approval::approved);
  auto outcome = ShellAppleScript(prompt).run(script("echo out; echo \\\"it failed\\\" >&2; exit 7"));
  EXPECT_EQ(outcome.kind, AppleScriptOutcome::Kind::failed);
  EXPECT_EQ(outcome.errorNumber, 7);
  EXPECT_EQ(outcome.errorMessage, "it failed");  // standard error only, trimmed
}

TEST_F(ShellAppleScriptTest, UncompilableSourceNeverAsksNorRuns) {
  auto prompt = std::make_shared<ScriptedPrompt>(Approval::approved);
  auto outcome = ShellAppleScript(prompt).run("do shell script \"touch " + dir_ + "/ran\"");
  EXPECT_EQ(outcome.kind, AppleScriptOutcome::Kind::notCompiled);
  EXPECT_TRUE(prompt->asked.empty());
  EXPECT_FALSE(exists("ran"));
}

TEST_F(ShellAppleScriptTest, HostSettingComesFirstThenTheTerminal) {
  std::string setting = dir_ + "/approval";
  const std::pair<const char*, Approval> settings[] = {
      {"approve\n", Approval::approved}, {"cancel", Approval::cancelled}, {"fail", Approval::failed},
      {"yes", Approval::failed},  // only the three words count
  };
  for (const auto& [text, expected] : settings) {
    std::ofstream(setting) << text;
    EXPECT_EQ(HostApprovalPrompt(setting, dir_ + "/no-terminal").ask("cmd"), expected) << text;
  }
  unlink(setting.c_str());
  EXPECT_EQ(HostApprovalPrompt(setting, dir_ + "/no-terminal").ask("cmd"), Approval::noOneToAsk);

  // A terminal: the person answers at a pseudo-terminal.
  for (const auto& [typed, expected] : {std::pair{"y\n", Approval::approved}, {"n\n", Approval::cancelled},
                                        {"\n", Approval::cancelled}}) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string terminal = ptsname(master);
    ASSERT_EQ(write(master, typed, strlen(typed)), ssize_t(strlen(typed)));
    EXPECT_EQ(HostApprovalPrompt(setting, terminal).ask("/bin/mkdir -p /x"), expected) << typed;
    // The echo of the answer and the question come in any order and pieces.
    std::string shown;
    char buffer[4096];
    pollfd ready{master, POLLIN, 0};
    while (shown.find("/bin/mkdir -p /x") == std::string::npos && poll(&ready, 1, 2000) > 0) {
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      shown.append(buffer, std::size_t(n));
    }
    EXPECT_NE(shown.find("/bin/mkdir -p /x"), std::string::npos) << shown;
    close(master);
  }
}

}  // namespace
}  // namespace tavlune::platform
