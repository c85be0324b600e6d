#include "settings/setting_table.h"

#include <cstddef>
#include <cstring>
#include <limits>

#include "common/assertion.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

constexpr ValueText kBaudRates[] = {{300, "300"},     {1200, "1200"},   {2400, "2400"},
                                    {4800, "4800"},   {9600, "9600"},   {19200, "19200"},
                                    {38400, "38400"}, {57600, "57600"}, {115200, "115200"}};
constexpr ValueText kDataBits[] = {{7, "7"}, {8, "8"}};
constexpr ValueText kStopBits[] = {{1, "1"}, {2, "2"}};
constexpr ValueText kParities[] = {{'N', "None"}, {'E', "Even"}, {'O', "Odd"}};
constexpr ValueText kVocoders[] = {
    {1, "GSM 13Kbps"}, {2, "ADPCM 16Kbps"}, {3, "ADPCM 24Kbps"}, {4, "ADPCM 32Kbps"}, {5, "PCM 64Kbps"},
};
constexpr ValueText kSquelchTypes[] = {{0, "Active Low"}, {1, "Active High"}, {2, "VOX"}, {3, "VMR"}};
constexpr ValueText kBroadcastModes[] = {{0, "Normal"}, {1, "Broadcast"}, {2, "Connectionless"}, {3, "Multicast"}};
constexpr ValueText kThresholds[] = {{0, "Low"}, {1, "Medium"}, {2, "High"}};
constexpr ValueText kInhibitTimes[] = {{0, "0 ms"},       {500, "500 ms"},   {1000, "1000 ms"},
                                       {2000, "2000 ms"}, {3000, "3000 ms"}, {4000, "4000 ms"}};
// The hang-time list offers no "0 ms", yet 0 is a hang time the unit takes: a unit at 0
// selects nothing in the list, and a "0 ms" in the box is still understood.
constexpr ValueText kHangTimes[] = {{500, "500 ms"},   {1000, "1000 ms"}, {2000, "2000 ms"},
                                    {3000, "3000 ms"}, {4000, "4000 ms"}, {0, "0 ms"}};
constexpr size_t kHangTimesOffered = 5;
constexpr ValueText kConnectionModes[] = {{0, "Client"}, {1, "Server"}};
constexpr ValueText kInputBoosts[] = {{0, "None"}, {1, "+20 db"}};
constexpr ValueText kDuplexModes[] = {{0, "Full"}, {1, "Half"}};

constexpr ValueRange kPortRange{0, 65535};
constexpr ValueRange kDelayRange{0, 10000};
constexpr ValueRange kMillisecondRange{0, 4000};

#define VQX_MEMBER(member) .offset = offsetof(DeviceSettings, member), .size = sizeof(DeviceSettings::member)
#define VQX_CHOICES(list) .choices = list, .offered = std::size(list)

using ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4;

