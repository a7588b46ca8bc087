#include "platform/defaults/file_user_defaults.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/defaults/standard_user_defaults.h"
#include "platform/files/files.h"
#include "platform/plist/plist.h"

namespace tavlune::platform {
namespace {

namespace pl = plist;

// A missing or corrupt file holds nothing.
pl::Dictionary entriesOf(const std::optional<std::string>& bytes) {
  if (!bytes) return {};
  auto parsed = pl::parse(std::string_view(*bytes));
  if (!parsed) return {};
  if (pl::Dictionary* entries = parsed->as<pl::Dictionary>()) return std::move(*entries);
  return {};
}

// One byte past the parser's cap is enough for it to refuse the file.
Result<std::optional<std::string>> readPreferences(const std::string& path) {
  return files::readIfPresent(path, pl::kMaxInputBytes);
}

}  // namespace

std::string FileUserDefaults::standardPath(std::string_view bundleIdentifier) {
  return files::homeDirectory() + "/Library/Preferences/" + std::string(bundleIdentifier) + ".plist";
}

FileUserDefaults::FileUserDefaults(std::string path) : path_(std::move(path)) {}

std::optional<Bytes> FileUserDefaults::data(const std::string& key) {
  // Replacement is atomic, so a read without the lock sees one whole file.
  auto bytes = readPreferences(path_);
  if (!bytes) return std::nullopt;
  pl::Dictionary entries = entriesOf(*bytes);
  auto it = entries.find(key);
  if (it == entries.end()) return std::nullopt;
  if (const pl::Data* value = it->second.as<pl::Data>()) return *value;
  return std::nullopt;
}

template <typename Change>
Result<void> FileUserDefaults::update(Change&& change) {
  std::lock_guard guard(mutex_);
  // Preferences are private: folders created here are the owner's alone.
  if (auto r = files::makeDirectories(files::parentDirectory(path_), 0700); !r) return r;
  // Held for the whole read-modify-replace, so that other processes' changes
  // in between are never overwritten.
  auto lock = files::ExclusiveLock::acquire(path_ + ".lock");
  if (!lock) return unexpected(lock.error());
  auto bytes = readPreferences(path_);
  // Unreadable is not corrupt: writing now could drop entries we cannot see.
  if (!bytes) return unexpected(bytes.error());
  pl::Dictionary entries = entriesOf(*bytes);
  if (!change(entries)) return {};
  auto encoded = pl::toBinary(pl::Value(std::move(entries)));
  if (!encoded) return unexpected(encoded.error());
  return files::writeAtomically(path_, std::string(encoded->begin(), encoded->end()), 0600, path_ + ".tmp");
}

Result<void> FileUserDefaults::setData(const std::string& key, const Bytes& value) {
  return update([&](pl::Dictionary& entries) {
    entries[key] = pl::Value(pl::Data(value));
    return true;
  });
}

Result<void> FileUserDefaults::removeObject(const std::string& key) {
  return update([&](pl::Dictionary& entries) { return entries.erase(key) != 0; });
}

std::shared_ptr<UserDefaults> standardUserDefaults(const std::string& bundleIdentifier) {
  return std::make_shared<FileUserDefaults>(FileUserDefaults::standardPath(bundleIdentifier));
}

}  // namespace tavlune::platform
