// The man page says what the help says, as groff renders it.
#include <gtest/gtest.h>
#include <sstream>
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/completions.h"
#include "cli/man_page.h"
#include "platform/process/process.h"
#include "tests/support/temp_dir.h"
namespace tavlune::cli {
namespace {
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
  for (const char* section : {"EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"}) EXPECT_NE(man.find(section), std::string::npos);
  for (const auto* rows : {&environment(), &files(), &examples()})
    for (const auto& row : *rows) EXPECT_NE(man.find(collapsed(row.term + " " + row.meaning)), std::string::npos) << row.term;
}

}  // namespace
}  // namespace tavlune::cli
