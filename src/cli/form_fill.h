#pragma once

#include <string>
#include <vector>

#include "app/app_window.h"
#include "cli_surface.h"
#include "settings/device_settings.h"

namespace vqx::cli {

// Puts target's value of each named field (snapshot JSON names) into the settings form as
// a user would: boxes typed, list items chosen, check boxes clicked. Refuses, naming the
// field, a value the form does not offer and a field the form has no control for.
bool FillForm(CliSurface& surface, CAppWindow& window, const DeviceSettings& target,
              const std::vector<std::string>& fields, std::string* error);

}  // namespace vqx::cli
