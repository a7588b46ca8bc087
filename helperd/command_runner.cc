#include "helperd/command_runner.h"

#include <cstdint>

#include "platform/process/process.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::helperd {
namespace {

// Kept of each stream; the rest is drained and dropped. Far above anything
// networksetup says, far below what would strain the daemon.
constexpr std::size_t kCapturedBytes = 1024 * 1024;

// A stream cut at the capture limit may end inside a character; that tail is
// ours, not the command's, so it does not make the text invalid.
std::string_view withoutCutCharacter(std::string_view bytes) {
  if (bytes.size() < kCapturedBytes) return bytes;
  for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    auto lead = static_cast<uint8_t>(bytes[bytes.size() - back]);
    if ((lead & 0xC0) == 0x80) continue;  // continuation byte: keep looking
    std::size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return needed > back ? bytes.substr(0, bytes.size() - back) : bytes;
  }
  return bytes;
}

std::string boundedText(std::string_view text) {
  if (text.size() <= kMaxOutcomeTextBytes) return std::string(text);
  std::size_t end = kMaxOutcomeTextBytes;
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

}  // namespace

std::vector<std::string> commandEnvironment() {
  return {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"};
}

Outcome runCommandLine(std::string_view command, const std::string& shell, std::optional<int> heldLock) {
  platform::ProcessOptions options;
  options.inheritedDescriptor = heldLock;
  options.environment = commandEnvironment();
  options.maxCapturedBytes = kCapturedBytes;
  // The line reaches the shell on its standard input, not as "-c" LINE: an
  // argument list is public to every local user, and the line may carry a
  // proxy password. An accepted line is one list of commands, which bash
  // reads to its end before running any of it: the commands find their input
  // ended, as with /dev/null.
  options.standardInput = std::string(command);
  auto result = platform::runProcess(shell, {"-s"}, options);
  if (!result) return Outcome{false, boundedText(result.error().description)};

  const auto& chosen = result->standardError.empty() ? result->standardOutput : result->standardError;
  std::string_view bytes = withoutCutCharacter(
      std::string_view(reinterpret_cast<const char*>(chosen.data()), chosen.size()));
  std::string text;
  if (platform::text::isValidUtf8(bytes)) text = boundedText(platform::text::trimWhitespaceAndNewlines(bytes));
  return Outcome{result->succeeded(), std::move(text)};
}

}  // namespace tavlune::helperd
