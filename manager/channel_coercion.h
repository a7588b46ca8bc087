// The coercions of the front end's argument values, with the same rules as
// those of property lists and JSON in model/coercion.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "channel/encodable_value.h"

namespace tavlune::manager {

std::optional<std::string> text(const channel::EncodableValue* value);
std::optional<int64_t> integer(const channel::EncodableValue* value);

}  // namespace tavlune::manager