// In the order of the full read.
constexpr SettingRow kRows[] = {
    {.commandId = kCmdBaud, .responseId = kRspBaud, .typedStep = kConfirmBaudRate, .value = SettingValue::Number,
     VQX_MEMBER(serialBaudRate), .controls = {ids::kBaudRate}, .shows = FormShows::ListNumber,
     VQX_CHOICES(kBaudRates), .typed = {0, std::numeric_limits<int32_t>::max()}, .hostLine = HostLine::BaudRate,
     .reading = FormReading::Number, .sendOrder = 22, .fallback = 9600},
    {.commandId = kCmdBcast, .responseId = kRspBcast, .typedStep = kConfirmBroadcastMode,
     .value = SettingValue::Number, VQX_MEMBER(broadcastMode), .controls = {ids::kBroadcastMode},
     .shows = FormShows::ListText, VQX_CHOICES(kBroadcastModes), .range = {0, 3}, .typed = {0, 3},
     .replyWithinRange = true, .multicastNeedsGroup = true, .reading = FormReading::Choice, .sendOrder = 12},
    {.commandId = kCmdBoost, .responseId = kRspBoost, .typedStep = kNothingPending, .value = SettingValue::Number,
     VQX_MEMBER(inputBoost), .controls = {ids::kInputBoost}, .shows = FormShows::ListText,
     VQX_CHOICES(kInputBoosts), .otherValuesShowAsOne = true, .reading = FormReading::Choice, .sendOrder = 18},
    {.commandId = kCmdCmdport, .responseId = kRspCmdport, .typedStep = kNothingPending,
     .value = SettingValue::Number, VQX_MEMBER(commandPort), .controls = {ids::kCommandPort},
     .shows = FormShows::Number, .range = kPortRange, .reading = FormReading::Number, .sendOrder = 15,
     .fallback = 23},
    {.commandId = kCmdConmode, .responseId = kRspConmode, .typedStep = kConfirmConnectionMode,
     .value = SettingValue::Number, VQX_MEMBER(connectionMode), .controls = {ids::kConnectionMode},
     .shows = FormShows::ListText, VQX_CHOICES(kConnectionModes), .otherValuesShowAsOne = true, .typed = {0, 1},
     .keepsServerModes = true, .reading = FormReading::Choice, .sendOrder = 11},
    // The unit reports four squelch types; a typed COR is followed for the first three only.
    {.commandId = kCmdCor, .responseId = kRspCor, .typedStep = kConfirmCorSquelchType,
     .value = SettingValue::Number, VQX_MEMBER(corSquelchType), .controls = {ids::kCorSquelchType},
     .shows = FormShows::ListText, VQX_CHOICES(kSquelchTypes), .range = {0, 3}, .typed = {0, 2},
     .reading = FormReading::Choice, .sendOrder = 5},
    {.commandId = kCmdCorinh, .responseId = kRspCorinh, .typedStep = kConfirmCorInhibitTime,
     .value = SettingValue::Number, VQX_MEMBER(corInhibitTime), .controls = {ids::kCorInhibitTime},
     .shows = FormShows::ListText, VQX_CHOICES(kInhibitTimes), .range = kMillisecondRange,
     .typed = kMillisecondRange, .reading = FormReading::Choice, .sendOrder = 6},
    {.commandId = kCmdData, .responseId = kRspData, .typedStep = kConfirmDataBits, .value = SettingValue::Number,
     VQX_MEMBER(serialDataBits), .controls = {ids::kDataBits}, .shows = FormShows::ListNumber,
     VQX_CHOICES(kDataBits), .typed = {7, 8}, .hostLine = HostLine::DataBits, .reading = FormReading::Number, .sendOrder = 23,
     .fallback = 8},
    {.commandId = kCmdDscp, .responseId = kRspDscp, .typedStep = kNothingPending, .value = SettingValue::Number,
     VQX_MEMBER(qosDscp), .controls = {ids::kQosDscp}, .shows = FormShows::ListNumber, .range = {0, 63},
     .reading = FormReading::Dscp, .sendOrder = 16},
    {.commandId = kCmdDuplex, .responseId = kRspDuplex, .typedStep = kNothingPending, .value = SettingValue::Number,
     VQX_MEMBER(duplex), .controls = {ids::kDuplex}, .shows = FormShows::ListText, VQX_CHOICES(kDuplexModes),
     .otherValuesShowAsOne = true, .reading = FormReading::Choice, .sendOrder = 19},
    {.commandId = kCmdGateip, .responseId = kRspGateip, .typedStep = kConfirmGatewayIp,
     .value = SettingValue::Address, VQX_MEMBER(gatewayIp),
     .controls = {ids::kGateway1, ids::kGateway2, ids::kGateway3, ids::kGateway4}, .shows = FormShows::Address,
     .reading = FormReading::Address, .sendOrder = 9},
    {.commandId = kCmdHangtm, .responseId = kRspHangtm, .typedStep = kConfirmHangTime,
     .value = SettingValue::Number, VQX_MEMBER(hangTime), .controls = {ids::kHangTime}, .shows = FormShows::ListText,
     .choices = kHangTimes, .offered = kHangTimesOffered, .range = kMillisecondRange, .typed = kMillisecondRange,
     .reading = FormReading::Choice, .sendOrder = 4, .fallback = 500},
    {.commandId = kCmdMac, .responseId = kRspMac, .typedStep = kNothingPending, .value = SettingValue::Text,
     VQX_MEMBER(macAddress), .controls = {ids::kMacAddress}, .shows = FormShows::Text, .prefix = "Mac Address: "},
    {.commandId = kCmdMyip, .responseId = kRspMyip, .typedStep = kConfirmIpAddress, .value = SettingValue::Address,
     VQX_MEMBER(ipAddress), .controls = {kIp1, kIp2, kIp3, kIp4}, .shows = FormShows::Address, .dhcpRemark = true,
     .reading = FormReading::Address, .sendOrder = 7},
    // A unit that refuses NAME keeps its box enabled; an edit to it is named instead.
    {.commandId = kCmdName, .responseId = kRspName, .typedStep = kConfirmName, .value = SettingValue::Text,
     VQX_MEMBER(name), .controls = {ids::kName}, .shows = FormShows::Text, .staysEnabled = true,
     .reading = FormReading::Text, .sendOrder = 0, .label = "Name"},
    {.commandId = kCmdParity, .responseId = kRspParity, .typedStep = kConfirmParity, .value = SettingValue::Parity,
     VQX_MEMBER(serialParity), .controls = {ids::kParity}, .shows = FormShows::ListText, VQX_CHOICES(kParities),
     .hostLine = HostLine::Parity, .reading = FormReading::Parity, .sendOrder = 25, .fallback = 'N'},
    {.commandId = kCmdPass, .responseId = kRspPass, .typedStep = kConfirmWebPassword, .value = SettingValue::Text,
     VQX_MEMBER(webPassword), .controls = {ids::kWebPassword}, .shows = FormShows::Text,
     .reading = FormReading::Text, .sendOrder = 1, .label = "Password for web access"},
    {.commandId = kCmdPort, .responseId = kRspPort, .typedStep = kConfirmVoipPort, .value = SettingValue::Number,
     VQX_MEMBER(voipPort), .controls = {ids::kVoipPort}, .shows = FormShows::Number, .range = kPortRange,
     .typed = kPortRange, .reading = FormReading::Number, .sendOrder = 13, .fallback = 1221},
    {.commandId = kCmdRxdelay, .responseId = kRspRxdelay, .typedStep = kNothingPending,
     .value = SettingValue::Number, VQX_MEMBER(rxDelay), .controls = {ids::kRxDelay}, .shows = FormShows::Number,
     .range = kDelayRange, .reading = FormReading::Delay, .sendOrder = 20},
    {.commandId = kCmdSecurity, .responseId = kRspSecurity, .typedStep = kConfirmSecurity,
     .value = SettingValue::Security, VQX_MEMBER(securityFlags),
     .controls = {ids::kAllowTelnet, ids::kAllowHttpConnectionManagement, ids::kAllowHttpConfiguration,
                  ids::kAllowHttpAccess, ids::kAllowHttpAuthentication},
     .shows = FormShows::Security, .range = {0, 255}, .typed = {0, 255}, .reading = FormReading::Security,
     .sendOrder = 2},
    {.commandId = kCmdSrvrip, .responseId = kRspSrvrip, .typedStep = kConfirmServerIp,
     .value = SettingValue::Address, VQX_MEMBER(serverIp),
     .controls = {ids::kServerIp1, ids::kServerIp2, ids::kServerIp3, ids::kServerIp4},
     .shows = FormShows::Address, .reading = FormReading::Address, .sendOrder = 8},
    {.commandId = kCmdSrvrport, .responseId = kRspSrvrport, .typedStep = kConfirmServerPort,
     .value = SettingValue::Number, VQX_MEMBER(serverPort), .controls = {ids::kServerPort},
     .shows = FormShows::Number, .range = kPortRange, .typed = kPortRange, .reading = FormReading::Number,
     .sendOrder = 14},
    {.commandId = kCmdStop, .responseId = kRspStop, .typedStep = kConfirmStopBits, .value = SettingValue::Number,
     VQX_MEMBER(serialStopBits), .controls = {ids::kStopBits}, .shows = FormShows::ListNumber,
     VQX_CHOICES(kStopBits), .typed = {1, 2}, .hostLine = HostLine::StopBits, .reading = FormReading::Number, .sendOrder = 24,
     .fallback = 1},
    {.commandId = kCmdSubnet, .responseId = kRspSubnet, .typedStep = kConfirmSubnetMask,
     .value = SettingValue::Address, VQX_MEMBER(subnetMask),
     .controls = {ids::kSubnet1, ids::kSubnet2, ids::kSubnet3, ids::kSubnet4}, .shows = FormShows::Address,
     .dhcpRemark = true, .reading = FormReading::Address, .sendOrder = 10, .octetFallback = {255, 255, 255, 0}},
    {.commandId = kCmdTxdelay, .responseId = kRspTxdelay, .typedStep = kNothingPending,
     .value = SettingValue::Number, VQX_MEMBER(txDelay), .controls = {ids::kTxDelay}, .shows = FormShows::Number,
     .range = kDelayRange, .reading = FormReading::Delay, .sendOrder = 21},
    {.commandId = kCmdVer, .responseId = kRspVer, .typedStep = kNothingPending, .value = SettingValue::Text,
     VQX_MEMBER(firmwareVersion), .controls = {ids::kFirmwareVersion}, .shows = FormShows::Text,
     .prefix = "Firmware Ver: "},
    {.commandId = kCmdVocoder, .responseId = kRspVocoder, .typedStep = kConfirmVocoder,
     .value = SettingValue::Number, VQX_MEMBER(vocoder), .controls = {ids::kVocoder}, .shows = FormShows::ListText,
     VQX_CHOICES(kVocoders), .range = {1, 5}, .typed = {1, 5}, .reading = FormReading::Choice, .sendOrder = 3,
     .fallback = 1},
    {.commandId = kCmdVsense, .responseId = kRspVsense, .typedStep = kNothingPending, .value = SettingValue::Number,
     VQX_MEMBER(voxThreshold), .controls = {ids::kVoxThreshold}, .shows = FormShows::ListText,
     VQX_CHOICES(kThresholds), .reading = FormReading::Choice, .sendOrder = 17},
};

