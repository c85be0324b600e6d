#include "app/settings_report.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "app/app_window.h"
#include "settings/setting_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

// A text member up to its terminator, and no further than the member.
std::string_view TextIn(const DeviceSettings& s, const SettingField& field) {
  const auto* bytes = reinterpret_cast<const char*>(&s) + OffsetOf(field);
  const size_t size = SizeOf(field);
  const void* nul = std::memchr(bytes, '\0', size);
  return {bytes, nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : size};
}

std::string Number(int32_t value, bool milliseconds) {
  return std::to_string(value) + (milliseconds ? " ms" : "");
}

std::string Address(const uint8_t* octets) {
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
         std::to_string(octets[3]);
}

// A list value by its text. A value the list has no text for shows as the text of 1 where
// the form shows it so, else as the list's first text.
const char* ListText(const SettingField& field, const SettingRow& row, int32_t value) {
  const std::span<const ValueText> texts =
      field.reportTexts.empty() ? row.choices.first(row.offered) : field.reportTexts;
  auto textOf = [&texts](int32_t v) -> const char* {
    for (const ValueText& t : texts) {
      if (t.value == v) return t.text;
    }
    return nullptr;
  };
  if (const char* text = textOf(value)) return text;
  if (row.otherValuesShowAsOne) return textOf(1);
  return texts.front().text;
}

// The field's value as the report shows it; nullopt when the report gives it no line.
std::optional<std::string> ReportText(const DeviceSettings& s, const SettingField& field) {
  if (field.own == OwnMember::SerialNumber) return std::string(TextIn(s, field));
  const SettingRow& row = *RowOf(field);
  switch (row.value) {
    case SettingValue::Text: return std::string(TextIn(s, field));
    case SettingValue::Address: {
      std::string text = Address(BytesOf(s, row));
      if (field.report == ReportLine::WithPort) text += ":" + std::to_string(NumberOf(s, *RowOfCommand(field.other)));
      return text;
    }
    case SettingValue::Security: return (s.securityFlags & field.bit) != 0 ? "No" : "Yes";
    // A unit that never reported its parity leaves NUL here; printing it would end the
    // pane's text in the middle of the report.
    case SettingValue::Parity: return s.serialParity != '\0' ? std::string(1, s.serialParity) : std::string();
    case SettingValue::Number: break;
  }
  if (field.report == ReportLine::Mode) {
    const SettingRow& mode = *RowOfCommand(field.other);
    const int32_t modeValue = NumberOf(s, mode);
    if (modeValue == 0) return ListText(field, row, NumberOf(s, row));
    const char* text = ChoiceTextOf(mode, modeValue);
    if (text == nullptr) return std::nullopt;
    return std::string(text);
  }
  if (row.shows == FormShows::ListText && !field.milliseconds) return ListText(field, row, NumberOf(s, row));
  return Number(NumberOf(s, row), field.milliseconds);
}

void AppendBlock(std::string& out, const DeviceSettings& s) {
  for (const SettingField& field : SettingFields()) {
    if (field.report == ReportLine::None) continue;
    const std::optional<std::string> value = ReportText(s, field);
    if (value) {
      out += field.label;
      out += ": ";
      out += *value;
      out += "\r\n";
    }
    if (field.blankLineAfter) out += "\r\n";
  }
  out += "---\r\n";
}

}  // namespace

std::string FormatSettingsReport(std::span<const DeviceSettings> entries) {
  std::string out = "---\r\n";
  for (const DeviceSettings& entry : entries) AppendBlock(out, entry);
  return out;
}

void CAppWindow::ShowSettingsReport() {
  const int selection = surface_.CurrentSelection(ids::kHistoryList);
  if (selection < 0) return;
  const int lines = surface_.ItemCount(ids::kHistoryList);
  if (lines < 0) return;

  // The History list is only changed on this thread; the copy keeps the report
  // independent of the block while the surface is busy.
  std::vector<DeviceSettings> entries;
  const int32_t count = prefs_->historyCount;
  if (selection >= 1) {
    if (selection > count) return;  // a line the list does not hold
    entries.push_back(prefs_->history[static_cast<size_t>(selection - 1)]);
  } else {
    if (lines - 1 < 1) return;
    entries.assign(prefs_->history, prefs_->history + count);
  }
  const std::string report = FormatSettingsReport(entries);
  surface_.SetText(ids::kReportPane, report.c_str());
}

}  // namespace vqx
