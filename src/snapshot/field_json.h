#pragma once

// One field's value checked as FromJson checks it, for readers that build no JSON object
// per entry (a table of a hundred thousand rows).

#include <string>

#include <nlohmann/json.hpp>

#include "field_table.h"

namespace vqx::snapshot::detail {

// Writes value (and, for a list field, its companion text; either may be null but not
// both) into out after FromJson's checks of f; false with "key: reason" in *error.
bool ParseFieldJson(const nlohmann::json* value, const nlohmann::json* companion, const Field& f, DeviceSettings& out,
                    std::string* error);

}  // namespace vqx::snapshot::detail
