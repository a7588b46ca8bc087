// The simulated machine's network preferences and, beside them, the keychain
// items that hold proxy passwords (the system keeps those out of the
// preferences too). Every change re-reads both under an exclusive lock and
// replaces each file by rename, so concurrent invocations never lose an edit
// and readers always see whole files.
#pragma once

#include <functional>
#include <string>

#include "platform/error.h"
#include "platform/plist/value.h"
#include "platform/sysconfig/network_preferences.h"

namespace tavlune::sim {

// Service id -> {"HTTP" | "HTTPS" | "SOCKS" -> password bytes}.
using Keychain = platform::plist::Dictionary;

class PreferencesStore {
 public:
  static constexpr const char* keychainFileName = "tavlune-sim-keychain.plist";

  explicit PreferencesStore(std::string preferencesPath);

  platform::Result<platform::sysconfig::NetworkPreferences> read() const;
  platform::Result<Keychain> readKeychain() const;

  // Runs change on the current contents (the preferences' top-level
  // dictionary) with the lock held. change answers whether it changed
  // anything, or an error text; on error or no change nothing is written.
  using Change = std::function<platform::Result<bool>(platform::plist::Dictionary&, Keychain&)>;
  platform::Result<void> update(const Change& change) const;

  const std::string& keychainPath() const { return keychainPath_; }

 private:
  std::string preferencesPath_;
  std::string keychainPath_;
};

}  // namespace tavlune::sim
