// Update Settings without the window and the link: which settings changed, with which
// argument, in which order, and which of them the rules hold back; and how the form's
// texts are understood as values.

#include "app/update_plan.h"

#include <cstring>

#include "app/form_controls.h"
#include "app/text_fields.h"

namespace vqx {

namespace {

constexpr int32_t kMulticastMode = 3;

// A text field up to its terminator, or its whole width when it has none.
size_t TextLength(const DeviceSettings& s, const SettingRow& row) {
  const auto* text = reinterpret_cast<const char*>(BytesOf(s, row));
  const void* end = std::memchr(text, '\0', row.size);
  return end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : row.size;
}

bool HoldsLineBreak(const DeviceSettings& s, const SettingRow& row) {
  const auto* text = reinterpret_cast<const char*>(BytesOf(s, row));
  const size_t length = TextLength(s, row);
  return std::memchr(text, '\r', length) != nullptr || std::memchr(text, '\n', length) != nullptr;
}

// Understands one row's texts. Where the form shows no recognised value the fallback goes
// into both target and compared, so the row compares equal and sends nothing.
void UnderstandRow(const SettingRow& row, const char (&boxes)[4][kUpdateTextSize], int32_t security,
                   FormValues& values) {
  const char* text = boxes[0];
  int32_t value = 0;
  switch (row.reading) {
    case FormReading::NotSent: return;
    case FormReading::Text: {
      auto* field = reinterpret_cast<char*>(BytesOf(values.target, row));
      std::strncpy(field, text, row.size - 1);
      field[row.size - 1] = '\0';
      return;
    }
    case FormReading::Security: SetNumber(values.target, row, security); return;
    case FormReading::Choice:
      if (!ChoiceValueOf(row, text, value)) SetNumber(values.compared, row, value = row.fallback);
      SetNumber(values.target, row, value);
      return;
    case FormReading::Number:
      // An empty box, or one that holds no number, takes the fallback.
      if (!ParseDecimal(text, &value)) SetNumber(values.compared, row, value = row.fallback);
      SetNumber(values.target, row, value);
      return;
    case FormReading::Dscp:
      // No selection: keep the unit's value, so nothing goes out and nothing is invented.
      if (ParseDecimal(text, &value)) SetNumber(values.target, row, value);
      return;
    case FormReading::Delay:
      if (!ParseDecimal(text, &value) || !row.range.Holds(value)) SetNumber(values.compared, row, value = 0);
      SetNumber(values.target, row, value);
      return;
    case FormReading::Address:
      for (size_t i = 0; i < 4; ++i) {
        uint8_t octet;
        if (ParseDecimal(boxes[i], &value)) {
          octet = static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu);  // 300 gives 44
        } else {
          octet = row.octetFallback[i];
          BytesOf(values.compared, row)[i] = octet;
        }
        BytesOf(values.target, row)[i] = octet;
      }
      return;
    case FormReading::Parity: {
      char letter = text[0];
      if (!IsParityLetter(letter)) SetNumber(values.compared, row, letter = static_cast<char>(row.fallback));
      SetNumber(values.target, row, letter);
      return;
    }
  }
}

// A refused setting: the unit's own value stands in for whatever is wanted.
void KeepUnitValue(const SettingRow& row, const DeviceSettings& unit, DeviceSettings& settings) {
  std::memcpy(BytesOf(settings, row), BytesOf(unit, row), row.size);
}

bool Differs(const SettingRow& row, const DeviceSettings& target, const DeviceSettings& current) {
  if (row.keepsServerModes && NumberOf(target, row) == 1 && NumberOf(current, row) > 1) return false;
  switch (row.value) {
    case SettingValue::Text: {
      const size_t length = TextLength(target, row);
      return length != TextLength(current, row) || std::memcmp(BytesOf(target, row), BytesOf(current, row), length) != 0;
    }
    case SettingValue::Address: return std::memcmp(BytesOf(target, row), BytesOf(current, row), 4) != 0;
    case SettingValue::Number:
    case SettingValue::Security:
    case SettingValue::Parity: return NumberOf(target, row) != NumberOf(current, row);
  }
  return false;
}

void FillArgument(const SettingRow& row, const DeviceSettings& target, CommandRecord& record) {
  record.commandId = row.commandId;
  switch (row.value) {
    case SettingValue::Text: {
      const size_t length = TextLength(target, row) < sizeof(record.text) - 1 ? TextLength(target, row)
                                                                             : sizeof(record.text) - 1;
      std::memset(record.text, 0, sizeof(record.text));
      std::memcpy(record.text, BytesOf(target, row), length);
      record.value = 0;
      return;
    }
    case SettingValue::Address:
      std::memcpy(record.address, BytesOf(target, row), sizeof(record.address));
      record.value = 0;
      return;
    case SettingValue::Parity:
      record.text[0] = target.serialParity;
      record.text[1] = '\0';
      record.value = 0;
      return;
    case SettingValue::Number:
    case SettingValue::Security: record.value = NumberOf(target, row); return;
  }
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
  const auto rows = SendOrder();
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t i = 0; i < 4; ++i) {
      char* box = texts.boxes[r][i];
      box[0] = '\0';
      const int control = rows[r]->controls[i];
      // The check boxes are read above, as bits.
      if (control != 0 && rows[r]->reading != FormReading::Security) surface.GetText(control, box, kUpdateTextSize);
    }
  }
}

FormValues UnderstandForm(const UpdateFormTexts& texts, const DeviceSettings& current) {
  FormValues values{current, current};
  const auto rows = SendOrder();
  for (size_t r = 0; r < rows.size(); ++r) UnderstandRow(*rows[r], texts.boxes[r], texts.security, values);
  return values;
}

UpdatePlan PlanUpdate(const DeviceSettings& target, const DeviceSettings& current, const RefusedSettings& refused) {
  UpdatePlan plan;
  // The codec refuses a text with a line break; the whole update is refused rather
  // than half of it sent.
  for (const SettingRow* row : SendOrder()) {
    if (row->reading == FormReading::Text && HoldsLineBreak(target, *row)) plan.lineBreakLabels.push_back(row->label);
  }
  if (!plan.lineBreakLabels.empty()) return plan;

  plan.target = target;
  for (const SettingRow* row : SendOrder()) {
    if (!refused.Has(row->commandId)) continue;
    if (row->reading == FormReading::Text && Differs(*row, target, current)) plan.refusedEdits.push_back(row->label);
    KeepUnitValue(*row, current, plan.target);
  }
  for (const SettingRow* row : SendOrder()) {
    if (!Differs(*row, plan.target, current)) continue;
    UpdateStep step;
    step.refusedMulticast = row->multicastNeedsGroup && NumberOf(plan.target, *row) == kMulticastMode &&
                            !MulticastServerAllowed(plan.target.serverIp);
    step.hostSerial = row->hostLine != HostLine::None;
    FillArgument(*row, plan.target, step.record);
    plan.steps.push_back(step);
  }
  return plan;
}

}  // namespace vqx
