#include "helperd/command_test.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helperd/command_runner.h"

namespace tavlune::helperd {
namespace {

// The quoting rule of the application's builders.
std::string shellQuoted(std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'') out += "'\"'\"'";
    else out += c;
  }
  return out + "'";
}

const std::string kTool = "/usr/sbin/networksetup";

struct LineCase {
  const char* name;
  std::string line;
  bool prefixTest;  // the published test
  bool allowed;     // the daemon's test
};

TEST(CommandTest, PublishedAndStrictTestsTogether) {
  const std::string off = kTool + " -setwebproxystate 'Wi-Fi' off";
  const std::vector<LineCase> cases = {
      {"one invocation", off, true, true},
      {"two joined", off + " && " + off, true, true},
      {"joined without blanks", off + "&&" + off, true, true},
      {"leading blank and tab", " \t" + off, true, true},
      {"trailing blanks", off + " \t ", true, true},
      {"blanks around the separator", off + "  \t&&\t  " + off, true, true},
      {"leading no-break space", "\u00a0" + off, true, false},
      {"leading em space", "\u2003" + off, true, false},
      {"leading line feed", "\n" + off, false, false},
      {"leading carriage return", "\r" + off, false, false},
      {"line feed before the second piece", off + " &&\n" + off, false, false},
      {"tool without folder", "networksetup -setwebproxystate 'Wi-Fi' off", false, false},
      {"another tool", "/bin/sh -c true", false, false},
      {"empty", "", false, false},
      {"ending in &&", off + " &&", false, false},
      {"ending in && and blanks", off + " &&  ", false, false},
      {"starting with &&", "&& " + off, false, false},
      {"&&&", off + " &&& " + off, false, false},
      {"&& inside quotes", kTool + " -setwebproxystate 'A&&B' off", false, false},
      {"prefix only", kTool, true, false},
      {"prefix glued to more", kTool + "x -setwebproxystate 'Wi-Fi' off", true, false},
      {"path walking out of the prefix", kTool + "/../../../bin/touch /tmp/x", true, false},
      {"unknown subcommand", kTool + " -getwebproxy 'Wi-Fi'", true, false},
      {"subcommand quoted", kTool + " '-setwebproxystate' 'Wi-Fi' off", true, false},
      {"state neither on nor off", kTool + " -setwebproxystate 'Wi-Fi' maybe", true, false},
      {"state quoted", kTool + " -setwebproxystate 'Wi-Fi' 'off'", true, false},
      {"state missing", kTool + " -setwebproxystate 'Wi-Fi'", true, false},
      {"state twice", kTool + " -setwebproxystate 'Wi-Fi' off off", true, false},
      {"discovery on", kTool + " -setproxyautodiscovery 'Wi-Fi' on", true, true},
      {"server off", kTool + " -setwebproxy 'Wi-Fi' '10.0.0.2' 88 off", true, true},
      {"server negative port", kTool + " -setsocksfirewallproxy 'W' 'h' -1 off", true, true},
      {"server on with user", kTool + " -setsecurewebproxy 'W' 'h' 443 on 'u' ''", true, true},
      {"server port quoted", kTool + " -setwebproxy 'W' 'h' '80' off", true, false},
      {"server port not a number", kTool + " -setwebproxy 'W' 'h' 8o off", true, false},
      {"server port too long", kTool + " -setwebproxy 'W' 'h' 12345678901234567890 off", true, false},
      {"server on without password", kTool + " -setwebproxy 'W' 'h' 80 on 'u'", true, false},
      {"server off with credentials", kTool + " -setwebproxy 'W' 'h' 80 off 'u' 'p'", true, false},
      {"bypass list", kTool + " -setproxybypassdomains 'W' localhost 127.0.0.1 ::1 '*.local'", true, true},
      {"bypass Empty", kTool + " -setproxybypassdomains 'W' Empty", true, true},
      {"bypass glob unquoted", kTool + " -setproxybypassdomains 'W' *.local", true, false},
      {"bypass nothing", kTool + " -setproxybypassdomains 'W'", true, false},
      {"auto proxy URL", kTool + " -setautoproxyurl 'W' 'http://pac/x.pac?a=1&b=$2'", true, true},
      {"auto proxy URL missing", kTool + " -setautoproxyurl 'W'", true, false},
      {"quote inside a name", kTool + " -setwebproxystate 'Bob'\"'\"'s Wi-Fi' off", true, true},
      {"double quotes with more than a quote", kTool + " -setwebproxystate \"Wi-Fi\" off", true, false},
      {"unbalanced quote", kTool + " -setwebproxystate 'Wi-Fi off", true, false},
      {"line feed inside quotes", kTool + " -setwebproxystate 'Wi\nFi' off", true, true},
      {"line feed between words", kTool + " -setwebproxystate 'Wi-Fi'\noff", true, false},
      {"NUL inside quotes", kTool + " -setwebproxystate 'Wi" + std::string(1, '\0') + "Fi' off", true, false},
      {"invalid UTF-8 inside quotes", kTool + " -setwebproxystate 'Wi\xff' off", true, false},
      {"semicolon", off + "; true", true, false},
      {"dollar unquoted", kTool + " -setwebproxystate $HOME off", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(passesPrefixTest(c.line), c.prefixTest) << c.name;
    EXPECT_EQ(isAllowedCommandLine(c.line), c.allowed) << c.name;
  }
}

TEST(CommandTest, LengthCountsCharactersNotBytes) {
  const std::string base = kTool + " -setautoproxyurl 'W' '";
  auto lineOf = [&](std::size_t characters, std::string_view filler) {
    std::string line = base;
    for (std::size_t i = base.size() + 1; i < characters; ++i) line += filler;
    return line + "'";
  };
  struct Case {
    const char* name;
    std::size_t characters;
    std::string_view filler;
    bool passes;
  };
  // "e" with a combining accent is one character of three bytes; a flag is one of eight.
  for (const Case& c : {Case{"ASCII below", 131071, "x", true}, Case{"ASCII at", 131072, "x", false},
                        Case{"combining below", 131071, "e\u0301", true},
                        Case{"combining at", 131072, "e\u0301", false},
                        Case{"flags below", 131071, "\U0001F1E9\U0001F1EA", true},
                        Case{"flags at", 131072, "\U0001F1E9\U0001F1EA", false}}) {
    std::string line = lineOf(c.characters, c.filler);
    EXPECT_EQ(characterCount(line), c.characters) << c.name;
    EXPECT_EQ(passesPrefixTest(line), c.passes) << c.name;
    EXPECT_EQ(isAllowedCommandLine(line), c.passes) << c.name;
  }
}

// Every line shape the builders write, with values drawn from everything a
// name, host, user or password may hold except "&&" (which the published
// test refuses by design), must pass; and bash must receive exactly those
// values. A shell function stands where the tool would be.
TEST(CommandTest, BuilderLinesWithArbitraryValuesPassAndReachTheToolLiterally) {
  std::mt19937 random(20240611);
  const std::vector<std::string> pieces = {"a", "Z", "0", " ", "\t", "'", "\"", "$", "`", "\\", ";", "|", "&",
                                           "(", ")", "*", "?", "[", "]", "{", "}", "~", "#", "!", "<", ">",
                                           "\n", "%", "é", "Wi-Fi", "\u00a0", "\u2028", "'\"'\"'", "$(id)", "-"};
  auto value = [&] {
    std::string out;
    for (int n = std::uniform_int_distribution<int>(0, 12)(random); n > 0; --n)
      out += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    while (out.find("&&") != std::string::npos) out.replace(out.find("&&"), 2, "&x");
    return out;
  };
  for (int round = 0; round < 200; ++round) {
    std::string service = value(), host = value(), user = value(), password = value(), url = value(),
                domain = value();
    const std::vector<std::pair<std::string, std::vector<std::string>>> invocations = {
        {"-setwebproxystate " + shellQuoted(service) + " off", {"-setwebproxystate", service, "off"}},
        {"-setproxyautodiscovery " + shellQuoted(service) + " on", {"-setproxyautodiscovery", service, "on"}},
        {"-setproxybypassdomains " + shellQuoted(service) + " localhost 127.0.0.1 ::1 '*.local' " + shellQuoted(domain),
         {"-setproxybypassdomains", service, "localhost", "127.0.0.1", "::1", "*.local", domain}},
        {"-setwebproxy " + shellQuoted(service) + " " + shellQuoted(host) + " 8080 off",
         {"-setwebproxy", service, host, "8080", "off"}},
        {"-setsocksfirewallproxy " + shellQuoted(service) + " " + shellQuoted(host) + " -7 on " + shellQuoted(user) + " " +
             shellQuoted(password),
         {"-setsocksfirewallproxy", service, host, "-7", "on", user, password}},
        {"-setautoproxyurl " + shellQuoted(service) + " " + shellQuoted(url), {"-setautoproxyurl", service, url}},
    };
    std::string line, expected;
    for (const auto& [arguments, values] : invocations) {
      line += (line.empty() ? "" : " && ") + kTool + " " + arguments;
      for (const auto& v : values) expected += "<" + v + ">";
      expected += "\n";
    }
    ASSERT_TRUE(isAllowedCommandLine(line)) << line;

    // Printed from bash itself, so this is the shell's reading, not ours.
    Outcome ran = runCommandLine("function " + kTool + " { printf '<%s>' \"$@\"; echo; }\n" + line);
    ASSERT_TRUE(ran.succeeded) << ran.text;
    std::string trimmedExpected = expected;
    while (!trimmedExpected.empty() && trimmedExpected.back() == '\n') trimmedExpected.pop_back();
    EXPECT_EQ(ran.text, trimmedExpected) << line;
  }
}

}  // namespace
}  // namespace tavlune::helperd
