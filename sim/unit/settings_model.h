#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vqx::sim {

using Address = std::array<uint8_t, 4>;

enum class SettingKind {
  Ip,       // four octets, printed with three-digit octets
  Number,   // decimal, within [min, max] or one of `allowed`
  Text,     // up to `max` characters
  Parity,   // one of N, E, O
};

struct SettingDef {
  std::string_view keyword;
  SettingKind kind;
  int64_t min;
  int64_t max;  // for Text: the longest accepted length
  std::span<const int64_t> allowed;
  bool readOnly;
};

enum class SetOutcome { Ok, OutOfRange, Malformed, ReadOnly };

std::string_view DescribeOutcome(SetOutcome outcome);

// Every setting the unit stores, in the unit's own words. Values are kept per
// keyword so the command interpreter and the settings file share one validation.
class SettingsModel {
 public:
  static constexpr size_t kCount = 28;

  static SettingsModel Defaults();
  static std::span<const SettingDef> Table();
  // Case-insensitive; nullptr for a word that is no setting.
  static const SettingDef* Find(std::string_view keyword);

  // The value as the unit prints it after its keyword, "(DHCP)" remark included.
  std::string Format(const SettingDef& def) const;
  // Parses and stores `argument`; nothing changes unless the outcome is Ok.
  // Writing an address by command makes it static.
  SetOutcome Set(const SettingDef& def, std::string_view argument);
  // As Set, but may write read-only settings (the unit's factory data).
  SetOutcome Load(const SettingDef& def, std::string_view argument);

  Address AddressOf(std::string_view keyword) const;
  int64_t NumberOf(std::string_view keyword) const;
  const std::string& TextOf(std::string_view keyword) const;

  bool Dhcp() const { return dhcp_; }
  void SetDhcp(bool on) { dhcp_ = on; }

  bool operator==(const SettingsModel&) const = default;

 private:
  struct Value {
    Address address{};
    int64_t number = 0;
    std::string text;
    bool operator==(const Value&) const = default;
  };

  SetOutcome Store(const SettingDef& def, std::string_view argument);
  const Value& ValueOf(std::string_view keyword) const;
  static size_t IndexOf(const SettingDef& def);

  std::array<Value, kCount> values_{};
  bool dhcp_ = false;
};

std::string FormatAddress(const Address& address);
// Dotted decimal, octets with or without leading zeros.
bool ParseAddress(std::string_view text, Address* out);
// Plain decimal digits; false for anything else or for more than 18 digits.
bool ParseDecimal(std::string_view text, int64_t* out);
std::string ToUpper(std::string_view text);

}  // namespace vqx::sim
