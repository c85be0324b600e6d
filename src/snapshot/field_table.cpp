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

struct FieldTable {
  std::vector<Field> fields;
  std::vector<std::vector<int32_t>> allowed;  // each Listed field's values, ascending
};

// What a snapshot holds of a field follows from its setting row: an address, a text, the
// security switches and the parity as they are; a number the form lists by its digits (or
// shows in milliseconds) as one of the listed numbers; a number the form lists by text as
// one of those texts; any other number within the row's range.
Kind KindOf(const SettingField& field, const SettingRow* row) {
  switch (field.own) {
    case OwnMember::SerialNumber: return Kind::Text;
    case OwnMember::DhcpRemark: return Kind::Flag;
    case OwnMember::None: break;
  }
  switch (row->value) {
    case SettingValue::Address: return Kind::Address;
    case SettingValue::Text: return Kind::Text;
    case SettingValue::Security: return Kind::SecurityBit;
    case SettingValue::Parity: return Kind::Parity;
    case SettingValue::Number: break;
  }
  if (row->choices.empty()) return Kind::Range;
  if (row->shows == FormShows::ListNumber || field.milliseconds) return Kind::Listed;
  return Kind::Choice;
}

FieldTable BuildFields() {
  FieldTable table;
  const auto settingFields = SettingFields();
  table.fields.reserve(settingFields.size());
  table.allowed.resize(settingFields.size());
  for (size_t i = 0; i < settingFields.size(); ++i) {
    const SettingField& source = settingFields[i];
    const SettingRow* row = RowOf(source);
    Field f{.key = source.key,
            .label = source.label,
            .keyword = row != nullptr ? std::string_view(CommandKeywordTable[source.commandId]) : std::string_view(),
            .kind = KindOf(source, row),
            .readOnly = source.own != OwnMember::None || row->reading == FormReading::NotSent,
            .offset = OffsetOf(source),
            .size = SizeOf(source)};
    f.bit = source.bit;
    f.milliseconds = source.milliseconds;
    f.reportTexts = source.reportTexts;
    if (f.kind == Kind::Text) f.maxLength = source.maxLength != 0 ? source.maxLength : f.size - 1;
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
    table.fields.push_back(f);
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
