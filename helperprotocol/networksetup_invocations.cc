#include "helperprotocol/networksetup_invocations.h"

#include "helperprotocol/protocol.h"

namespace tavlune::helperprotocol::networksetup {
namespace {

bool isBareWord(const ShellWord& word, std::string_view value) { return word.bare && word.value == value; }

bool isOnOff(const ShellWord& word) { return isBareWord(word, "on") || isBareWord(word, "off"); }

// Decimal digits as the builders write an integer: bare, a minus sign only
// when negative, at most as many digits as a 64-bit integer has.
bool isPort(const ShellWord& word) {
  std::string_view digits = word.value;
  if (!word.bare) return false;
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 19) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  return true;
}

// The words after tool, subcommand and service.
bool hasShape(Shape shape, const std::vector<ShellWord>& words) {
  const std::size_t arguments = words.size() - 3;
  switch (shape) {
    case Shape::onOff:
      return arguments == 1 && isOnOff(words[3]);
    case Shape::domains:
      return arguments >= 1;
    case Shape::server:
      if (arguments != 3 && arguments != 5) return false;
      if (!isPort(words[4])) return false;
      return arguments == 3 ? isBareWord(words[5], "off") : isBareWord(words[5], "on");
    case Shape::url:
      return arguments == 1;
  }
  return false;
}

}  // namespace

std::string invocation(const Subcommand& subcommand, std::string_view quotedService, std::string_view arguments) {
  std::string text(kToolPath);
  text += ' ';
  text += subcommand.name;
  text += ' ';
  text += quotedService;
  text += ' ';
  text += arguments;
  return text;
}

std::string serverArguments(std::string_view host, int64_t port, std::string_view login) {
  return shellQuoted(host) + " " + std::to_string(port) + " " + std::string(login);
}

std::string loginArguments(const std::optional<std::string_view>& user, std::string_view password) {
  if (!user) return "off";
  return "on " + shellQuoted(*user) + " " + shellQuoted(password);
}

const Subcommand* invokedSubcommand(const std::vector<ShellWord>& words) {
  if (words.size() < 3 || !isBareWord(words[0], kToolPath) || !words[1].bare) return nullptr;
  for (const Subcommand& subcommand : kSubcommands)
    if (words[1].value == subcommand.name) return hasShape(subcommand.shape, words) ? &subcommand : nullptr;
  return nullptr;
}

}  // namespace tavlune::helperprotocol::networksetup
