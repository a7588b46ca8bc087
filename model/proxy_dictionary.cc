#include "model/proxy_dictionary.h"

#include "model/coercion.h"
#include "platform/plist/plist.h"

namespace tavlune::model {

namespace pl = platform::plist;

std::optional<pl::Dictionary> proxyDictionary(std::span<const uint8_t> configuration) {
  auto parsed = pl::parse(configuration);
  if (!parsed) return std::nullopt;
  pl::Dictionary* dictionary = parsed->as<pl::Dictionary>();
  if (!dictionary) return std::nullopt;
  return std::move(*dictionary);
}

const pl::Value* valueAt(const pl::Dictionary& proxies, const std::string& key) {
  auto it = proxies.find(key);
  return it == proxies.end() ? nullptr : &it->second;
}

bool isOn(const pl::Dictionary& proxies, const std::string& key) { return integer(valueAt(proxies, key)) == 1; }

}  // namespace tavlune::model
