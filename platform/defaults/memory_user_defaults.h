// In-memory user defaults for tests. It can also hold a non-data entry and
// refuse writes, so that callers' handling of both can be checked.
#pragma once

#include <map>
#include <mutex>
#include <variant>

#include "platform/defaults/user_defaults.h"

namespace tavlune::platform {

class MemoryUserDefaults final : public UserDefaults {
 public:
  std::optional<Bytes> data(const std::string& key) override {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    if (const Bytes* bytes = std::get_if<Bytes>(&it->second)) return *bytes;
    return std::nullopt;
  }

  Result<void> setData(const std::string& key, const Bytes& value) override {
    std::lock_guard lock(mutex_);
    if (failWrites_) return unexpected(Error{"The user defaults could not be written."});
    entries_[key] = value;
    return {};
  }

  Result<void> removeObject(const std::string& key) override {
    std::lock_guard lock(mutex_);
    if (failWrites_) return unexpected(Error{"The user defaults could not be written."});
    entries_.erase(key);
    return {};
  }

  // Test helpers.
  void setString(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    entries_[key] = value;
  }
  bool contains(const std::string& key) {
    std::lock_guard lock(mutex_);
    return entries_.count(key) != 0;
  }
  void setFailWrites(bool fail) {
    std::lock_guard lock(mutex_);
    failWrites_ = fail;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::variant<Bytes, std::string>> entries_;
  bool failWrites_ = false;
};

}  // namespace tavlune::platform
