// Saving, loading and removing the records in user defaults, one JSON data
// value per key.
#pragma once

#include <optional>
#include <string>

#include "manager/records.h"
#include "platform/defaults/user_defaults.h"

namespace tavlune {

// Writes the record's compact JSON under key. When it cannot be encoded or
// written, what the key held before stays, and the error is returned so that
// a caller that must not go on without the record can stop.
template <typename Record>
platform::Result<void> save(platform::UserDefaults& defaults, const Record& record, const std::string& key) {
  auto text = platform::json::serialize(toJson(record));
  if (!text) return unexpected(text.error());
  return defaults.setData(key, platform::Bytes(text->begin(), text->end()));
}

// The record under key; absent when missing, not data, or not decodable. An
// undecodable entry is left where it is.
template <typename Record>
std::optional<Record> load(platform::UserDefaults& defaults, const std::string& key) {
  auto bytes = defaults.data(key);
  if (!bytes) return std::nullopt;
  auto json = platform::json::parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!json) return std::nullopt;
  return recordFromJson<Record>(*json);
}

inline platform::Result<void> remove(platform::UserDefaults& defaults, const std::string& key) {
  return defaults.removeObject(key);
}

}  // namespace tavlune
