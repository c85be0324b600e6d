#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "field_json.h"
#include "field_table.h"
#include "protocol/command_table.h"
#include "protocol/reply_recognizer.h"
#include "settings/setting_table.h"
#include "snapshot.h"
#include "text_codec.h"

namespace vqx::snapshot {

using detail::Field;
using detail::Kind;
using nlohmann::json;

namespace {

constexpr std::string_view kUnsupportedKey = "unsupported";
constexpr std::string_view kRecordKey = "record";

bool Fail(std::string* error, std::string_view key, const std::string& message) {
  if (error) *error = std::string(key) + ": " + message;
  return false;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string DottedText(const uint8_t* o) {
  char text[20];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
  return text;
}

json FieldValue(const DeviceSettings& s, const Field& f) {
  switch (f.kind) {
    case Kind::Address: return DottedText(detail::BytesOf(s, f));
    case Kind::Range:
    case Kind::Listed:
    case Kind::Choice: return detail::IntOf(s, f);
    case Kind::Parity:
      return s.serialParity == '\0' ? std::string() : detail::BytesToUtf8(std::string_view(&s.serialParity, 1));
    case Kind::Text: return detail::BytesToUtf8(detail::TextOf(s, f));
    case Kind::SecurityBit: return (s.securityFlags & f.bit) == 0;
    case Kind::Flag: return s.dhcpAssigned != 0;
  }
  return nullptr;
}

json CompanionValue(const DeviceSettings& s, const Field& f) {
  const int32_t value = f.kind == Kind::Parity ? static_cast<int32_t>(s.serialParity) : detail::IntOf(s, f);
  const char* text = detail::ChoiceText(f.choices, value);
  return text != nullptr ? json(text) : json(nullptr);
}

// ---- Reading one field ----

std::string ValueList(const Field& f) {
  std::string list;
  for (const int32_t v : f.allowed) list += (list.empty() ? "" : ", ") + std::to_string(v);
  return list;
}

std::string ChoiceList(const Field& f, bool texts) {
  std::string list;
  for (const ValueText& c : f.choices) {
    if (!list.empty()) list += ", ";
    if (texts) {
      list += Quoted(c.text);
    } else if (f.kind == Kind::Parity) {
      list += Quoted(std::string(1, static_cast<char>(c.value))) + " (" + c.text + ")";
    } else {
      list += std::to_string(c.value) + " (" + c.text + ")";
    }
  }
  return list;
}

// A JSON whole number within int32, or a refusal naming what was found.
bool ReadWholeNumber(const json& v, const Field& f, const std::string& expected, int32_t& out, std::string* error) {
  if (!v.is_number_integer()) {
    return Fail(error, f.key, "expected " + expected + ", got " + (v.is_number() ? v.dump() : v.type_name()));
  }
  if (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(INT32_MAX)) {
    return Fail(error, f.key, v.dump() + " is out of range; expected " + expected);
  }
  const int64_t wide = v.get<int64_t>();
  if (wide < INT32_MIN || wide > INT32_MAX) {
    return Fail(error, f.key, v.dump() + " is out of range; expected " + expected);
  }
  out = static_cast<int32_t>(wide);
  return true;
}

bool ParseAddress(const json& v, const Field& f, DeviceSettings& out, std::string* error) {
  const std::string expected = "four numbers 0..255 with dots between them, such as \"10.0.0.5\"";
  if (!v.is_string()) return Fail(error, f.key, "expected a dotted address (" + expected + "), got " + v.type_name());
  const std::string& text = v.get_ref<const std::string&>();
  uint8_t octets[4];
  size_t i = 0;
  for (size_t part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return Fail(error, f.key, Quoted(text) + " is not " + expected);
      ++i;
    }
    size_t digits = 0;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + (text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3) return Fail(error, f.key, Quoted(text) + " is not " + expected);
    if (value > 255) {
      return Fail(error, f.key, Quoted(text) + ": " + std::to_string(value) + " is more than 255; expected " + expected);
    }
    octets[part] = static_cast<uint8_t>(value);
  }
  if (i != text.size()) return Fail(error, f.key, Quoted(text) + " is not " + expected);
  std::memcpy(detail::BytesOf(out, f), octets, sizeof(octets));
  return true;
}

bool ParseText(const json& v, const Field& f, DeviceSettings& out, std::string* error) {
  if (!v.is_string()) return Fail(error, f.key, std::string("expected a text, got ") + v.type_name());
  std::string why;
  const auto bytes = detail::Utf8ToBytes(v.get_ref<const std::string&>(), &why);
  if (!bytes) return Fail(error, f.key, "the text " + why);
  if (bytes->find_first_of("\r\n") != std::string::npos) {
    return Fail(error, f.key, "the text contains a line break, which cannot be sent to the unit");
  }
  if (bytes->find('\0') != std::string::npos) {
    return Fail(error, f.key, "the text contains a NUL character (\\u0000), which would end it");
  }
  if (bytes->size() > f.maxLength) {
    return Fail(error, f.key,
                "the text is " + std::to_string(bytes->size()) + " characters long; at most " +
                    std::to_string(f.maxLength) + " fit");
  }
  uint8_t* field = detail::BytesOf(out, f);
  std::memset(field, 0, f.size);
  std::memcpy(field, bytes->data(), bytes->size());
  return true;
}

bool ParseBoolean(const json& v, const Field& f, bool& out, std::string* error) {
  if (!v.is_boolean()) return Fail(error, f.key, std::string("expected true or false, got ") + v.type_name());
  out = v.get<bool>();
  return true;
}

// The number a companion text stands for.
bool ParseCompanion(const json& c, const Field& f, int32_t& out, std::string* error) {
  const std::string key = detail::CompanionKey(f);
  if (!c.is_string()) return Fail(error, key, std::string("expected a text, got ") + c.type_name());
  const std::string& text = c.get_ref<const std::string&>();
  for (const ValueText& choice : f.choices) {
    if (text == choice.text) {
      out = choice.value;
      return true;
    }
  }
  return Fail(error, key, Quoted(text) + " is not offered; expected one of " + ChoiceList(f, true));
}

// A whole number within int32 that set holds, without building the refusal's list of what
// is allowed: a table of a hundred thousand rows checks one per cell.
bool OfferedNumber(const json& v, bool (*offered)(const Field&, int32_t), const Field& f, int32_t& out) {
  if (!v.is_number_integer()) return false;
  if (v.is_number_unsigned() ? v.get<uint64_t>() > static_cast<uint64_t>(INT32_MAX)
                             : v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX) {
    return false;
  }
  const auto value = static_cast<int32_t>(v.get<int64_t>());
  if (!offered(f, value)) return false;
  out = value;
  return true;
}

bool ChoiceOffered(const Field& f, int32_t value) { return detail::ChoiceText(f.choices, value) != nullptr; }
bool ListOffered(const Field& f, int32_t value) {
  return std::find(f.allowed.begin(), f.allowed.end(), value) != f.allowed.end();
}

bool ParseChoiceNumber(const json& v, const Field& f, int32_t& out, std::string* error) {
  if (f.kind != Kind::Parity && OfferedNumber(v, &ChoiceOffered, f, out)) return true;
  if (f.kind == Kind::Parity) {
    const std::string expected = "one of " + ChoiceList(f, false);
    if (!v.is_string()) return Fail(error, f.key, "expected " + expected + ", got " + v.type_name());
    const std::string& text = v.get_ref<const std::string&>();
    if (text.size() == 1 && detail::ChoiceText(f.choices, text[0]) != nullptr) {
      out = text[0];
      return true;
    }
    return Fail(error, f.key, Quoted(text) + " is not offered; expected " + expected);
  }
  const std::string expected = "one of " + ChoiceList(f, false);
  if (!ReadWholeNumber(v, f, expected, out, error)) return false;
  if (detail::ChoiceText(f.choices, out) == nullptr) {
    return Fail(error, f.key, std::to_string(out) + " is not offered; expected " + expected);
  }
  return true;
}

bool ParseChoice(const json* v, const json* c, const Field& f, DeviceSettings& out, std::string* error) {
  int32_t fromNumber = 0;
  int32_t fromText = 0;
  if (v != nullptr && !ParseChoiceNumber(*v, f, fromNumber, error)) return false;
  if (c != nullptr && !ParseCompanion(*c, f, fromText, error)) return false;
  if (v != nullptr && c != nullptr && fromNumber != fromText) {
    return Fail(error, f.key,
                v->dump() + " is " + Quoted(detail::ChoiceText(f.choices, fromNumber)) + " but " +
                    detail::CompanionKey(f) + " says " + c->dump());
  }
  const int32_t value = v != nullptr ? fromNumber : fromText;
  if (f.kind == Kind::Parity) {
    out.serialParity = static_cast<char>(value);
  } else {
    detail::SetInt(out, f, value);
  }
  return true;
}

bool ParseField(const json* v, const json* c, const Field& f, DeviceSettings& out, std::string* error) {
  switch (f.kind) {
    case Kind::Address: return ParseAddress(*v, f, out, error);
    case Kind::Text: return ParseText(*v, f, out, error);
    case Kind::Range: {
      const std::string expected = "a whole number " + std::to_string(f.low) + ".." + std::to_string(f.high);
      int32_t value = 0;
      if (!ReadWholeNumber(*v, f, expected, value, error)) return false;
      if (value < f.low || value > f.high) {
        return Fail(error, f.key, std::to_string(value) + " is out of range; expected " + expected);
      }
      detail::SetInt(out, f, value);
      return true;
    }
    case Kind::Listed: {
      int32_t offered = 0;
      if (OfferedNumber(*v, &ListOffered, f, offered)) {
        detail::SetInt(out, f, offered);
        return true;
      }
      const std::string expected = "one of " + ValueList(f);
      int32_t value = 0;
      if (!ReadWholeNumber(*v, f, expected, value, error)) return false;
      if (std::find(f.allowed.begin(), f.allowed.end(), value) == f.allowed.end()) {
        return Fail(error, f.key, std::to_string(value) + " is not offered; expected " + expected);
      }
      detail::SetInt(out, f, value);
      return true;
    }
    case Kind::Choice:
    case Kind::Parity: return ParseChoice(v, c, f, out, error);
    case Kind::SecurityBit: {
      bool allowed = false;
      if (!ParseBoolean(*v, f, allowed, error)) return false;
      out.securityFlags = allowed ? (out.securityFlags & ~f.bit) : (out.securityFlags | f.bit);
      return true;
    }
    case Kind::Flag: {
      bool set = false;
      if (!ParseBoolean(*v, f, set, error)) return false;
      out.dhcpAssigned = set ? 1 : 0;
      return true;
    }
  }
  return false;
}

bool IsKnownKey(const std::string& key) {
  if (key == kUnsupportedKey || key == kRecordKey) return true;
  for (const Field& f : detail::Fields()) {
    // Most fields have no companion: its key is empty, which no file may name.
    const std::string companion = detail::CompanionKey(f);
    if (key == f.key || (!companion.empty() && key == companion)) return true;
  }
  return false;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

std::string UnknownKeyMessage(const std::string& key) {
  std::string message = Quoted(key) + ": not a field of a snapshot";
  for (const Field& f : detail::Fields()) {
    if (Lower(f.key) == Lower(key)) return message + " (did you mean " + std::string(f.key) + "?)";
  }
  return message;
}

}  // namespace

namespace detail {

bool ParseFieldJson(const json* value, const json* companion, const Field& f, DeviceSettings& out,
                    std::string* error) {
  if (value == nullptr && (companion == nullptr || (f.kind != Kind::Choice && f.kind != Kind::Parity))) {
    return Fail(error, f.key, "no value");
  }
  return ParseField(value, companion, f, out, error);
}

}  // namespace detail

std::span<const std::string_view> FieldNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> list;
    for (const Field& f : detail::Fields()) list.push_back(f.key);
    return list;
  }();
  return names;
}

