// The man page and the completions say what the help says: the page as groff
// renders it, the completions as bash and zsh run them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <sstream>

#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/man_page.h"
#include "platform/process/process.h"
#include "tests/support/temp_dir.h"

namespace tavlune::cli {
namespace {

std::string collapsed(const std::string& text) {
  std::istringstream words(text);
  std::string word, out;
  while (words >> word) out += (out.empty() ? "" : " ") + word;
  return out;
}

class DocsTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& text) { return dir.write(name, text); }
  std::string run(const std::string& program, const std::vector<std::string>& arguments) {
    auto ran = platform::runProcess(program, arguments);
    EXPECT_TRUE(ran && ran->succeeded()) << program << ": "
                                         << (ran ? std::string(ran->standardError.begin(), ran->standardError.end()) : "");
    return ran ? std::string(ran->standardOutput.begin(), ran->standardOutput.end()) : "";
  }
  // COMPREPLY for the words typed so far (the last one being completed).
  std::set<std::string> bashCompletes(const std::string& completion, const std::string& typed) {
    const std::string out = run("/bin/bash", {"-c", "source \"$0\"; COMP_WORDS=($1); [[ $1 == *' ' ]] && COMP_WORDS+=('');"
                                                    " COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tavlune;"
                                                    " printf '%s\\n' \"${COMPREPLY[@]}\"",
                                                    completion, typed});
    std::set<std::string> words;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) words.insert(line);
    return words;
  }

  tavlune::testing::TempDir dir;
};

TEST_F(DocsTest, ManPageRendersEveryHelpText) {
  const std::string man =
      collapsed(run("/usr/bin/groff", {"-man", "-Tascii", "-P-c", "-P-b", "-P-u", write("tavlune.1", manPage())}));
  for (const auto& command : commands()) {
    std::string help = collapsed(helpText(command.name));
    ASSERT_EQ(help.rfind("Usage: ", 0), 0u);
    EXPECT_NE(man.find(help.substr(7)), std::string::npos) << command.name << ":\n" << help << "\n--- in ---\n" << man;
  }
  // The overview's options and exit statuses, row by row.
  const std::string overview = helpText("");
  const size_t options = overview.find("Options, before or after the command:\n");
  const size_t exits = overview.find("\nExit status:\n");
  ASSERT_NE(options, std::string::npos);
  ASSERT_NE(exits, std::string::npos);
  std::istringstream rows(overview.substr(options));
  std::string row, item;
  for (std::getline(rows, row); std::getline(rows, row);) {
    if (row.empty() || row == "Exit status:") continue;
    // A row, or the continuation of the one before.
    if (row.size() > 2 && row[2] != ' ') {
      if (!item.empty()) {
        EXPECT_NE(man.find(collapsed(item)), std::string::npos) << item;
      }
      item = row;
    } else {
      item += " " + row;
    }
  }
  EXPECT_NE(man.find(collapsed(item)), std::string::npos) << item;
}

TEST_F(DocsTest, BashCompletesWhatTheParserTakes) {
  const std::string completion = write("tavlune.bash", bashCompletion());
  std::set<std::string> globals;
  for (const auto& option : globalOptions()) {
    globals.insert(option.name);
    if (!option.alias.empty()) globals.insert(option.alias);
  }
  for (const auto& command : commands()) {
    std::set<std::string> expected = globals;
    for (const auto& name : optionNames(&command)) expected.insert(name);
    EXPECT_EQ(bashCompletes(completion, "tavlune " + command.name + " -"), expected) << command.name;
  }
  const std::pair<const char*, std::set<std::string>> cases[] = {
      {"tavlune con", {"connect"}},
      {"tavlune --json --timeout 5 web", {"webrtc"}},  // an option's value is not the command
      {"tavlune webrtc ", {"on", "off"}},
      {"tavlune helper u", {"uninstall"}},
      {"tavlune help st", {"status"}},
      {"tavlune connect --pass", {"--password", "--password-stdin"}},
      {"tavlune connect --protocol socks", {"socks4", "socks5"}},
      {"tavlune connect --host ", {}},
  };
  for (const auto& [typed, expected] : cases) EXPECT_EQ(bashCompletes(completion, typed), expected) << typed;
}

// zsh's completion system needs a terminal; here its two entry points are
// stand-ins that print what they are given, which zsh has parsed.
TEST_F(DocsTest, ZshHandsEveryOptionToItsCompletionSystem) {
  if (access("/usr/bin/zsh", X_OK) != 0) GTEST_SKIP() << "no zsh (scripts/packages lists it)";
  const std::string completion = write("_tavlune", zshCompletion());
  run("/usr/bin/zsh", {"-n", completion});
  for (const auto& command : commands()) {
    const std::string specs =
        run("/usr/bin/zsh", {"-fc",
                             "_arguments() { if [[ $1 == -C ]]; then state=argument; return 1; fi; print -rl -- \"$@\"; };"
                             " _describe() { print -rl -- \"${(@P)3}\"; }; words=($1); source \"$0\"",
                             completion, command.name});
    // Each spec line: "(EXCLUDED)NAME[DESCRIPTION]..."; the names it offers.
    std::set<std::string> offered;
    std::istringstream lines(specs);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("(", 0) == 0) line.erase(0, line.find(')') + 1);
      if (const size_t bracket = line.find('['); bracket != std::string::npos) offered.insert(line.substr(0, bracket));
    }
    for (const auto& name : optionNames(&command)) {
      if (name == kEndOfOptions) continue;
      EXPECT_TRUE(offered.count(name)) << command.name << " " << name << " in\n" << specs;
      if (const std::string& alias = findOption(&command, name)->alias; !alias.empty()) {
        EXPECT_TRUE(offered.count(alias)) << command.name << " " << alias;
      }
    }
    for (const auto& word : command.words) EXPECT_NE(specs.find(word), std::string::npos) << command.name << " " << word;
  }
}

}  // namespace
}  // namespace tavlune::cli
