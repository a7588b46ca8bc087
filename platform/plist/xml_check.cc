#include "platform/plist/xml_check.h"

#include <charconv>
#include <cstdint>

#include "platform/plist/limits.h"

namespace tavlune::platform::plist {
namespace {

Unexpected<Error> malformed(const std::string& why) {
  return unexpected(Error{"The property list is malformed: " + why + "."});
}

// The <plist> wrapper and a scalar element sit around the containers.
constexpr size_t kMaxElementDepth = kMaxDepth + 2;

}  // namespace

bool isDecimalInt64(std::string_view text) {
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return false;
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

Result<void> checkXml(std::string_view text) {
  size_t depth = 0;
  size_t i = 0;
  auto skipPast = [&](std::string_view terminator) {
    const size_t at = text.find(terminator, i);
    if (at == std::string_view::npos) return false;
    i = at + terminator.size();
    return true;
  };
  while ((i = text.find('<', i)) != std::string_view::npos) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("<?")) {
      if (!skipPast("?>")) return malformed("unterminated processing instruction");
    } else if (rest.starts_with("<!--")) {
      if (!skipPast("-->")) return malformed("unterminated comment");
    } else if (rest.starts_with("<![CDATA[")) {
      if (!skipPast("]]>")) return malformed("unterminated character data");
    } else if (rest.starts_with("<!")) {
      const size_t start = i;
      if (!skipPast(">")) return malformed("unterminated declaration");
      // An internal subset could hide markup from this pass but not from libplist.
      if (text.substr(start, i - start).find('[') != std::string_view::npos) {
        return malformed("document type with internal subset");
      }
    } else if (rest.starts_with("</")) {
      if (!skipPast(">")) return malformed("unterminated tag");
      if (depth == 0) return malformed("unbalanced closing tag");
      --depth;
    } else {
      const size_t start = i;
      if (!skipPast(">")) return malformed("unterminated tag");
      const std::string_view tag = text.substr(start + 1, i - start - 2);
      const bool selfClosing = !tag.empty() && tag.back() == '/';
      const std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
      if (name == "integer") {
        if (selfClosing) return malformed("empty integer");
        const size_t close = text.find('<', i);
        if (close == std::string_view::npos || !text.substr(close).starts_with("</integer>")) {
          return malformed("integer with markup inside");
        }
        if (!isDecimalInt64(text.substr(i, close - i))) return malformed("integer not a decimal within 64 bits");
      }
      if (!selfClosing && ++depth > kMaxElementDepth) return malformed("nested too deeply");
    }
  }
  return {};
}

}  // namespace tavlune::platform::plist