bool IsReadOnlyField(std::string_view field) {
  const Field* f = detail::FindField(field);
  return f != nullptr && f->readOnly;
}

std::vector<std::string_view> FieldsForKeyword(std::string_view keyword) {
  std::vector<std::string_view> fields;
  if (keyword.empty()) return fields;
  for (const Field& f : detail::Fields()) {
    if (f.keyword == keyword) fields.push_back(f.key);
  }
  return fields;
}

std::string_view KeywordOfField(std::string_view field) {
  const Field* f = detail::FindField(field);
  return f != nullptr ? f->keyword : std::string_view();
}

bool FormCanSend(const DeviceSettings& s, std::span<const std::string> fields, std::string* error) {
  for (const std::string& key : fields) {
    const std::string keyword(KeywordOfField(key));
    const SettingRow* row = keyword.empty() ? nullptr : RowOfCommand(FindCommandId(keyword.c_str()));
    if (row == nullptr || row->reading == FormReading::NotSent || IsReadOnlyField(key)) {
      *error = key + ": cannot be sent to the VQX-2";
      return false;
    }
    if (!FormOffers(*row, s)) {
      *error = key + ": the settings form offers no such value (vqxctl send can set it as a command line)";
      return false;
    }
  }
  return true;
}

json ToJson(const DeviceSettings& s, std::span<const std::string> unsupported) {
  std::set<std::string_view> left;
  json listed = json::array();
  for (const std::string& name : unsupported) {
    std::string_view keyword = name;
    std::vector<std::string_view> fields = FieldsForKeyword(name);
    if (fields.empty()) {
      keyword = KeywordOfField(name);
      fields = keyword.empty() ? std::vector<std::string_view>{} : FieldsForKeyword(keyword);
      if (keyword.empty()) keyword = name;  // serialNumber, or a name we do not know
      if (fields.empty() && detail::FindField(name) != nullptr) fields.push_back(name);
    }
    left.insert(fields.begin(), fields.end());
    if (std::find(listed.begin(), listed.end(), json(std::string(keyword))) == listed.end()) {
      listed.push_back(std::string(keyword));
    }
  }

  json j = json::object();
  for (const Field& f : detail::Fields()) {
    if (left.count(f.key) != 0) continue;
    j[std::string(f.key)] = FieldValue(s, f);
    const std::string companion = detail::CompanionKey(f);
    if (!companion.empty()) j[companion] = CompanionValue(s, f);
  }
  if (!unsupported.empty()) j[std::string(kUnsupportedKey)] = listed;
  return j;
}

