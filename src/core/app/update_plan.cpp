// Update Settings without the window and the link: which rows of the form changed,
// with which argument, in which order, and which of them the rules hold back.

#include "app/update_plan.h"

#include <array>
#include <cstring>
#include <span>

#include "app/form_controls.h"
#include "app/text_fields.h"
#include "protocol/command_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

constexpr int32_t kMulticastMode = 3;
constexpr int32_t kDelayLimit = 10000;
constexpr size_t kFormTextSize = kUpdateTextSize;

// How a row of the settings form is read.
enum class Reading {
  Text,      // edit box, as typed
  Security,  // the five check boxes
  Choice,    // drop-down with a fixed list of texts
  Number,    // decimal number, taken whole
  Dscp,      // decimal number; no selection sends nothing
  Delay,     // decimal number 0..10000
  Address,   // four boxes, one octet each
  Parity,    // first letter of the drop-down's text
};

using Octets = uint8_t[4];
using SettingText = char[kFormTextSize];

struct FormRow {
  int32_t commandId;
  Reading reading;
  std::array<int, 4> controls{};  // 0 where the row has fewer boxes
  int32_t DeviceSettings::*number = nullptr;
  Octets DeviceSettings::*address = nullptr;
  SettingText DeviceSettings::*text = nullptr;
  std::span<const ValueText> choices{};
  int32_t fallback = 0;
  std::array<uint8_t, 4> octetFallback{};
  const char* label = nullptr;  // the form's label, for the line-break warning
};

// "0 ms" is not in the hang-time list but is still understood.
constexpr ValueText kHangTimeChoices[] = {{500, "500 ms"},   {1000, "1000 ms"}, {2000, "2000 ms"},
                                          {3000, "3000 ms"}, {4000, "4000 ms"}, {0, "0 ms"}};
constexpr ValueText kConnectionModeChoices[] = {{0, "Client"}, {1, "Server"}};
constexpr ValueText kInputBoostChoices[] = {{0, "None"}, {1, "+20 db"}};
constexpr ValueText kDuplexChoices[] = {{0, "Full"}, {1, "Half"}};

// The settings form in the order its commands go out.
const FormRow kFormRows[] = {
    {.commandId = kCmdName, .reading = Reading::Text, .controls = {ids::kName}, .text = &DeviceSettings::name,
     .label = "Name"},
    {.commandId = kCmdPass, .reading = Reading::Text, .controls = {ids::kWebPassword},
     .text = &DeviceSettings::webPassword, .label = "Password for web access"},
    {.commandId = kCmdSecurity, .reading = Reading::Security, .number = &DeviceSettings::securityFlags},
    {.commandId = kCmdVocoder, .reading = Reading::Choice, .controls = {ids::kVocoder},
     .number = &DeviceSettings::vocoder, .choices = kVocoderTexts.entries, .fallback = 1},
    {.commandId = kCmdHangtm, .reading = Reading::Choice, .controls = {ids::kHangTime},
     .number = &DeviceSettings::hangTime, .choices = kHangTimeChoices, .fallback = 500},
    {.commandId = kCmdCor, .reading = Reading::Choice, .controls = {ids::kCorSquelchType},
     .number = &DeviceSettings::corSquelchType, .choices = kCorSquelchTexts.entries, .fallback = 0},
    {.commandId = kCmdCorinh, .reading = Reading::Choice, .controls = {ids::kCorInhibitTime},
     .number = &DeviceSettings::corInhibitTime, .choices = kCorInhibitTimeTexts.entries, .fallback = 0},
    {.commandId = kCmdMyip, .reading = Reading::Address, .controls = {ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4},
     .address = &DeviceSettings::ipAddress},
    {.commandId = kCmdSrvrip, .reading = Reading::Address,
     .controls = {ids::kServerIp1, ids::kServerIp2, ids::kServerIp3, ids::kServerIp4},
     .address = &DeviceSettings::serverIp},
    {.commandId = kCmdGateip, .reading = Reading::Address,
     .controls = {ids::kGateway1, ids::kGateway2, ids::kGateway3, ids::kGateway4},
     .address = &DeviceSettings::gatewayIp},
    {.commandId = kCmdSubnet, .reading = Reading::Address,
     .controls = {ids::kSubnet1, ids::kSubnet2, ids::kSubnet3, ids::kSubnet4},
     .address = &DeviceSettings::subnetMask, .octetFallback = {255, 255, 255, 0}},
    {.commandId = kCmdConmode, .reading = Reading::Choice, .controls = {ids::kConnectionMode},
     .number = &DeviceSettings::connectionMode, .choices = kConnectionModeChoices, .fallback = 0},
    {.commandId = kCmdBcast, .reading = Reading::Choice, .controls = {ids::kBroadcastMode},
     .number = &DeviceSettings::broadcastMode, .choices = kBroadcastModeTexts.entries, .fallback = 0},
    {.commandId = kCmdPort, .reading = Reading::Number, .controls = {ids::kVoipPort},
     .number = &DeviceSettings::voipPort, .fallback = 1221},
    {.commandId = kCmdSrvrport, .reading = Reading::Number, .controls = {ids::kServerPort},
     .number = &DeviceSettings::serverPort, .fallback = 0},
    {.commandId = kCmdCmdport, .reading = Reading::Number, .controls = {ids::kCommandPort},
     .number = &DeviceSettings::commandPort, .fallback = 23},
    {.commandId = kCmdDscp, .reading = Reading::Dscp, .controls = {ids::kQosDscp}, .number = &DeviceSettings::qosDscp},
    {.commandId = kCmdVsense, .reading = Reading::Choice, .controls = {ids::kVoxThreshold},
     .number = &DeviceSettings::voxThreshold, .choices = kVoxThresholdTexts.entries, .fallback = 0},
    {.commandId = kCmdBoost, .reading = Reading::Choice, .controls = {ids::kInputBoost},
     .number = &DeviceSettings::inputBoost, .choices = kInputBoostChoices, .fallback = 0},
    {.commandId = kCmdDuplex, .reading = Reading::Choice, .controls = {ids::kDuplex},
     .number = &DeviceSettings::duplex, .choices = kDuplexChoices, .fallback = 0},
    {.commandId = kCmdRxdelay, .reading = Reading::Delay, .controls = {ids::kRxDelay},
     .number = &DeviceSettings::rxDelay},
    {.commandId = kCmdTxdelay, .reading = Reading::Delay, .controls = {ids::kTxDelay},
     .number = &DeviceSettings::txDelay},
    {.commandId = kCmdBaud, .reading = Reading::Number, .controls = {ids::kBaudRate},
     .number = &DeviceSettings::serialBaudRate, .fallback = 9600},
    {.commandId = kCmdData, .reading = Reading::Number, .controls = {ids::kDataBits},
     .number = &DeviceSettings::serialDataBits, .fallback = 8},
    {.commandId = kCmdStop, .reading = Reading::Number, .controls = {ids::kStopBits},
     .number = &DeviceSettings::serialStopBits, .fallback = 1},
    {.commandId = kCmdParity, .reading = Reading::Parity, .controls = {ids::kParity}},
};
constexpr size_t kFormRowCount = std::size(kFormRows);
static_assert(kFormRowCount == 26);

