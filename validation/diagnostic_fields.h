// Reading a probe's JSON answer into a diagnostic record.
#pragma once

#include <optional>

#include "model/records.h"
#include "platform/json/json.h"

namespace tavlune::validation {

inline constexpr const char* kNotSupplied = "Not supplied";

// The record for an answer that names the exit address ("ip"); absent when
// it does not. The speed is left empty for the caller to fill.
std::optional<model::MacProxyDiagnostic> diagnosticFromAnswer(const platform::json::Json& answer);

}  // namespace tavlune::validation