json ToJsonWithRecord(const DeviceSettings& s) {
  json j = ToJson(s);
  j[std::string(kRecordKey)] = detail::ToHex(&s, sizeof(s));
  return j;
}

std::optional<PartialSettings> FromJson(const json& j, std::string* error) {
  if (!j.is_object()) {
    if (error) *error = std::string("a snapshot must be a JSON object, not ") + j.type_name();
    return std::nullopt;
  }
  for (const auto& item : j.items()) {
    if (!IsKnownKey(item.key())) {
      if (error) *error = UnknownKeyMessage(item.key());
      return std::nullopt;
    }
  }
  if (const auto it = j.find(kUnsupportedKey); it != j.end()) {
    const bool allText =
        it->is_array() && std::all_of(it->begin(), it->end(), [](const json& e) { return e.is_string(); });
    if (!allText) {
      Fail(error, kUnsupportedKey, "expected a list of setting names such as [\"VOCODER\"]");
      return std::nullopt;
    }
  }

  PartialSettings result;
  std::memset(&result.values, 0, sizeof(result.values));
  json reference;  // the record's own named fields, when there is a record
  if (const auto it = j.find(kRecordKey); it != j.end()) {
    DeviceSettings record;
    if (!it->is_string() || !detail::FromHex(it->get_ref<const std::string&>(), &record, sizeof(record))) {
      Fail(error, kRecordKey,
           "expected " + std::to_string(2 * sizeof(DeviceSettings)) + " hex digits (the record's " +
               std::to_string(sizeof(DeviceSettings)) + " bytes)");
      return std::nullopt;
    }
    result.values = record;
    reference = ToJson(record);
  }

  for (const Field& f : detail::Fields()) {
    const std::string key(f.key);
    const std::string companionKey = detail::CompanionKey(f);
    const auto vi = j.find(key);
    const json* v = vi != j.end() ? &*vi : nullptr;
    const json* c = nullptr;
    if (!companionKey.empty()) {
      const auto ci = j.find(companionKey);
      // A null text says nothing (a value the lists have no text for); the number decides.
      if (ci != j.end() && !ci->is_null()) c = &*ci;
    }
    if (v == nullptr && c == nullptr) continue;

    // What the record already holds is kept as it is, whatever list it is in.
    if (!reference.is_null()) {
      const bool sameNumber = v == nullptr || *v == reference[key];
      const bool sameText = c == nullptr || *c == reference[companionKey];
      if (sameNumber && sameText) {
        result.present.insert(key);
        continue;
      }
    }
    if (!ParseField(v, c, f, result.values, error)) return std::nullopt;
    result.present.insert(key);
  }
  return result;
}

