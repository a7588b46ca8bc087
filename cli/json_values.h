// JSON and channel values, both ways: `call` reads its arguments as JSON, and
// --json prints replies as JSON.
#pragma once

#include <string>

#include "channel/encodable_value.h"
#include "platform/json/json.h"
#include "platform/result.h"

namespace tavlune::cli {

// Whole numbers become int32 when they fit, else int64, as the Dart side
// sends them; other numbers become double; objects become maps keyed by text.
Expected<channel::EncodableValue, std::string> toEncodable(const platform::json::Json& json);

// Byte and number lists become arrays; a map whose keys are all text becomes
// an object, any other map an array of [key, value] pairs; a double that is
// not finite becomes null, as JSON has no such number.
platform::json::Json toJson(const channel::EncodableValue& value);

}  // namespace tavlune::cli
