#pragma once

// The records the golden outputs are made of: between them every value of every list the
// form offers, values no list offers, DHCP on and off, empty and full-length texts,
// bytes at the edges of Latin-1 and several combinations of the security bits.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/command_table.h"
#include "settings/device_settings.h"
#include "settings/setting_table.h"
#include "support/sample_settings.h"

namespace vqx::testing {

struct NamedRecord {
  std::string label;
  DeviceSettings settings;
};

// The text and zeros after it; a text as long as the field fills it without a terminator.
template <size_t N>
void FillField(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N));
}

// Entry i of the form's list of a setting, wrapping round.
inline int32_t OfferedValue(int32_t commandId, size_t i) {
  const SettingRow& row = *RowOfCommand(commandId);
  return row.choices[i % row.offered].value;
}

// Record i takes entry i of each list (wrapping round the shorter lists), so six records
// go through every entry of the longest list and all of every shorter one.
inline DeviceSettings ChoiceRecord(size_t i) {
  DeviceSettings s = SampleSettings();
  s.vocoder = OfferedValue(kCmdVocoder, i);
  s.corSquelchType = OfferedValue(kCmdCor, i);
  s.broadcastMode = OfferedValue(kCmdBcast, i);
  s.voxThreshold = OfferedValue(kCmdVsense, i);
  s.serialParity = static_cast<char>(OfferedValue(kCmdParity, i));
  s.corInhibitTime = OfferedValue(kCmdCorinh, i);
  s.hangTime = OfferedValue(kCmdHangtm, i);
  s.connectionMode = static_cast<int32_t>(i % 2);
  s.inputBoost = static_cast<int32_t>((i + 1) % 2);
  s.duplex = static_cast<int32_t>(i % 2);
  s.dhcpAssigned = static_cast<uint8_t>(i % 2);
  static const int32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400};
  s.serialBaudRate = kBauds[i % 6];
  s.serialDataBits = i % 2 == 0 ? 8 : 7;
  s.serialStopBits = i % 3 == 0 ? 2 : 1;
  // Each switch alone, none, and all of them.
  static const int32_t kSecurity[] = {0,
                                      kSecurityNoTelnet,
                                      kSecurityNoHttpAuthentication,
                                      kSecurityNoHttpConnectionManagement,
                                      kSecurityNoHttpConfiguration,
                                      kSecurityNoHttpAccess | kSecurityNoHttpConfiguration |
                                          kSecurityNoHttpConnectionManagement | kSecurityNoHttpAuthentication |
                                          kSecurityNoTelnet};
  s.securityFlags = kSecurity[i % 6];
  s.ipAddress[3] = static_cast<uint8_t>(10 + i);
  s.serverIp[0] = static_cast<uint8_t>(i % 2 == 0 ? 239 : 192);
  s.qosDscp = static_cast<int32_t>(i * 10);
  s.voipPort = static_cast<int32_t>(2000 + i);
  char name[32];
  std::snprintf(name, sizeof name, "Choice %zu", i);
  FillField(s.name, name);
  FillField(s.serialNumber, "CH" + std::to_string(i));
  return s;
}

// Values the unit may report although no list offers them.
inline DeviceSettings UnlistedRecord() {
  DeviceSettings s = SampleSettings();
  s.hangTime = 0;
  s.corSquelchType = 3;
  s.connectionMode = 2;
  s.serialBaudRate = 14400;
  s.corInhibitTime = 750;
  s.broadcastMode = 4;
  s.voxThreshold = 5;
  s.vocoder = 0;
  s.serialParity = 'M';
  s.serialDataBits = 6;
  s.serialStopBits = 0;
  s.inputBoost = 20;
  s.duplex = -1;
  s.qosDscp = 63;
  s.securityFlags = 0x07 | kSecurityNoHttpAccess;  // bits no check box shows, and one that does
  s.dhcpAssigned = 0;
  FillField(s.name, "Unlisted");
  return s;
}

inline DeviceSettings UnlistedConnectionModeRecord() {
  DeviceSettings s = UnlistedRecord();
  s.connectionMode = 7;
  s.serialBaudRate = 250000;
  s.hangTime = 1500;
  s.vocoder = 6;
  s.serialParity = '\0';
  FillField(s.name, "Mode seven");
  return s;
}

// Every text empty, DHCP on.
inline DeviceSettings EmptyTextsRecord() {
  DeviceSettings s = SampleSettings();
  FillField(s.name, "");
  FillField(s.webPassword, "");
  FillField(s.firmwareVersion, "");
  FillField(s.serialNumber, "");
  FillField(s.macAddress, "");
  s.dhcpAssigned = 1;
  s.securityFlags = 0;
  return s;
}

// Every text as long as its field holds with a terminator; the name and password
// with characters a report, a CSV or JSON file must carry carefully.
inline DeviceSettings FullTextsRecord() {
  DeviceSettings s = SampleSettings();
  FillField(s.name, std::string(60, 'N') + "a,\"b");
  FillField(s.webPassword, "=1+2" + std::string(59, 'p'));
  FillField(s.firmwareVersion, std::string(63, 'v'));
  FillField(s.serialNumber, std::string(11, 'S'));
  FillField(s.macAddress, std::string(23, 'm'));
  s.dhcpAssigned = 0;
  return s;
}

// Bytes at the edges of Latin-1 and of ASCII.
inline DeviceSettings Latin1Record() {
  DeviceSettings s = SampleSettings();
  FillField(s.name, std::string("\x01\x1f \x7e\x7f\x80\x9f\xa0\xe9\xfe\xff", 11));
  FillField(s.webPassword, "caf\xe9;\xff");
  FillField(s.serialNumber, "\xa0SN\xff");
  return s;
}

inline std::vector<NamedRecord> GoldenRecords() {
  std::vector<NamedRecord> records;
  records.push_back({"sample", SampleSettings()});
  for (size_t i = 0; i < 6; ++i) records.push_back({"choice " + std::to_string(i), ChoiceRecord(i)});
  records.push_back({"unlisted values", UnlistedRecord()});
  records.push_back({"unlisted connection mode", UnlistedConnectionModeRecord()});
  records.push_back({"empty texts", EmptyTextsRecord()});
  records.push_back({"full-length texts", FullTextsRecord()});
  records.push_back({"latin-1 edges", Latin1Record()});
  records.push_back({"from a foreign file", OddRecord(0xA5)});
  return records;
}

}  // namespace vqx::testing
