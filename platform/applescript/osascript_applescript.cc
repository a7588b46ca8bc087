#include <cstdlib>
#include <string_view>

#include "platform/applescript/applescript.h"
#include "platform/process/process.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::platform {
namespace {

// "L:C: KIND error: MESSAGE (NUMBER)", the last line of osascript's error
// output; the message itself may span lines.
struct Report {
  bool syntax = false;
  int64_t number = 0;
  std::string message;
};

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::optional<Report> parseReport(std::string_view text) {
  // The position: two numbers and a colon each.
  for (int field = 0; field < 2; ++field) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || !allDigits(text.substr(0, colon))) return std::nullopt;
    text.remove_prefix(colon + 1);
  }
  Report report;
  constexpr std::string_view kExecution = " execution error: ", kSyntax = " syntax error: ";
  if (text.starts_with(kExecution)) {
    text.remove_prefix(kExecution.size());
  } else if (text.starts_with(kSyntax)) {
    text.remove_prefix(kSyntax.size());
    report.syntax = true;
  } else {
    return std::nullopt;
  }
  const auto open = text.rfind(" (");
  if (open == std::string_view::npos || !text.ends_with(')')) return std::nullopt;
  std::string_view number = text.substr(open + 2, text.size() - open - 3);
  const bool negative = number.starts_with('-');
  if (negative) number.remove_prefix(1);
  if (!allDigits(number) || number.size() > 18) return std::nullopt;
  report.number = std::strtoll(std::string(number).c_str(), nullptr, 10) * (negative ? -1 : 1);
  report.message = std::string(text.substr(0, open));
  return report;
}

}  // namespace

AppleScriptOutcome OsascriptAppleScript::run(const std::string& source) {
  // NSAppleScript takes no source that is not UTF-8; neither do we.
  if (!text::isValidUtf8(source)) return {AppleScriptOutcome::Kind::notCompiled, 0, std::nullopt};
  ProcessOptions options;
  options.standardInput = source;
  auto ran = runProcess(osascriptPath_, {}, options);
  if (!ran) return {AppleScriptOutcome::Kind::failed, -1, ran.error().description};
  if (ran->succeeded()) return {};
  const std::string error(ran->standardError.begin(), ran->standardError.end());
  const std::string_view trimmed = text::trimWhitespaceAndNewlines(error);
  auto report = parseReport(trimmed);
  if (!report) return {AppleScriptOutcome::Kind::failed, -1, std::string(trimmed)};
  if (report->syntax) return {AppleScriptOutcome::Kind::notCompiled, report->number, report->message};
  return {AppleScriptOutcome::Kind::failed, report->number, report->message};
}

}  // namespace tavlune::platform
