// User defaults: data values by key, persisted per user. Every operation is
// safe to call from any thread; each save or remove is one atomic replacement
// of the store, so a crash leaves either the old or the new content.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tavlune::platform {

using Bytes = std::vector<uint8_t>;

class UserDefaults {
 public:
  virtual ~UserDefaults() = default;

  // The data value stored under key. Absent when there is no entry, when the
  // entry is not a data value, or when the store cannot be read or is corrupt.
  virtual std::optional<Bytes> data(const std::string& key) = 0;

  // Stores value as the data value of key, replacing whatever was there.
  virtual Result<void> setData(const std::string& key, const Bytes& value) = 0;

  // Deletes the entry of key; removing a key without an entry succeeds.
  virtual Result<void> removeObject(const std::string& key) = 0;
};

}  // namespace tavlune::platform
