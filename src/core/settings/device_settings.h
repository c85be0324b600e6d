#pragma once

#include <cstddef>
#include <cstdint>

namespace vqx {

// Every setting of a unit as the program last learned it. The History snapshots are
// stored byte for byte in the preferences file, so this layout is a file format:
// order, widths, offsets and padding never change. Integers are little-endian.
struct DeviceSettings {
  uint8_t ipAddress[4];      // MYIP
  uint8_t subnetMask[4];     // SUBNET
  uint8_t gatewayIp[4];      // GATEIP
  uint8_t serverIp[4];       // SRVRIP: remote server or multicast group
  int32_t voipPort;          // PORT
  int32_t serverPort;        // SRVRPORT
  char name[64];             // NAME
  char webPassword[64];      // PASS
  char firmwareVersion[64];  // VER, read only
  char serialNumber[12];     // typed by the user, never read from the unit
  int32_t securityFlags;     // SECURITY: a set bit switches the feature off
  int32_t connectionMode;    // CONMODE
  int32_t corSquelchType;    // COR 0..3
  int32_t corInhibitTime;    // CORINH, ms
  int32_t hangTime;          // HANGTM, ms
  int32_t vocoder;           // VOCODER 1..5
  int32_t serialBaudRate;    // BAUD
  int32_t serialDataBits;    // DATA
  int32_t serialStopBits;    // STOP
  char serialParity;         // PARITY 'E', 'N' or 'O'
  uint8_t padding1[3];       // carried unchanged in the file
  int32_t commandPort;       // CMDPORT
  char macAddress[24];       // MAC, read only
  int32_t broadcastMode;     // BCAST 0..3
  int32_t qosDscp;           // DSCP
  int32_t voxThreshold;      // VSENSE 0..2
  int32_t inputBoost;        // BOOST
  int32_t duplex;            // DUPLEX
  int32_t rxDelay;           // RXDELAY, ms
  int32_t txDelay;           // TXDELAY, ms
  uint8_t dhcpAssigned;      // the MYIP/SUBNET reply carried the DHCP remark
  uint8_t padding2[3];       // carried unchanged in the file
};

static_assert(sizeof(DeviceSettings) == 328);
static_assert(offsetof(DeviceSettings, ipAddress) == 0);
static_assert(offsetof(DeviceSettings, subnetMask) == 4);
static_assert(offsetof(DeviceSettings, gatewayIp) == 8);
static_assert(offsetof(DeviceSettings, serverIp) == 12);
static_assert(offsetof(DeviceSettings, voipPort) == 16);
static_assert(offsetof(DeviceSettings, serverPort) == 20);
static_assert(offsetof(DeviceSettings, name) == 24);
static_assert(offsetof(DeviceSettings, webPassword) == 88);
static_assert(offsetof(DeviceSettings, firmwareVersion) == 152);
static_assert(offsetof(DeviceSettings, serialNumber) == 216);
static_assert(offsetof(DeviceSettings, securityFlags) == 228);
static_assert(offsetof(DeviceSettings, connectionMode) == 232);
static_assert(offsetof(DeviceSettings, corSquelchType) == 236);
static_assert(offsetof(DeviceSettings, corInhibitTime) == 240);
static_assert(offsetof(DeviceSettings, hangTime) == 244);
static_assert(offsetof(DeviceSettings, vocoder) == 248);
static_assert(offsetof(DeviceSettings, serialBaudRate) == 252);
static_assert(offsetof(DeviceSettings, serialDataBits) == 256);
static_assert(offsetof(DeviceSettings, serialStopBits) == 260);
static_assert(offsetof(DeviceSettings, serialParity) == 264);
static_assert(offsetof(DeviceSettings, commandPort) == 268);
static_assert(offsetof(DeviceSettings, macAddress) == 272);
static_assert(offsetof(DeviceSettings, broadcastMode) == 296);
static_assert(offsetof(DeviceSettings, qosDscp) == 300);
static_assert(offsetof(DeviceSettings, voxThreshold) == 304);
static_assert(offsetof(DeviceSettings, inputBoost) == 308);
static_assert(offsetof(DeviceSettings, duplex) == 312);
static_assert(offsetof(DeviceSettings, rxDelay) == 316);
static_assert(offsetof(DeviceSettings, txDelay) == 320);
static_assert(offsetof(DeviceSettings, dhcpAssigned) == 324);

// The file stores integers little-endian, as they lie in memory here.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the record layout assumes a little-endian host");

// securityFlags bits: a set bit switches the feature off.
inline constexpr int32_t kSecurityNoTelnet = 0x08;
inline constexpr int32_t kSecurityNoHttpAuthentication = 0x10;
inline constexpr int32_t kSecurityNoHttpConnectionManagement = 0x20;
inline constexpr int32_t kSecurityNoHttpConfiguration = 0x40;
inline constexpr int32_t kSecurityNoHttpAccess = 0x80;

// A value and the text the form's lists show for it (settings/setting_table.h).
struct ValueText {
  int32_t value;
  const char* text;
};

}  // namespace vqx
