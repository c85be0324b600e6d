#pragma once

#include <span>
#include <string>

#include "settings/device_settings.h"

namespace vqx {

// The plain-text report of History entries shown in the "Settings" pane and written to
// "History.txt": "---" and then one block per entry, each ending in "---". Lines end in
// CR LF. Texts are read no further than their fields, so a record from a file that lacks
// a terminating NUL is reported whole and nothing beyond it.
std::string FormatSettingsReport(std::span<const DeviceSettings> entries);

}  // namespace vqx
