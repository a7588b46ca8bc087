#include "sim/networksetup/preferences_store.h"

#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/files/files.h"
#include "platform/plist/plist.h"
#include "platform/sysconfig/preferences_file.h"

namespace tavlune::sim {
namespace {

using platform::Error;
using platform::Result;
namespace pl = platform::plist;

std::string directoryOf(const std::string& path) { return platform::files::parentDirectory(path); }

Result<void> replaceFile(const std::string& path, const pl::Data& bytes, mode_t mode) {
  return platform::files::writeAtomically(path, std::string(bytes.begin(), bytes.end()), mode);
}

}  // namespace

PreferencesStore::PreferencesStore(std::string preferencesPath)
    : preferencesPath_(std::move(preferencesPath)),
      keychainPath_(directoryOf(preferencesPath_) + "/" + keychainFileName) {}

Result<platform::sysconfig::NetworkPreferences> PreferencesStore::read() const {
  return platform::sysconfig::readPreferencesFile(preferencesPath_);
}

// No keychain file yet holds no passwords; a damaged one is an error rather
// than a reason to drop the passwords it holds.
Result<Keychain> PreferencesStore::readKeychain() const {
  if (::access(keychainPath_.c_str(), F_OK) != 0 && errno == ENOENT) return Keychain{};
  auto contents = platform::sysconfig::readPreferencesFile(keychainPath_);
  if (!contents) return unexpected(Error{"The keychain " + keychainPath_ + " cannot be read: " + contents.error().description});
  return contents->root();
}

Result<void> PreferencesStore::update(const Change& change) const {
  auto lock = platform::files::ExclusiveLock::acquire(preferencesPath_ + ".lock");
  if (!lock) return unexpected(lock.error());
  auto preferences = read();
  if (!preferences) return unexpected(preferences.error());
  auto keychain = readKeychain();
  if (!keychain) return unexpected(keychain.error());
  const Keychain before = *keychain;

  pl::Dictionary root = preferences->root();
  auto changed = change(root, *keychain);
  if (!changed) return unexpected(changed.error());
  if (!*changed) return {};

  // Both encoded before either is written, so a value that cannot be stored
  // leaves both files as they were.
  auto preferencesBytes = pl::toBinary(pl::Value(std::move(root)));
  if (!preferencesBytes) return unexpected(preferencesBytes.error());
  if (!(*keychain == before)) {
    auto keychainBytes = pl::toBinary(pl::Value(*keychain));
    if (!keychainBytes) return unexpected(keychainBytes.error());
    if (auto r = replaceFile(keychainPath_, *keychainBytes, 0600); !r) return r;
  }
  return replaceFile(preferencesPath_, *preferencesBytes, 0644);
}

}  // namespace tavlune::sim
