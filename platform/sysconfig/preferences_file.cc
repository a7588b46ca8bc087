#include "platform/sysconfig/preferences_file.h"

#include "platform/files/files.h"
#include "platform/plist/limits.h"

namespace tavlune::platform::sysconfig {

Result<NetworkPreferences> readPreferencesFile(const std::string& path) {
  auto bytes = files::read(path, plist::kMaxInputBytes);
  if (!bytes) return unexpected(bytes.error());
  return NetworkPreferences::fromBytes(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
}

}  // namespace tavlune::platform::sysconfig
