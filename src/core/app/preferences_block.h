#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/device_settings.h"
#include "settings/setting_table.h"

namespace vqx {

inline constexpr int32_t kHistoryCapacity = 200;
inline constexpr int32_t kRemoteConnectionCapacity = 256;
inline constexpr uint8_t kPreferencesFormatMark = 17;
inline constexpr const char* kPreferencesFileName = "VQXSU_Prefs.cfg";

// Everything the program remembers between runs. The file "VQXSU_Prefs.cfg" is this
// record's memory image, so the layout is a file format: offsets never change.
struct PreferencesBlock {
  uint8_t formatMark;                                           // always 17
  uint8_t reserved1[3];                                         // carried as read
  int32_t view;                                                 // 1 Settings, 2 Terminal, 4 History
  int32_t baudRate;                                             // host side of the line
  int32_t dataBits;
  int32_t stopBits;
  char parity;                                                  // 'N', 'E' or 'O'
  char portName[256];
  char connectionAddresses[kRemoteConnectionCapacity][16];      // dotted decimal text
  char connectionDescriptions[kRemoteConnectionCapacity][64];
  uint8_t reserved2[3];                                         // carried as read
  int32_t connectionCount;                                      // 0..256
  DeviceSettings history[kHistoryCapacity];                     // in list order
  int32_t historyCount;                                         // 0..200
};

static_assert(sizeof(PreferencesBlock) == 86368);
static_assert(offsetof(PreferencesBlock, view) == 4);
static_assert(offsetof(PreferencesBlock, baudRate) == 8);
static_assert(offsetof(PreferencesBlock, dataBits) == 12);
static_assert(offsetof(PreferencesBlock, stopBits) == 16);
static_assert(offsetof(PreferencesBlock, parity) == 20);
static_assert(offsetof(PreferencesBlock, portName) == 21);
static_assert(offsetof(PreferencesBlock, connectionAddresses) == 277);
static_assert(offsetof(PreferencesBlock, connectionDescriptions) == 4373);
static_assert(offsetof(PreferencesBlock, reserved2) == 20757);
static_assert(offsetof(PreferencesBlock, connectionCount) == 20760);
static_assert(offsetof(PreferencesBlock, history) == 20764);
static_assert(offsetof(PreferencesBlock, historyCount) == 86364);

// A host-line setting the unit took or reported becomes the host's own: after the next
// reboot or reopen the host speaks what the unit speaks.
inline void FollowHostLine(const SettingRow& row, const DeviceSettings& s, PreferencesBlock& prefs) {
  switch (row.hostLine) {
    case HostLine::BaudRate: prefs.baudRate = s.serialBaudRate; break;
    case HostLine::DataBits: prefs.dataBits = s.serialDataBits; break;
    case HostLine::StopBits: prefs.stopBits = s.serialStopBits; break;
    case HostLine::Parity: prefs.parity = s.serialParity; break;
    case HostLine::None: break;
  }
}

}  // namespace vqx