bool CheckSendable(const PartialSettings& partial, std::string* error) {
  for (const Field& f : detail::Fields()) {
    if (f.readOnly || !partial.Has(f.key)) continue;
    // The value as a snapshot shows it, read back through the checks of a named field.
    const json value = FieldValue(partial.values, f);
    DeviceSettings scratch{};
    if (!ParseField(&value, nullptr, f, scratch, error)) return false;
    // The unit would take it, but read back it is the unit's word for an empty text: the
    // change could never be verified, and every later read would show it empty.
    if (f.kind == Kind::Text && detail::TextOf(partial.values, f) == kEmptyTextPlaceholder) {
      return Fail(error, f.key,
                  Quoted(kEmptyTextPlaceholder) + " is what the VQX-2 answers for an empty text, so it cannot be told "
                  "apart from one; use \"\" for an empty text");
    }
  }
  return true;
}

void ApplyTo(const PartialSettings& partial, DeviceSettings& target) {
  for (const Field& f : detail::Fields()) {
    if (!partial.Has(f.key)) continue;
    if (f.kind == Kind::SecurityBit) {
      target.securityFlags = (target.securityFlags & ~f.bit) | (partial.values.securityFlags & f.bit);
    } else {
      std::memcpy(detail::BytesOf(target, f), detail::BytesOf(partial.values, f), f.size);
    }
  }
}

