#pragma once

// One table of every field of a snapshot: its JSON name, the report's name, the unit
// keyword, where it lies in the record and which values the desktop form offers for it.
// JSON, comparison and CSV all walk this table, so a field is described once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings/device_settings.h"

namespace vqx::snapshot::detail {

enum class Kind {
  Address,      // 4 octets, "10.0.0.5"
  Range,        // int32 within [low, high]
  Listed,       // int32, one of `allowed`
  Choice,       // int32, one of `choices`, with a companion "...Text"
  Parity,       // one letter 'N', 'E', 'O', with a companion "...Text"
  Text,         // NUL-terminated bytes, at most maxLength of them
  SecurityBit,  // true when `bit` of securityFlags is clear (the feature is allowed)
  Flag,         // one byte, true when not 0
};

struct Field {
  std::string_view key;      // JSON name
  std::string_view label;    // the report's name for it
  std::string_view keyword;  // the unit's keyword, empty when the unit has none
  Kind kind;
  bool readOnly;
  size_t offset;  // in DeviceSettings
  size_t size;    // bytes in DeviceSettings
  int32_t low = 0, high = 0;                  // Range
  std::span<const int32_t> allowed{};         // Listed
  std::span<const ValueText> choices{};       // Choice, Parity: the form's texts
  std::span<const ValueText> reportTexts{};   // Choice: the report's texts when they differ
  int32_t bit = 0;                            // SecurityBit
  size_t maxLength = 0;                       // Text
  bool milliseconds = false;                  // shown as "%d ms"
};

std::span<const Field> Fields();
const Field* FindField(std::string_view key);
// The companion text's JSON name ("vocoderText"), empty for a field without one.
std::string CompanionKey(const Field& f);

// Raw access to a field's bytes in a record.
int32_t IntOf(const DeviceSettings& s, const Field& f);
void SetInt(DeviceSettings& s, const Field& f, int32_t value);
const uint8_t* BytesOf(const DeviceSettings& s, const Field& f);
uint8_t* BytesOf(DeviceSettings& s, const Field& f);

// A text field's bytes up to its terminator (or its whole width when it has none).
std::string_view TextOf(const DeviceSettings& s, const Field& f);
// nullptr when the value has no text in the list.
const char* ChoiceText(std::span<const ValueText> choices, int32_t value);

// Whether a and b hold the same value of f, as the program reads it.
bool SameValue(const DeviceSettings& a, const DeviceSettings& b, const Field& f);
// The value as the report shows it: "ADPCM 24Kbps", "10.0.0.5", "500 ms", "Yes".
std::string ReportValue(const DeviceSettings& s, const Field& f);

}  // namespace vqx::snapshot::detail
