#pragma once

#include <cstdint>

#include "settings/device_settings.h"
#include "window/control_ids.h"

namespace vqx {

// The "Security" check boxes: a box is checked when its bit is clear (the bit switches
// the feature off).
struct SecurityBox {
  int control;
  int32_t bit;
};
inline constexpr SecurityBox kSecurityBoxes[] = {
    {ids::kAllowTelnet, kSecurityNoTelnet},
    {ids::kAllowHttpAuthentication, kSecurityNoHttpAuthentication},
    {ids::kAllowHttpConnectionManagement, kSecurityNoHttpConnectionManagement},
    {ids::kAllowHttpConfiguration, kSecurityNoHttpConfiguration},
    {ids::kAllowHttpAccess, kSecurityNoHttpAccess},
};

}  // namespace vqx