#undef VQX_MEMBER
#undef VQX_CHOICES

static_assert(std::size(kRows) == kSettingRowCount);

// The report's input boost says "dB" where the form's list says "db".
constexpr ValueText kInputBoostReport[] = {{0, "None"}, {1, "+20 dB"}};

// In the order of a snapshot, a comparison and the report.
constexpr SettingField kFields[] = {
    {.key = "serialNumber", .label = "Serial Number", .own = OwnMember::SerialNumber, .maxLength = 10},
    {.key = "name", .label = "Name", .commandId = kCmdName},
    {.key = "ipAddress", .label = "IP Address", .commandId = kCmdMyip, .report = ReportLine::WithPort,
     .other = kCmdPort},
    {.key = "voipPort", .label = "VoIP Port", .commandId = kCmdPort},
    {.key = "commandPort", .label = "Command Port", .commandId = kCmdCmdport},
    {.key = "serverIp", .label = "Server IP Address", .commandId = kCmdSrvrip, .report = ReportLine::None},
    {.key = "serverPort", .label = "Server Port", .commandId = kCmdSrvrport, .report = ReportLine::None},
    {.key = "gateway", .label = "Gateway IP", .commandId = kCmdGateip},
    {.key = "subnetMask", .label = "Subnet Mask", .commandId = kCmdSubnet},
    {.key = "connectionMode", .label = "Connection Mode", .commandId = kCmdConmode, .report = ReportLine::Mode,
     .other = kCmdBcast},
    {.key = "broadcastMode", .label = "Broadcast Mode", .commandId = kCmdBcast, .report = ReportLine::None},
    {.key = "firmwareVersion", .label = "Firmware Ver", .commandId = kCmdVer, .blankLineAfter = true},
    {.key = "macAddress", .label = "Mac Address", .commandId = kCmdMac, .report = ReportLine::None},
    {.key = "dhcp", .label = "DHCP", .commandId = kCmdMyip, .own = OwnMember::DhcpRemark,
     .report = ReportLine::None},
    {.key = "allowHttpAccess", .label = "Access via HTTP", .commandId = kCmdSecurity,
     .bit = kSecurityNoHttpAccess},
    {.key = "allowHttpConfiguration", .label = "Configuration via HTTP", .commandId = kCmdSecurity,
     .bit = kSecurityNoHttpConfiguration},
    {.key = "allowHttpConnectionManagement", .label = "Control connections via HTTP", .commandId = kCmdSecurity,
     .bit = kSecurityNoHttpConnectionManagement},
    {.key = "allowHttpAuthentication", .label = "Authentication via HTTP", .commandId = kCmdSecurity,
     .bit = kSecurityNoHttpAuthentication},
    {.key = "allowTelnet", .label = "Access via telnet", .commandId = kCmdSecurity, .bit = kSecurityNoTelnet},
    {.key = "webPassword", .label = "Web access password", .commandId = kCmdPass, .blankLineAfter = true},
    {.key = "vocoder", .label = "Vocoder", .commandId = kCmdVocoder},
    {.key = "qosDscp", .label = "QOS DSCP Value", .commandId = kCmdDscp},
    {.key = "corSquelchType", .label = "COR Squelch Type", .commandId = kCmdCor},
    {.key = "corInhibitTime", .label = "COR Inhibit Time", .commandId = kCmdCorinh, .milliseconds = true},
    {.key = "voxThreshold", .label = "VOX/VMR Threshold", .commandId = kCmdVsense},
    {.key = "hangTime", .label = "VOX/VMR Hang Time", .commandId = kCmdHangtm, .milliseconds = true},
    {.key = "duplex", .label = "Duplex", .commandId = kCmdDuplex},
    {.key = "inputBoost", .label = "Input Boost", .commandId = kCmdBoost, .reportTexts = kInputBoostReport},
    {.key = "rxDelay", .label = "RX Delay", .commandId = kCmdRxdelay, .milliseconds = true},
    {.key = "txDelay", .label = "TX Delay", .commandId = kCmdTxdelay, .milliseconds = true,
     .blankLineAfter = true},
    {.key = "serialBaudRate", .label = "Serial Baud Rate", .commandId = kCmdBaud},
    {.key = "serialDataBits", .label = "Serial Data Bits", .commandId = kCmdData},
    {.key = "serialStopBits", .label = "Serial Stop Bits", .commandId = kCmdStop},
    {.key = "serialParity", .label = "Serial Parity", .commandId = kCmdParity},
};