static_assert(kFormRowCount == kUpdateRowCount);

bool HoldsLineBreak(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

bool FindChoice(std::span<const ValueText> choices, const char* text, int32_t& value) {
  for (const ValueText& choice : choices) {
    if (std::strcmp(choice.text, text) == 0) {
      value = choice.value;
      return true;
    }
  }
  return false;
}

// Understands one row's texts into form. Where the form shows no recognised value the
// fallback goes into both form and current, so the row compares equal and sends nothing.
void InterpretRow(const FormRow& row, const char (&boxes)[4][kFormTextSize], int32_t security, DeviceSettings& form,
                  DeviceSettings& current) {
  const char* text = boxes[0];
  int32_t value = 0;
  switch (row.reading) {
    case Reading::Text: {
      char* field = form.*row.text;
      std::strncpy(field, text, kFormTextSize - 1);
      field[kFormTextSize - 1] = '\0';
      return;
    }
    case Reading::Security:
      form.*row.number = security;
      return;
    case Reading::Choice:
      if (!FindChoice(row.choices, text, value)) current.*row.number = value = row.fallback;
      form.*row.number = value;
      return;
    case Reading::Number:
      // An empty box, or one that holds no number, takes the fallback.
      if (!ParseDecimal(text, &value)) current.*row.number = value = row.fallback;
      form.*row.number = value;
      return;
    case Reading::Dscp:
      // No selection: keep the unit's value, so no DSCP goes out and nothing is invented.
      form.*row.number = ParseDecimal(text, &value) ? value : current.*row.number;
      return;
    case Reading::Delay:
      if (!ParseDecimal(text, &value) || value < 0 || value > kDelayLimit) current.*row.number = value = 0;
      form.*row.number = value;
      return;
    case Reading::Address:
      for (size_t i = 0; i < 4; ++i) {
        uint8_t octet;
        if (ParseDecimal(boxes[i], &value)) {
          octet = static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu);  // 300 gives 44
        } else {
          octet = row.octetFallback[i];
          (current.*row.address)[i] = octet;
        }
        (form.*row.address)[i] = octet;
      }
      return;
    case Reading::Parity: {
      char letter = text[0];
      if (letter != 'E' && letter != 'N' && letter != 'O') current.serialParity = letter = 'N';
      form.serialParity = letter;
      return;
    }
  }
}

