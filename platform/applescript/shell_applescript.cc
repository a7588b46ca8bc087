#include "platform/applescript/applescript.h"
#include "platform/process/process.h"
#include "platform/text/trim.h"

namespace tavlune::platform {
namespace {

constexpr std::string_view kPrefix = "do shell script \"";
constexpr std::string_view kSuffix = "\" with administrator privileges";
// errAuthorizationInteractionNotAllowed: approval needed, and no way to show the prompt.
constexpr int64_t kInteractionNotAllowed = -60007;
constexpr const char* kNoOneToAsk =
    "Administrator approval is set to \"ask\", but TavluneDesktop has no terminal to ask on (it was started "
    "in the background). Start it in the foreground in a terminal inside the host, or answer for it: "
    "tavlune-sim set-approval approve.";

}  // namespace

std::optional<std::string> administratorShellCommand(const std::string& source) {
  std::string_view text = source;
  if (text.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  text.remove_prefix(kPrefix.size());
  std::string command;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      // The literal ends here; only the fixed suffix may follow.
      if (text.substr(i) != kSuffix) return std::nullopt;
      return command;
    }
    if (c != '\\') {
      command += c;
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': command += '\\'; break;
      case '"': command += '"'; break;
      case 'n': command += '\n'; break;
      case 'r': command += '\r'; break;
      case 't': command += '\t'; break;
      default: return std::nullopt;  // AppleScript knows no other escape
    }
  }
  return std::nullopt;  // unterminated literal
}

AppleScriptOutcome ShellAppleScript::run(const std::string& source) {
  auto command = administratorShellCommand(source);
  if (!command) return {AppleScriptOutcome::Kind::notCompiled, 0, std::nullopt};

  switch (prompt_->ask(*command)) {
    case Approval::approved:
      break;
    case Approval::cancelled:
      return {AppleScriptOutcome::Kind::failed, AppleScriptOutcome::kUserCanceled, "User canceled."};
    case Approval::failed:
      return {AppleScriptOutcome::Kind::failed, -60005, "The administrator user name or password was incorrect."};
    case Approval::noOneToAsk:
      return {AppleScriptOutcome::Kind::failed, kInteractionNotAllowed, kNoOneToAsk};
  }

  auto ran = runProcess("/bin/bash", {"-c", *command});
  if (!ran) return {AppleScriptOutcome::Kind::failed, -1, ran.error().description};
  if (ran->succeeded()) return {};
  std::string error(ran->standardError.begin(), ran->standardError.end());
  return {AppleScriptOutcome::Kind::failed, ran->endedBySignal ? -1 : ran->terminationStatus,
          std::string(text::trimWhitespaceAndNewlines(error))};
}

}  // namespace tavlune::platform
