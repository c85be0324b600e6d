#pragma once

// Records for tests: the setters every suite needs to build one, one record a unit could
// report, and one only a damaged or foreign file could hold.

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "settings/device_settings.h"

namespace vqx::testing {

// The text, cut to leave room for the terminator, and zeros to the end of the field.
template <size_t N>
void SetText(char (&field)[N], std::string_view text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

inline void SetAddress(uint8_t (&field)[4], const std::array<uint8_t, 4>& octets) {
  std::memcpy(field, octets.data(), 4);
}

// The unit's own serial line (BAUD, DATA, STOP, PARITY).
inline void SetSerialLine(DeviceSettings& s, int32_t baudRate, int32_t dataBits, int32_t stopBits, char parity) {
  s.serialBaudRate = baudRate;
  s.serialDataBits = dataBits;
  s.serialStopBits = stopBits;
  s.serialParity = parity;
}

// A record with a serial number, a name, an IP address and a VoIP port (what a History
// line shows), every other byte zero.
inline DeviceSettings Record(std::string_view serial, std::string_view name, const std::array<uint8_t, 4>& ip,
                             int32_t voipPort) {
  DeviceSettings s;
  std::memset(&s, 0, sizeof s);
  SetText(s.serialNumber, serial);
  SetText(s.name, name);
  SetAddress(s.ipAddress, ip);
  s.voipPort = voipPort;
  return s;
}

// Every field set to a value the desktop form offers, no two numbers alike where that
// can be helped, so that a field read into the wrong place shows.
inline DeviceSettings SampleSettings() {
  DeviceSettings s = Record("SN0042", "Tower East", {10, 0, 0, 5}, 1221);
  SetAddress(s.subnetMask, {255, 255, 254, 0});
  SetAddress(s.gatewayIp, {10, 0, 0, 1});
  SetAddress(s.serverIp, {192, 168, 7, 9});
  s.serverPort = 1222;
  s.commandPort = 23;
  SetText(s.webPassword, "s3cret");
  SetText(s.firmwareVersion, "VQX-2 v4.07");
  SetText(s.macAddress, "00:1A:2B:3C:4D:5E");
  s.securityFlags = kSecurityNoTelnet | kSecurityNoHttpConfiguration;
  s.connectionMode = 1;
  s.corSquelchType = 2;
  s.corInhibitTime = 1000;
  s.hangTime = 3000;
  s.vocoder = 3;
  SetSerialLine(s, 19200, 7, 2, 'E');
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
