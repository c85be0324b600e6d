#pragma once

// Records for the snapshot tests: one a unit could report, one only a damaged or foreign
// file could hold.

#include <cstring>

#include "settings/device_settings.h"

namespace vqx::testing {

// Every field set to a value the desktop form offers, no two numbers alike where that
// can be helped, so that a field read into the wrong place shows.
inline DeviceSettings SampleSettings() {
  DeviceSettings s;
  std::memset(&s, 0, sizeof s);
  const uint8_t ip[4] = {10, 0, 0, 5}, mask[4] = {255, 255, 254, 0}, gw[4] = {10, 0, 0, 1},
                server[4] = {192, 168, 7, 9};
  std::memcpy(s.ipAddress, ip, 4);
  std::memcpy(s.subnetMask, mask, 4);
  std::memcpy(s.gatewayIp, gw, 4);
  std::memcpy(s.serverIp, server, 4);
  s.voipPort = 1221;
  s.serverPort = 1222;
  s.commandPort = 23;
  std::strcpy(s.name, "Tower East");
  std::strcpy(s.webPassword, "s3cret");
  std::strcpy(s.firmwareVersion, "VQX-2 v4.07");
  std::strcpy(s.serialNumber, "SN0042");
  std::strcpy(s.macAddress, "00:1A:2B:3C:4D:5E");
  s.securityFlags = kSecurityNoTelnet | kSecurityNoHttpConfiguration;
  s.connectionMode = 1;
  s.corSquelchType = 2;
  s.corInhibitTime = 1000;
  s.hangTime = 3000;
  s.vocoder = 3;
  s.serialBaudRate = 19200;
  s.serialDataBits = 7;
  s.serialStopBits = 2;
  s.serialParity = 'E';
  s.broadcastMode = 1;
  s.qosDscp = 46;
  s.voxThreshold = 1;
  s.inputBoost = 1;
  s.duplex = 1;
  s.rxDelay = 250;
  s.txDelay = 9000;
  s.dhcpAssigned = 1;
  return s;
}

// What a preferences file may hold: values no list offers, texts without terminators,
// bytes beyond terminators and in the padding, bytes above 0x7F.
inline DeviceSettings OddRecord(unsigned char fill) {
  DeviceSettings s;
  std::memset(&s, fill, sizeof s);
  std::memcpy(s.name, "Caf\xE9 \xFF", 6);
  s.name[6] = '\0';  // the rest of the field keeps fill
  s.vocoder = 0;
  s.hangTime = 250;
  s.connectionMode = 2;
  s.serialParity = '\0';
  s.dhcpAssigned = 7;
  return s;
}

}  // namespace vqx::testing