std::string MulticastProblem(const DeviceSettings& s) {
  constexpr int32_t kMulticast = 3;
  if (s.broadcastMode != kMulticast) return {};
  const uint8_t* server = s.serverIp;
  const bool group = server[0] >= 224 && server[0] <= 239;
  const bool none = server[0] == 0 && server[1] == 0 && server[2] == 0 && server[3] == 0;
  if (group || none) return {};
  return "To enter multicast mode, the Server IP address must be a valid\n"
         "multicast address (224.0.0.0 - 239.255.255.255) or all zeros.";
}

std::string DumpJson(const json& j) {
  const std::string dumped = j.dump(2, ' ', false, json::error_handler_t::replace);
  // The library escapes U+0000..U+001F only. DEL and the C1 controls (U+0080..U+009F;
  // U+009B alone starts a terminal's control sequence) are escaped too, so that the
  // output is safe to print. They can stand only inside strings, where \u is valid.
  std::string out;
  out.reserve(dumped.size() + 1);
  for (size_t i = 0; i < dumped.size(); ++i) {
    const auto b = static_cast<unsigned char>(dumped[i]);
    if (b == 0x7F) {
      out += "\\u007f";
    } else if (b == 0xC2 && i + 1 < dumped.size() && static_cast<unsigned char>(dumped[i + 1]) <= 0x9F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(dumped[++i])));
      out += escaped;
    } else {
      out += dumped[i];
    }
  }
  return out + "\n";
}

}  // namespace vqx::snapshot