constexpr std::array<const SettingRow*, kSendRowCount> MakeSendOrder() {
  std::array<const SettingRow*, kSendRowCount> order{};
  for (const SettingRow& row : kRows) {
    if (row.sendOrder >= 0) order[static_cast<size_t>(row.sendOrder)] = &row;
  }
  return order;
}

constexpr std::array<const SettingRow*, kSendRowCount> kSendOrder = MakeSendOrder();

}  // namespace

std::span<const SettingRow> SettingRows() { return kRows; }
std::span<const SettingRow* const> SendOrder() { return kSendOrder; }

std::span<const SettingField> SettingFields() { return kFields; }

const SettingRow* RowOf(const SettingField& field) {
  return field.commandId == 0 ? nullptr : RowOfCommand(field.commandId);
}

size_t OffsetOf(const SettingField& field) {
  switch (field.own) {
    case OwnMember::SerialNumber: return offsetof(DeviceSettings, serialNumber);
    case OwnMember::DhcpRemark: return offsetof(DeviceSettings, dhcpAssigned);
    case OwnMember::None: break;
  }
  const SettingRow* row = RowOf(field);
  if (row == nullptr) VQX_IMPOSSIBLE("settingtable");
  return row->offset;
}

size_t SizeOf(const SettingField& field) {
  switch (field.own) {
    case OwnMember::SerialNumber: return sizeof(DeviceSettings::serialNumber);
    case OwnMember::DhcpRemark: return sizeof(DeviceSettings::dhcpAssigned);
    case OwnMember::None: break;
  }
  const SettingRow* row = RowOf(field);
  if (row == nullptr) VQX_IMPOSSIBLE("settingtable");
  return row->size;
}

