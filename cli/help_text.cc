#include "cli/arguments.h"
#include "cli/command_table.h"

namespace tavlune::cli {
namespace {

// Option labels fill this many columns (after two spaces); longer ones put
// their text on the next line.
constexpr size_t kLabelWidth = 23;

std::string label(const OptionSpec& option) {
  std::string text = option.alias.empty() ? option.name : option.alias + ", " + option.name;
  if (!option.value.empty()) text += " " + option.value;
  return text;
}

// "  label   text", its further lines indented under the text.
std::string row(const std::string& labelText, const std::string& help) {
  const std::string indent(2 + kLabelWidth + 2, ' ');
  std::string out = "  " + labelText;
  if (labelText.size() > kLabelWidth) out += "\n" + indent;
  else out += std::string(kLabelWidth + 2 - labelText.size(), ' ');
  for (char c : help) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out + "\n";
}

std::string usageLines(const CommandSpec& command) {
  std::string out;
  for (size_t i = 0; i < command.usage.size(); ++i)
    out += std::string(i == 0 ? "Usage: " : "       ") + "tavlune " + command.usage[i] + "\n";
  return out;
}

std::string overview() {
  std::string out = "Usage: tavlune [OPTIONS] COMMAND [ARGUMENTS]\n\n" + std::string(kOverview) + "\n\nCommands:\n";
  for (const auto& command : commands()) {
    out += "  " + command.name + std::string(13 - command.name.size(), ' ') + command.summary + "\n";
  }
  out += "\nOptions, before or after the command:\n";
  for (const auto& option : globalOptions()) out += row(label(option), option.help);
  out += "\nExit status:\n";
  for (const auto& exit : exitStatuses()) {
    std::string number = std::to_string(exit.status);
    std::string text = "  " + number + std::string(5 - number.size(), ' ');
    for (char c : exit.meaning) text += c == '\n' ? std::string("\n       ") : std::string(1, c);
    out += text + "\n";
  }
  return out;
}

}  // namespace

std::string timeoutSentence(const CommandSpec& command) {
  return "Waits at most " + std::to_string(command.timeoutSeconds) +
         " seconds for TavluneDesktop's answer (--timeout SECONDS).";
}

std::string helpText(const std::string& topic) {
  if (topic.empty()) return overview();
  const CommandSpec* command = findCommand(topic);
  if (!command) return {};
  std::string out = usageLines(*command) + "\n" + command->description + "\n";
  for (const auto& group : command->groups) {
    out += "\n" + group.title + ":\n";
    for (const auto& option : group.options) out += row(label(option), option.help);
  }
  if (command->timeoutSeconds > 0) out += "\n" + timeoutSentence(*command) + "\n";
  return out;
}

}  // namespace tavlune::cli
