// Saving, loading and removing the records in user defaults, one JSON data
// value under each record's key.
#pragma once

#include <optional>
#include <string>

#include "model/records.h"
#include "platform/crash_point.h"
#include "platform/defaults/user_defaults.h"

namespace tavlune::model {

// Writes the record's compact JSON. When it cannot be encoded or written,
// what the key held before stays, and the error is returned so that a caller
// that must not go on without the record can stop.
template <typename Record>
platform::Result<void> saveRecord(platform::UserDefaults& defaults, const Record& record) {
  auto text = platform::json::serialize(toJson(record));
  if (!text) return unexpected(text.error());
  auto saved = defaults.setData(recordKey<Record>, platform::Bytes(text->begin(), text->end()));
  if (saved) platform::crashPoint("record saved");
  return saved;
}

// The stored record; absent when missing, not data, or not decodable. An
// undecodable entry is left where it is.
template <typename Record>
std::optional<Record> loadRecord(platform::UserDefaults& defaults) {
  auto bytes = defaults.data(recordKey<Record>);
  if (!bytes) return std::nullopt;
  auto json = platform::json::parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!json) return std::nullopt;
  return recordFromJson<Record>(*json);
}

template <typename Record>
platform::Result<void> removeRecord(platform::UserDefaults& defaults) {
  auto removed = defaults.removeObject(recordKey<Record>);
  if (removed) platform::crashPoint("record removed");
  return removed;
}

}  // namespace tavlune::model
