#pragma once

#include <cstdint>

#include "settings/device_settings.h"
#include "window/control_ids.h"

namespace vqx {

// The four one-octet boxes of each address row of the settings form, first octet first.
inline constexpr int kIpBoxes[4] = {ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4};
inline constexpr int kServerIpBoxes[4] = {ids::kServerIp1, ids::kServerIp2, ids::kServerIp3, ids::kServerIp4};
inline constexpr int kGatewayBoxes[4] = {ids::kGateway1, ids::kGateway2, ids::kGateway3, ids::kGateway4};
inline constexpr int kSubnetBoxes[4] = {ids::kSubnet1, ids::kSubnet2, ids::kSubnet3, ids::kSubnet4};

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