// A refused row: the unit's own value stands in for whatever the form shows.
void KeepUnitValue(const FormRow& row, const DeviceSettings& unit, DeviceSettings& settings) {
  switch (row.reading) {
    case Reading::Text: std::memcpy(settings.*row.text, unit.*row.text, kFormTextSize); return;
    case Reading::Address: std::memcpy(settings.*row.address, unit.*row.address, 4); return;
    case Reading::Parity: settings.serialParity = unit.serialParity; return;
    case Reading::Security:
    case Reading::Choice:
    case Reading::Number:
    case Reading::Dscp:
    case Reading::Delay:
      settings.*row.number = unit.*row.number;
      return;
  }
}

bool RowDiffers(const FormRow& row, const DeviceSettings& form, const DeviceSettings& current) {
  // The list shows "Server" for every mode above client, the unit's connectionless and
  // multicast modes among them; "Server" left as shown keeps that mode instead of
  // sending CONMODE 1 behind the user's back.
  if (row.commandId == kCmdConmode && form.connectionMode == 1 && current.connectionMode > 1) return false;
  switch (row.reading) {
    case Reading::Text: return std::strcmp(form.*row.text, current.*row.text) != 0;
    case Reading::Address: return std::memcmp(form.*row.address, current.*row.address, 4) != 0;
    case Reading::Parity: return form.serialParity != current.serialParity;
    case Reading::Security:
    case Reading::Choice:
    case Reading::Number:
    case Reading::Dscp:
    case Reading::Delay:
      return form.*row.number != current.*row.number;
  }
  return false;
}

void FillArgument(const FormRow& row, const DeviceSettings& form, CommandRecord& record) {
  record.commandId = row.commandId;
  switch (row.reading) {
    case Reading::Text:
      std::memcpy(record.text, form.*row.text, sizeof(record.text));
      record.value = 0;
      return;
    case Reading::Address:
      std::memcpy(record.address, form.*row.address, sizeof(record.address));
      record.value = 0;
      return;
    case Reading::Parity:
      record.text[0] = form.serialParity;
      record.text[1] = '\0';
      record.value = 0;
      return;
    case Reading::Security:
    case Reading::Choice:
    case Reading::Number:
    case Reading::Dscp:
    case Reading::Delay:
      record.value = form.*row.number;
      return;
  }
}

bool IsHostSerialRow(int32_t commandId) {
  return commandId == kCmdBaud || commandId == kCmdData || commandId == kCmdStop || commandId == kCmdParity;
}

// A multicast group (224.0.0.0 - 239.255.255.255), or no server at all.
bool MulticastServerAllowed(const uint8_t (&server)[4]) {
  if (server[0] >= 224 && server[0] <= 239) return true;
  return server[0] == 0 && server[1] == 0 && server[2] == 0 && server[3] == 0;
}

}  // namespace

void ReadUpdateForm(IWindowSurface& surface, UpdateFormTexts& texts) {
  texts.security = 0;
  for (const SecurityBox& box : kSecurityBoxes) {
    if (!surface.IsChecked(box.control)) texts.security |= box.bit;
  }
  for (size_t r = 0; r < kFormRowCount; ++r) {
    for (size_t i = 0; i < 4; ++i) {
      char* box = texts.boxes[r][i];
      box[0] = '\0';
      const int control = kFormRows[r].controls[i];
      if (control != 0) surface.GetText(control, box, kFormTextSize);
    }
  }
}

UpdatePlan PlanUpdate(const UpdateFormTexts& texts, const DeviceSettings& current, const RefusedSettings& refused) {
  UpdatePlan plan;
  // The codec refuses a text with a line break; the whole update is refused rather
  // than half of it sent.
  for (size_t r = 0; r < kFormRowCount; ++r) {
    const FormRow& row = kFormRows[r];
    if (row.reading == Reading::Text && HoldsLineBreak(texts.boxes[r][0])) plan.lineBreakLabels.push_back(row.label);
  }
  if (!plan.lineBreakLabels.empty()) return plan;

  plan.form = current;
  plan.current = current;
  for (size_t r = 0; r < kFormRowCount; ++r) {
    const FormRow& row = kFormRows[r];
    InterpretRow(row, texts.boxes[r], texts.security, plan.form, plan.current);
    if (!refused.Has(row.commandId)) continue;
    if (row.reading == Reading::Text && RowDiffers(row, plan.form, current)) plan.refusedEdits.push_back(row.label);
    KeepUnitValue(row, current, plan.form);
    KeepUnitValue(row, current, plan.current);
  }
  for (const FormRow& row : kFormRows) {
    if (!RowDiffers(row, plan.form, plan.current)) continue;
    UpdateStep step;
    step.refusedMulticast = row.commandId == kCmdBcast && plan.form.broadcastMode == kMulticastMode &&
                            !MulticastServerAllowed(plan.form.serverIp);
    step.hostSerial = IsHostSerialRow(row.commandId);
    FillArgument(row, plan.form, step.record);
    plan.steps.push_back(step);
  }
  return plan;
}

}  // namespace vqx
