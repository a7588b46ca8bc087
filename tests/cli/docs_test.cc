// The man page and the completions say what the help says: the page as groff
// renders it, the bash completion as bash runs it.
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/man_page.h"
#include "platform/process/process.h"
#include "tests/support/temp_dir.h"
namespace tavlune::cli {
namespace {
using Set = std::set<std::string>;
Set words(const std::string& text) {
  std::istringstream in(text);
  Set out;
  for (std::string word; in >> word;) out.insert(word);
  return out;
}
std::string collapsed(const std::string& text) {
  std::istringstream in(text);
  std::string out, word;
  while (in >> word) out += (out.empty() ? "" : " ") + word;
  return out;
}

class DocsTest : public ::testing::Test {
 protected:
  std::string run(const std::string& program, const std::vector<std::string>& arguments) {
    auto ran = platform::runProcess(program, arguments);
    EXPECT_TRUE(ran && ran->succeeded()) << program;
    return ran ? std::string(ran->standardOutput.begin(), ran->standardOutput.end()) : "";
  }
  tavlune::testing::TempDir dir;
};

TEST_F(DocsTest, ManPageRendersEveryHelpText) {
  const std::string man = collapsed(run("/usr/bin/groff", {"-man", "-Tascii", "-P-c", "-P-b", "-P-u", dir.write("tavlune.1", manPage())}));
  for (const auto& command : commands()) {
    const std::string help = collapsed(helpText(command.name));
    ASSERT_EQ(help.rfind("Usage: ", 0), 0u);
    EXPECT_NE(man.find(help.substr(7)), std::string::npos) << command.name << ":\n" << help << "\n--- in ---\n" << man;
  }
}

TEST_F(DocsTest, BashCompletesWhatTheParserTakes) {
  const std::string completion = dir.write("tavlune.bash", bashCompletion());
  // COMPREPLY for the words typed so far (the last one being completed).
  auto completes = [&](const std::string& typed) {
    return words(run("/bin/bash", {"-c", "source \"$0\"; COMP_WORDS=($1); [[ $1 == *' ' ]] && COMP_WORDS+=('');"
                                         " COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tavlune; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                   completion, typed}));
  };
  Set globals;
  for (const auto& option : globalOptions()) globals.insert({option.name, option.alias.empty() ? option.name : option.alias});
  for (const auto& command : commands()) {
    Set expected = globals;
    for (const auto& name : optionNames(&command)) expected.insert(name);
    EXPECT_EQ(completes("tavlune " + command.name + " -"), expected) << command.name;
  }
  for (const auto& [typed, expected] : std::initializer_list<std::pair<const char*, Set>>{
           {"tavlune con", {"connect"}}, {"tavlune --json --timeout 5 web", {"webrtc"}},  // a value is not the command
           {"tavlune webrtc ", {"on", "off"}}, {"tavlune helper u", {"uninstall"}}, {"tavlune help st", {"status"}},
           {"tavlune connect --pass", {"--password", "--password-stdin"}},
           {"tavlune connect --protocol socks", {"socks4", "socks5"}}, {"tavlune connect --host ", {}}})
    EXPECT_EQ(completes(typed), expected) << typed;
}
}  // namespace
}  // namespace tavlune::cli