const SettingRow* RowOfCommand(int32_t commandId) {
  for (const SettingRow& row : kRows) {
    if (row.commandId == commandId) return &row;
  }
  return nullptr;
}

const SettingRow* RowOfReply(int32_t responseId) {
  for (const SettingRow& row : kRows) {
    if (row.responseId == responseId) return &row;
  }
  return nullptr;
}

const SettingRow* RowOfTypedStep(int32_t step) {
  if (step == kNothingPending) return nullptr;
  for (const SettingRow& row : kRows) {
    if (row.typedStep == step) return &row;
  }
  return nullptr;
}

int ReadIndexOf(int32_t commandId) {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    if (kRows[i].commandId == commandId) return static_cast<int>(i);
  }
  return -1;
}

int32_t NumberOf(const DeviceSettings& s, const SettingRow& row) {
  if (row.value == SettingValue::Parity) return s.serialParity;
  int32_t value = 0;
  std::memcpy(&value, BytesOf(s, row), sizeof(value));
  return value;
}

void SetNumber(DeviceSettings& s, const SettingRow& row, int32_t value) {
  if (row.value == SettingValue::Parity) {
    s.serialParity = static_cast<char>(value);
    return;
  }
  std::memcpy(BytesOf(s, row), &value, sizeof(value));
}

