#include "platform/plist/utf8.h"

#include "platform/text/utf8.h"

namespace tavlune::platform::plist {

bool isPlistText(std::string_view text) {
  return text.find('\0') == std::string_view::npos && strings::isValidUtf8(text);
}

}  // namespace tavlune::platform::plist
