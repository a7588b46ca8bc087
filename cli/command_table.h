// What `tavlune` understands, written once: its help, the parser's options,
// the man page and the shell completions are all read from this table, so
// they cannot tell different stories.
#pragma once

#include <string>
#include <vector>

#include "cli/invocation.h"

namespace tavlune::cli {

struct OptionSpec {
  std::string name;   // "--host"
  std::string alias;  // "-h", or empty
  std::string value;  // the value's name ("HOST") when it takes one; empty for a flag
  std::string help;   // lines separated by '\n'
  std::vector<std::string> choices = {};  // the values it takes, when they are a fixed few
  // Where the parser puts a connect option's value; null for the options it handles by name.
  std::optional<std::string> ConnectOptions::*target = nullptr;
};

struct OptionGroup {
  std::string title;
  std::vector<OptionSpec> options;
};

struct CommandSpec {
  Command command;
  std::string name;
  std::string summary;             // the overview's line
  std::vector<std::string> usage;  // each read after "tavlune "
  std::string description;         // paragraphs separated by an empty line
  std::vector<OptionGroup> groups;
  std::vector<std::string> words;  // the fixed operands it takes, offered by completion
  int timeoutSeconds = 0;          // how long it waits for an answer by default; 0: it asks nothing
};

struct ExitStatusRow {
  int status;
  std::string meaning;
};

struct TextRow {
  std::string term;
  std::string meaning;  // lines separated by '\n'
};

// In the overview's order.
const std::vector<CommandSpec>& commands();
const CommandSpec* findCommand(const std::string& name);
std::vector<std::string> commandNames();

// --json, --timeout, -h/--help, --version, "--": valid before and after the command.
const std::vector<OptionSpec>& globalOptions();
inline constexpr const char* kEndOfOptions = "--";

// A global option or one of command's (command may be null: before the command).
const OptionSpec* findOption(const CommandSpec* command, const std::string& nameOrAlias);
// Every option name valid there, for suggestions and completion.
std::vector<std::string> optionNames(const CommandSpec* command);

// The overview's paragraph about what tavlune is.
extern const char* const kOverview;
const std::vector<ExitStatusRow>& exitStatuses();
// Command lines and what they do; the environment variables and files tavlune reads.
const std::vector<TextRow>& examples();
const std::vector<TextRow>& environment();
const std::vector<TextRow>& files();

// A help text's lines as one line, for the man page and the completions.
std::string oneLine(std::string text);

// "Waits at most N seconds ...", for a command's help and its man page section.
std::string timeoutSentence(const CommandSpec& command);

// The candidate closest to what was typed, when one is close enough to be
// what was meant (a slip of one or two letters, or a unique beginning).
std::string closestMatch(const std::string& typed, const std::vector<std::string>& candidates);

}  // namespace tavlune::cli