const uint8_t* BytesOf(const DeviceSettings& s, const SettingRow& row) {
  return reinterpret_cast<const uint8_t*>(&s) + row.offset;
}

uint8_t* BytesOf(DeviceSettings& s, const SettingRow& row) { return reinterpret_cast<uint8_t*>(&s) + row.offset; }

const char* ChoiceTextOf(const SettingRow& row, int32_t value) {
  for (const ValueText& choice : row.choices.first(row.offered)) {
    if (choice.value == value) return choice.text;
  }
  if (row.otherValuesShowAsOne) return ChoiceTextOf(row, 1);
  return nullptr;
}

bool ChoiceValueOf(const SettingRow& row, const char* text, int32_t& value) {
  for (const ValueText& choice : row.choices) {
    if (std::strcmp(choice.text, text) == 0) {
      value = choice.value;
      return true;
    }
  }
  return false;
}

bool FormOffers(const SettingRow& row, const DeviceSettings& s) {
  if (row.shows != FormShows::ListText && row.shows != FormShows::ListNumber) return true;
  const int32_t value = NumberOf(s, row);
  // A list of every number of its range (the DSCP values).
  if (row.choices.empty()) return row.range.Holds(value);
  for (const ValueText& choice : row.choices.first(row.offered)) {
    if (choice.value == value) return true;
  }
  return false;
}

bool IsParityLetter(char letter) { return letter == 'E' || letter == 'N' || letter == 'O'; }

}  // namespace vqx
