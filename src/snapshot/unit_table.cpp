#include "unit_table.h"

#include <algorithm>
#include <cctype>

#include "refuse.h"
#include "text_position.h"
#include "unit_table_rows.h"

namespace vqx::snapshot {

using detail::Lowered;
using detail::Quoted;
using detail::Refuse;
using detail::Trimmed;
using nlohmann::json;

namespace {

std::optional<UnitTable> ParseJson(std::string_view text, std::string* error) {
  std::string why;
  const std::optional<json> parsed =
      ParseJsonText(std::string(text), &why,
                    {kMostUnitRows, detail::TooManyRows(), detail::MostUnitColumns(),
                     "more than " + std::to_string(detail::MostUnitColumns()) +
                         " names in one entry; a unit has fewer fields"});
  if (!parsed) {
    Refuse(error, why);
    return std::nullopt;
  }
  if (!parsed->is_array()) {
    Refuse(error, std::string("expected a list of units (a JSON array of objects), not ") + parsed->type_name());
    return std::nullopt;
  }
  UnitTable table;
  detail::RowChecker checker;
  checker.Expect(parsed->size());
  const detail::RowChecker::Where where = [](size_t at, std::string_view key) {
    return "entry " + std::to_string(at) + (key.empty() ? std::string() : ", " + std::string(key));
  };
  for (size_t n = 0; n < parsed->size(); ++n) {
    const std::string entry = "entry " + std::to_string(n + 1);
    const json& item = (*parsed)[n];
    if (!item.is_object()) {
      Refuse(error, entry + ": expected an object such as {\"macAddress\": \"00:50:C2:12:34:56\", \"name\": ...}, "
                            "not " + std::string(item.type_name()));
      return std::nullopt;
    }
    UnitRow row;
    row.line = n + 1;
    json values = json::object();
    for (const auto& [key, value] : item.items()) {
      if (value.is_null()) continue;  // says nothing, as an empty cell
      if (key == detail::kMacColumn || key == detail::kPortColumn) {
        if (!value.is_string()) {
          Refuse(error, entry + ", " + key + ": expected a text, not " + value.type_name());
          return std::nullopt;
        }
        const std::string& given = value.get_ref<const std::string&>();
        if (key == detail::kPortColumn) {
          row.port = std::string(Trimmed(given));
          continue;
        }
        const std::optional<std::string> mac = NormaliseMac(given);
        if (!mac) {
          Refuse(error, entry + ", " + key + ": " + Quoted(given) +
                            " is not a MAC address; expected six hex pairs such as 00:50:C2:12:34:56");
          return std::nullopt;
        }
        row.macAddress = *mac;
        continue;
      }
      bool companion = false;
      if (detail::SettableField(key, &companion, &why) == nullptr) {
        Refuse(error, entry + ", " + key + ": " + why);
        return std::nullopt;
      }
      values[key] = value;
    }
    std::optional<PartialSettings> settings = FromJson(values, &why);
    if (!settings) {
      Refuse(error, entry + ", " + why);
      return std::nullopt;
    }
    row.values = std::move(*settings);
    if (!checker.Add(std::move(row), where, "entry", table.rows, error)) return std::nullopt;
  }
  return table;
}
}  // namespace

std::optional<std::string> NormaliseMac(std::string_view text) {
  text = Trimmed(text);
  const bool separated = text.size() == 17;
  if (!separated && text.size() != 12) return std::nullopt;
  const char separator = separated ? text[2] : '\0';
  if (separated && separator != ':' && separator != '-') return std::nullopt;
  std::string mac(17, ':');
  for (size_t pair = 0; pair < 6; ++pair) {
    const size_t from = separated ? pair * 3 : pair * 2;
    if (separated && pair > 0 && text[from - 1] != separator) return std::nullopt;
    for (size_t k = 0; k < 2; ++k) {
      const auto c = static_cast<unsigned char>(text[from + k]);
      if (!std::isxdigit(c)) return std::nullopt;
      mac[pair * 3 + k] = static_cast<char>(std::toupper(c));
    }
  }
  return mac;
}

std::optional<UnitTable> ParseUnitTable(std::string_view text, std::string* error) {
  if (!detail::RefuseNulByte(text, error)) return std::nullopt;
  std::string_view rest = text;
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  const size_t first = rest.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    Refuse(error, "the table is empty; expected a CSV header line (macAddress and/or port, then field names) or a "
                  "JSON list");
    return std::nullopt;
  }
  if (rest[first] == '[' || rest[first] == '{') return ParseJson(text, error);
  return detail::ParseUnitTableCsv(text, error);
}

std::optional<UnitTable> LoadUnitTable(const std::string& path, std::string* error) {
  std::string content;
  if (!ReadTextFile(path, &content, error, "a unit table")) return std::nullopt;
  std::string why;
  std::optional<UnitTable> table = ParseUnitTable(content, &why);
  if (!table) Refuse(error, (path == "-" ? std::string("standard input") : path) + ": " + why);
  return table;
}
DeviceSettings TargetFor(const DeviceSettings& current, const PartialSettings& tmpl, const UnitRow* row) {
  DeviceSettings target = current;
  ApplyTo(tmpl, target);
  if (row != nullptr) ApplyTo(row->values, target);
  return target;
}

const UnitRow* FindUnitRow(const UnitTable& table, std::string_view mac, std::string_view port) {
  const std::optional<std::string> unitMac = NormaliseMac(mac);
  const std::string unitPort = detail::PortKey(port);
  if (unitMac) {
    for (const UnitRow& row : table.rows) {
      if (row.macAddress != *unitMac) continue;
      // The right unit on a port the table does not expect it on: no row, never a guess.
      return row.port.empty() || detail::PortKey(row.port) == unitPort ? &row : nullptr;
    }
  }
  if (unitPort.empty()) return nullptr;
  for (const UnitRow& row : table.rows) {
    if (row.macAddress.empty() && !row.port.empty() && detail::PortKey(row.port) == unitPort) return &row;
  }
  return nullptr;
}

}  // namespace vqx::snapshot
