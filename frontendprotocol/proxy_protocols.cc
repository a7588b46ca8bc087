#include "frontendprotocol/proxy_protocols.h"

#include <algorithm>

namespace tavlune::frontendprotocol {

std::string allowedProxyProtocol(std::string_view name) {
  // The names are ASCII, so ASCII lower-casing decides as well as any.
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
  });
  for (const char* known : kProxyProtocols)
    if (lower == known) return lower;
  return {};
}

}  // namespace tavlune::frontendprotocol
