#include "field_table.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>
#include <cstdio>
#include <cstring>

#include "protocol/command_table.h"
#include "settings/setting_table.h"
#include "text_codec.h"

namespace vqx::snapshot::detail {

namespace {

constexpr ValueText kInputBoostReport[] = {{0, "None"}, {1, "+20 dB"}};

#define VQX_AT(member) .offset = offsetof(DeviceSettings, member), .size = sizeof(DeviceSettings::member)

// The lists, ranges and values of each field come from the setting table, by keyword.
const Field kLiteralFields[] = {
    {.key = "serialNumber", .label = "Serial Number", .keyword = "", .kind = Kind::Text, .readOnly = true,
     VQX_AT(serialNumber), .maxLength = 10},
    {.key = "name", .label = "Name", .keyword = "NAME", .kind = Kind::Text, .readOnly = false, VQX_AT(name),
     .maxLength = 63},
    {.key = "ipAddress", .label = "IP Address", .keyword = "MYIP", .kind = Kind::Address, .readOnly = false,
     VQX_AT(ipAddress)},
    {.key = "voipPort", .label = "VoIP Port", .keyword = "PORT", .kind = Kind::Range, .readOnly = false,
     VQX_AT(voipPort)},
    {.key = "commandPort", .label = "Command Port", .keyword = "CMDPORT", .kind = Kind::Range, .readOnly = false,
     VQX_AT(commandPort)},
    {.key = "serverIp", .label = "Server IP Address", .keyword = "SRVRIP", .kind = Kind::Address, .readOnly = false,
     VQX_AT(serverIp)},
    {.key = "serverPort", .label = "Server Port", .keyword = "SRVRPORT", .kind = Kind::Range, .readOnly = false,
     VQX_AT(serverPort)},
    {.key = "gateway", .label = "Gateway IP", .keyword = "GATEIP", .kind = Kind::Address, .readOnly = false,
     VQX_AT(gatewayIp)},
    {.key = "subnetMask", .label = "Subnet Mask", .keyword = "SUBNET", .kind = Kind::Address, .readOnly = false,
     VQX_AT(subnetMask)},
    {.key = "connectionMode", .label = "Connection Mode", .keyword = "CONMODE", .kind = Kind::Choice,
     .readOnly = false, VQX_AT(connectionMode)},
    {.key = "broadcastMode", .label = "Broadcast Mode", .keyword = "BCAST", .kind = Kind::Choice, .readOnly = false,
     VQX_AT(broadcastMode)},
    {.key = "firmwareVersion", .label = "Firmware Ver", .keyword = "VER", .kind = Kind::Text, .readOnly = true,
     VQX_AT(firmwareVersion), .maxLength = 63},
    {.key = "macAddress", .label = "Mac Address", .keyword = "MAC", .kind = Kind::Text, .readOnly = true,
     VQX_AT(macAddress), .maxLength = 23},
    {.key = "dhcp", .label = "DHCP", .keyword = "MYIP", .kind = Kind::Flag, .readOnly = true, VQX_AT(dhcpAssigned)},
    {.key = "allowHttpAccess", .label = "Access via HTTP", .keyword = "SECURITY", .kind = Kind::SecurityBit,
     .readOnly = false, VQX_AT(securityFlags), .bit = kSecurityNoHttpAccess},
    {.key = "allowHttpConfiguration", .label = "Configuration via HTTP", .keyword = "SECURITY",
     .kind = Kind::SecurityBit, .readOnly = false, VQX_AT(securityFlags), .bit = kSecurityNoHttpConfiguration},
    {.key = "allowHttpConnectionManagement", .label = "Control connections via HTTP", .keyword = "SECURITY",
     .kind = Kind::SecurityBit, .readOnly = false, VQX_AT(securityFlags),
     .bit = kSecurityNoHttpConnectionManagement},
    {.key = "allowHttpAuthentication", .label = "Authentication via HTTP", .keyword = "SECURITY",
     .kind = Kind::SecurityBit, .readOnly = false, VQX_AT(securityFlags), .bit = kSecurityNoHttpAuthentication},
    {.key = "allowTelnet", .label = "Access via telnet", .keyword = "SECURITY", .kind = Kind::SecurityBit,
     .readOnly = false, VQX_AT(securityFlags), .bit = kSecurityNoTelnet},
    {.key = "webPassword", .label = "Web access password", .keyword = "PASS", .kind = Kind::Text, .readOnly = false,
     VQX_AT(webPassword), .maxLength = 63},
    {.key = "vocoder", .label = "Vocoder", .keyword = "VOCODER", .kind = Kind::Choice, .readOnly = false,
     VQX_AT(vocoder)},
    {.key = "qosDscp", .label = "QOS DSCP Value", .keyword = "DSCP", .kind = Kind::Range, .readOnly = false,
     VQX_AT(qosDscp)},
    {.key = "corSquelchType", .label = "COR Squelch Type", .keyword = "COR", .kind = Kind::Choice, .readOnly = false,
     VQX_AT(corSquelchType)},
    {.key = "corInhibitTime", .label = "COR Inhibit Time", .keyword = "CORINH", .kind = Kind::Listed,
     .readOnly = false, VQX_AT(corInhibitTime), .milliseconds = true},
    {.key = "voxThreshold", .label = "VOX/VMR Threshold", .keyword = "VSENSE", .kind = Kind::Choice,
     .readOnly = false, VQX_AT(voxThreshold)},
    {.key = "hangTime", .label = "VOX/VMR Hang Time", .keyword = "HANGTM", .kind = Kind::Listed, .readOnly = false,
     VQX_AT(hangTime), .milliseconds = true},
    {.key = "duplex", .label = "Duplex", .keyword = "DUPLEX", .kind = Kind::Choice, .readOnly = false,
     VQX_AT(duplex)},
    {.key = "inputBoost", .label = "Input Boost", .keyword = "BOOST", .kind = Kind::Choice, .readOnly = false,
     VQX_AT(inputBoost), .reportTexts = kInputBoostReport},
    {.key = "rxDelay", .label = "RX Delay", .keyword = "RXDELAY", .kind = Kind::Range, .readOnly = false,
     VQX_AT(rxDelay), .milliseconds = true},
    {.key = "txDelay", .label = "TX Delay", .keyword = "TXDELAY", .kind = Kind::Range, .readOnly = false,
     VQX_AT(txDelay), .milliseconds = true},
    {.key = "serialBaudRate", .label = "Serial Baud Rate", .keyword = "BAUD", .kind = Kind::Listed,
     .readOnly = false, VQX_AT(serialBaudRate)},
    {.key = "serialDataBits", .label = "Serial Data Bits", .keyword = "DATA", .kind = Kind::Listed,
     .readOnly = false, VQX_AT(serialDataBits)},
    {.key = "serialStopBits", .label = "Serial Stop Bits", .keyword = "STOP", .kind = Kind::Listed,
     .readOnly = false, VQX_AT(serialStopBits)},
    {.key = "serialParity", .label = "Serial Parity", .keyword = "PARITY", .kind = Kind::Parity, .readOnly = false,
     VQX_AT(serialParity)},
};

#undef VQX_AT

struct FieldTable {
  std::vector<Field> fields;
  std::vector<std::vector<int32_t>> allowed;  // each Listed field's values, ascending
};

FieldTable BuildFields() {
  FieldTable table;
  table.fields.assign(std::begin(kLiteralFields), std::end(kLiteralFields));
  table.allowed.resize(table.fields.size());
  for (size_t i = 0; i < table.fields.size(); ++i) {
    Field& f = table.fields[i];
    const SettingRow* row = f.keyword.empty() ? nullptr : RowOfCommand(FindCommandId(std::string(f.keyword).c_str()));
    if (row == nullptr) continue;
    switch (f.kind) {
      case Kind::Range:
        f.low = row->range.low;
        f.high = row->range.high;
        break;
      case Kind::Listed:
        // Every value the form understands, also one its list does not offer (a hang time of 0).
        for (const ValueText& choice : row->choices) table.allowed[i].push_back(choice.value);
        std::sort(table.allowed[i].begin(), table.allowed[i].end());
        f.allowed = table.allowed[i];
        break;
      case Kind::Choice:
      case Kind::Parity: f.choices = row->choices.first(row->offered); break;
      default: break;
    }
  }
  return table;
}

const std::vector<Field>& Table() {
  static const FieldTable table = BuildFields();
  return table.fields;
}

}  // namespace

std::span<const Field> Fields() { return Table(); }

const Field* FindField(std::string_view key) {
  for (const Field& f : Table()) {
    if (f.key == key) return &f;
  }
  return nullptr;
}

std::string CompanionKey(const Field& f) {
  if (f.kind != Kind::Choice && f.kind != Kind::Parity) return {};
  return std::string(f.key) + "Text";
}

int32_t IntOf(const DeviceSettings& s, const Field& f) {
  int32_t value = 0;
  std::memcpy(&value, BytesOf(s, f), sizeof(value));
  return value;
}

void SetInt(DeviceSettings& s, const Field& f, int32_t value) { std::memcpy(BytesOf(s, f), &value, sizeof(value)); }

const uint8_t* BytesOf(const DeviceSettings& s, const Field& f) {
  return reinterpret_cast<const uint8_t*>(&s) + f.offset;
}

uint8_t* BytesOf(DeviceSettings& s, const Field& f) { return reinterpret_cast<uint8_t*>(&s) + f.offset; }

std::string_view TextOf(const DeviceSettings& s, const Field& f) {
  const auto* text = reinterpret_cast<const char*>(BytesOf(s, f));
  const void* nul = std::memchr(text, '\0', f.size);
  const size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : f.size;
  return {text, length};
}

const char* ChoiceText(std::span<const ValueText> choices, int32_t value) {
  for (const ValueText& c : choices) {
    if (c.value == value) return c.text;
  }
  return nullptr;
}

bool SameValue(const DeviceSettings& a, const DeviceSettings& b, const Field& f) {
  switch (f.kind) {
    case Kind::Address: return std::memcmp(BytesOf(a, f), BytesOf(b, f), f.size) == 0;
    case Kind::Range:
    case Kind::Listed:
    case Kind::Choice: return IntOf(a, f) == IntOf(b, f);
    case Kind::Parity: return a.serialParity == b.serialParity;
    case Kind::Text: return TextOf(a, f) == TextOf(b, f);
    case Kind::SecurityBit: return (a.securityFlags & f.bit) == (b.securityFlags & f.bit);
    case Kind::Flag: return (a.dhcpAssigned != 0) == (b.dhcpAssigned != 0);
  }
  return true;
}

std::string ReportValue(const DeviceSettings& s, const Field& f) {
  char text[32];
  switch (f.kind) {
    case Kind::Address: {
      const uint8_t* o = BytesOf(s, f);
      std::snprintf(text, sizeof(text), "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
      return text;
    }
    case Kind::Range:
    case Kind::Listed:
      std::snprintf(text, sizeof(text), f.milliseconds ? "%d ms" : "%d", IntOf(s, f));
      return text;
    case Kind::Choice: {
      const auto texts = f.reportTexts.empty() ? f.choices : f.reportTexts;
      // A value no list offers shows as its number, so two such values stay apart.
      if (const char* known = ChoiceText(texts, IntOf(s, f))) return known;
      std::snprintf(text, sizeof(text), "%d", IntOf(s, f));
      return text;
    }
    case Kind::Parity:
      // The report prints the letter; a unit that never reported one leaves nothing.
      return s.serialParity == '\0' ? std::string() : BytesToUtf8(std::string_view(&s.serialParity, 1));
    case Kind::Text: return BytesToUtf8(TextOf(s, f));
    case Kind::SecurityBit: return (s.securityFlags & f.bit) != 0 ? "No" : "Yes";
    case Kind::Flag: return s.dhcpAssigned != 0 ? "Yes" : "No";
  }
  return {};
}

}  // namespace vqx::snapshot::detail
