// User defaults kept in a binary property list: one dictionary of key -> data.
// Each change re-reads the file under an exclusive lock shared with other
// processes, so concurrent writers never lose each other's keys, and replaces
// it by rename, so a crash leaves either the old or the new file.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/defaults/user_defaults.h"

namespace tavlune::platform {

class FileUserDefaults final : public UserDefaults {
 public:
  // "$HOME/Library/Preferences/<bundle identifier>.plist"; the passwd
  // entry's home when HOME is unset or empty.
  static std::string standardPath(std::string_view bundleIdentifier);

  explicit FileUserDefaults(std::string path);

  std::optional<Bytes> data(const std::string& key) override;
  Result<void> setData(const std::string& key, const Bytes& value) override;
  Result<void> removeObject(const std::string& key) override;

  const std::string& path() const { return path_; }

 private:
  template <typename Change>
  Result<void> update(Change&& change);

  std::string path_;
  std::mutex mutex_;
};

}  // namespace tavlune::platform
