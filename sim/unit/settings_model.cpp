#include "unit/settings_model.h"

#include <algorithm>
#include <cstdio>

namespace vqx::sim {

namespace {

constexpr int64_t kBauds[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int64_t kDataBits[] = {7, 8};
constexpr int64_t kStopBits[] = {1, 2};

constexpr SettingDef Addr(std::string_view kw) {
  return {kw, SettingKind::Ip, 0, 0, {}, false};
}
constexpr SettingDef Num(std::string_view kw, int64_t lo, int64_t hi) {
  return {kw, SettingKind::Number, lo, hi, {}, false};
}
constexpr SettingDef OneOf(std::string_view kw, std::span<const int64_t> allowed) {
  return {kw, SettingKind::Number, 0, 0, allowed, false};
}
constexpr SettingDef Txt(std::string_view kw, int64_t maxLen, bool readOnly) {
  return {kw, SettingKind::Text, 0, maxLen, {}, readOnly};
}

constexpr std::array<SettingDef, SettingsModel::kCount> kTable = {{
    Addr("MYIP"),
    Addr("SUBNET"),
    Addr("GATEIP"),
    Addr("SRVRIP"),
    OneOf("BAUD", kBauds),
    Num("PORT", 0, 65535),
    Num("BCAST", 0, 3),
    Num("CONMODE", 0, 3),
    Txt("NAME", 63, false),
    Num("SECURITY", 0, 255),
    Txt("VER", 63, true),
    Num("COR", 0, 3),
    Num("CORINH", 0, 4000),
    OneOf("DATA", kDataBits),
    OneOf("STOP", kStopBits),
    {"PARITY", SettingKind::Parity, 0, 0, {}, false},
    Num("HANGTM", 0, 4000),
    Num("VOCODER", 1, 5),
    Txt("PASS", 63, false),
    Num("SRVRPORT", 0, 65535),
    Num("CMDPORT", 0, 65535),
    Num("DSCP", 0, 63),
    Num("VSENSE", 0, 2),
    Num("BOOST", 0, 1),
    Num("DUPLEX", 0, 1),
    Num("RXDELAY", 0, 10000),
    Num("TXDELAY", 0, 10000),
    Txt("MAC", 23, true),
}};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view DescribeOutcome(SetOutcome outcome) {
  switch (outcome) {
    case SetOutcome::Ok: return "accepted";
    case SetOutcome::OutOfRange: return "value out of range";
    case SetOutcome::Malformed: return "malformed value";
    case SetOutcome::ReadOnly: return "read-only setting";
  }
  return "?";
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string FormatAddress(const Address& a) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%03u.%03u.%03u.%03u", unsigned{a[0]}, unsigned{a[1]},
                unsigned{a[2]}, unsigned{a[3]});
  return buf;
}

bool ParseAddress(std::string_view text, Address* out) {
  Address result{};
  for (size_t i = 0; i < 4; ++i) {
    size_t digits = 0;
    unsigned octet = 0;
    while (digits < text.size() && IsDigit(text[digits])) {
      if (digits == 3) return false;
      octet = octet * 10 + static_cast<unsigned>(text[digits] - '0');
      ++digits;
    }
    if (digits == 0 || octet > 255) return false;
    result[i] = static_cast<uint8_t>(octet);
    text.remove_prefix(digits);
    if (i < 3) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
  }
  if (!text.empty()) return false;
  *out = result;
  return true;
}

bool ParseDecimal(std::string_view text, int64_t* out) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  *out = negative ? -value : value;
  return true;
}

std::span<const SettingDef> SettingsModel::Table() { return kTable; }

const SettingDef* SettingsModel::Find(std::string_view keyword) {
  const std::string upper = ToUpper(keyword);
  for (const SettingDef& def : kTable) {
    if (def.keyword == upper) return &def;
  }
  return nullptr;
}

size_t SettingsModel::IndexOf(const SettingDef& def) {
  return static_cast<size_t>(&def - kTable.data());
}

const SettingsModel::Value& SettingsModel::ValueOf(std::string_view keyword) const {
  const SettingDef* def = Find(keyword);
  // Only tests and the interpreter ask, always with table keywords.
  return values_[def != nullptr ? IndexOf(*def) : 0];
}

Address SettingsModel::AddressOf(std::string_view keyword) const { return ValueOf(keyword).address; }
int64_t SettingsModel::NumberOf(std::string_view keyword) const { return ValueOf(keyword).number; }
const std::string& SettingsModel::TextOf(std::string_view keyword) const {
  return ValueOf(keyword).text;
}

std::string SettingsModel::Format(const SettingDef& def) const {
  const Value& v = values_[IndexOf(def)];
  switch (def.kind) {
    case SettingKind::Ip: {
      std::string out = FormatAddress(v.address);
      // The utility spots the remark by the ')' right before the line end.
      if (dhcp_ && (def.keyword == "MYIP" || def.keyword == "SUBNET")) out += " (DHCP)";
      return out;
    }
    case SettingKind::Number: return std::to_string(v.number);
    case SettingKind::Text:
    case SettingKind::Parity: return v.text.empty() ? "<none>" : v.text;
  }
  return {};
}

SetOutcome SettingsModel::Set(const SettingDef& def, std::string_view argument) {
  if (def.readOnly) return SetOutcome::ReadOnly;
  const SetOutcome outcome = Store(def, argument);
  if (outcome == SetOutcome::Ok && def.kind == SettingKind::Ip &&
      (def.keyword == "MYIP" || def.keyword == "SUBNET")) {
    dhcp_ = false;
  }
  return outcome;
}

SetOutcome SettingsModel::Load(const SettingDef& def, std::string_view argument) {
  return Store(def, argument);
}

SetOutcome SettingsModel::Store(const SettingDef& def, std::string_view argument) {
  Value& v = values_[IndexOf(def)];
  switch (def.kind) {
    case SettingKind::Ip: {
      Address a{};
      if (!ParseAddress(TrimSpaces(argument), &a)) return SetOutcome::Malformed;
      v.address = a;
      return SetOutcome::Ok;
    }
    case SettingKind::Number: {
      int64_t n = 0;
      if (!ParseDecimal(TrimSpaces(argument), &n)) return SetOutcome::Malformed;
      const bool ok = def.allowed.empty()
                          ? (n >= def.min && n <= def.max)
                          : std::find(def.allowed.begin(), def.allowed.end(), n) != def.allowed.end();
      if (!ok) return SetOutcome::OutOfRange;
      v.number = n;
      return SetOutcome::Ok;
    }
    case SettingKind::Text:
      if (static_cast<int64_t>(argument.size()) > def.max) return SetOutcome::OutOfRange;
      for (char c : argument) {
        if (static_cast<unsigned char>(c) < 0x20) return SetOutcome::Malformed;
      }
      v.text = std::string(argument);
      return SetOutcome::Ok;
    case SettingKind::Parity: {
      const std::string p = ToUpper(TrimSpaces(argument));
      if (p != "N" && p != "E" && p != "O") return SetOutcome::Malformed;
      v.text = p;
      return SetOutcome::Ok;
    }
  }
  return SetOutcome::Malformed;
}

SettingsModel SettingsModel::Defaults() {
  SettingsModel m;
  constexpr std::pair<std::string_view, std::string_view> kDefaults[] = {
      {"MYIP", "192.168.1.20"}, {"SUBNET", "255.255.255.0"}, {"GATEIP", "192.168.1.1"},
      {"SRVRIP", "192.168.1.30"}, {"BAUD", "9600"}, {"PORT", "2000"}, {"BCAST", "0"},
      {"CONMODE", "0"}, {"NAME", "VQX-2"}, {"SECURITY", "0"}, {"VER", "VQX-2 v1.00"},
      {"COR", "0"}, {"CORINH", "0"}, {"DATA", "8"}, {"STOP", "1"}, {"PARITY", "N"},
      {"HANGTM", "1000"}, {"VOCODER", "1"}, {"PASS", "admin"}, {"SRVRPORT", "2000"},
      {"CMDPORT", "2001"}, {"DSCP", "46"}, {"VSENSE", "1"}, {"BOOST", "0"}, {"DUPLEX", "0"},
      {"RXDELAY", "0"}, {"TXDELAY", "0"}, {"MAC", "00:50:C2:12:34:56"},
  };
  for (const auto& [kw, value] : kDefaults) m.Load(*Find(kw), value);
  return m;
}

}  // namespace vqx::sim
