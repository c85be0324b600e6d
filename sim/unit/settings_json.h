#pragma once

#include <string>
#include <string_view>

#include "unit/settings_model.h"

namespace vqx::sim {

// Overrides settings from a JSON object whose fields are the unit's keywords
// (any case) plus "dhcp" (true/false). Addresses, texts and PARITY are strings,
// the other settings numbers. On failure nothing changes and *error says why.
bool LoadSettingsJson(std::string_view text, SettingsModel* settings, std::string* error);

}  // namespace vqx::sim
