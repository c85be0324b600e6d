#include "unit_table.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <unordered_map>

#include "csv_cell.h"
#include "field_json.h"
#include "field_table.h"
#include "refuse.h"
#include "text_codec.h"
#include "text_position.h"

namespace vqx::snapshot {

using detail::Field;
using detail::Kind;
using detail::Refuse;
using nlohmann::json;

namespace {

constexpr std::string_view kMacColumn = "macAddress";
constexpr std::string_view kPortColumn = "port";
constexpr std::string_view kIdentityFields[] = {"name", "ipAddress", "macAddress", "serialNumber", "firmwareVersion",
                                                "dhcp"};
// The identities two units must not share: two units with one address, or one name,
// could not be told apart on the network or in the History.
constexpr std::string_view kUniqueFields[] = {"name", "ipAddress"};

// A row holds at most every field and companion text plus its two keys; a cell at most a
// 63-character text in UTF-8 (two bytes a character above U+007F). Far more is no table.
size_t MostColumns() { return 2 * FieldNames().size() + 8; }
constexpr size_t kLongestCell = 1024;

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string TooManyRows() {
  return "the table holds more than " + std::to_string(kMostUnitRows) + " units; split it into smaller ones";
}

// The field a row may set under this name, or why it may not.
const Field* SettableField(std::string_view name, bool* companion, std::string* why) {
  *companion = false;
  for (const Field& f : detail::Fields()) {
    const std::string companionKey = detail::CompanionKey(f);
    const bool isCompanion = !companionKey.empty() && name == companionKey;
    if (name != f.key && !isCompanion) continue;
    if (f.readOnly) {
      *why = "read only: the unit reports it and cannot be told it, so a table cannot set it";
      return nullptr;
    }
    *companion = isCompanion;
    return &f;
  }
  *why = "not a field of a snapshot";
  for (const Field& f : detail::Fields()) {
    if (Lowered(f.key) == Lowered(name)) {
      *why += " (did you mean " + std::string(f.key) + "?)";
      break;
    }
  }
  if (name == "record" || name == "unsupported" || name == "linkStatus") {
    *why = "belongs to a whole unit's snapshot, not to a row of a unit table";
  }
  *why += "; a unit table has macAddress and/or port and the fields of a snapshot";
  return nullptr;
}

// FromJson's refusal ("vocoder: 9 is not offered...") without the field's name, which the
// caller has already put in its place; the name it gave into *key.
std::string WithoutKey(const std::string& why, std::string* key) {
  const size_t colon = why.find(": ");
  if (colon == std::string::npos || why.find(' ') < colon) {
    key->clear();
    return why;
  }
  *key = why.substr(0, colon);
  return why.substr(colon + 2);
}

// ---- The checks every row passes, from either kind of file ----

class RowChecker {
 public:
  // where(key) names the place of a row's key or field in the file: "line 4, column 2
  // (name)" or "entry 4, name"; rowPlace the row alone: "line 4" or "entry 4".
  using Where = std::function<std::string(std::string_view key)>;

  bool Add(UnitRow&& row, const Where& where, const std::string& rowPlace, const std::string& placeWord,
           std::vector<UnitRow>& rows, std::string* error) {
    if (row.macAddress.empty() && row.port.empty()) {
      return Refuse(error, rowPlace + ": no macAddress or port; each row must say which unit it is for");
    }
    const auto taken = [&](std::unordered_map<std::string, size_t>& seen, const std::string& value,
                           std::string_view key, const std::string& shown, const char* reason) {
      const auto [it, added] = seen.emplace(value, row.line);
      if (added) return false;
      Refuse(error, where(key) + ": " + shown + " is already on " + placeWord + " " + std::to_string(it->second) +
                        "; " + reason);
      return true;
    };
    if (!row.macAddress.empty() &&
        taken(macs_, row.macAddress, kMacColumn, row.macAddress, "each unit has one row")) {
      return false;
    }
    if (!row.port.empty() &&
        taken(ports_, Lowered(row.port), kPortColumn, Quoted(row.port), "one unit hangs on each port")) {
      return false;
    }
    for (const std::string_view field : kUniqueFields) {
      if (!row.values.Has(field)) continue;
      const Field& f = *detail::FindField(field);
      const std::string value = f.kind == Kind::Text ? std::string(detail::TextOf(row.values.values, f))
                                                     : detail::ReportValue(row.values.values, f);
      auto& seen = field == "name" ? names_ : addresses_;
      const std::string shown = Quoted(f.kind == Kind::Text ? detail::BytesToUtf8(value) : value);
      if (taken(seen, value, field, shown, "two units must not share it")) return false;
    }
    rows.push_back(std::move(row));
    return true;
  }

 private:
  std::unordered_map<std::string, size_t> macs_, ports_, names_, addresses_;
};

// ---- CSV ----

struct Column {
  enum class Role { Mac, Port, Value };
  Role role = Role::Value;
  std::string name;
  const Field* field = nullptr;
  size_t fieldIndex = 0;   // in detail::Fields()
  bool companion = false;  // "vocoderText": the text of a list value
};

std::string CsvPlace(size_t line, size_t column, std::string_view name) {
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + " (" + std::string(name) + ")";
}

bool ReadHeader(const std::vector<std::string>& cells, std::vector<Column>* columns, std::string* error) {
  bool keyed = false;
  for (size_t n = 0; n < cells.size(); ++n) {
    Column column;
    column.name = std::string(Trimmed(cells[n]));
    if (column.name.empty()) {
      return Refuse(error, "line 1, column " + std::to_string(n + 1) +
                               ": a column without a name; the header names each column");
    }
    for (size_t earlier = 0; earlier < columns->size(); ++earlier) {
      if ((*columns)[earlier].name == column.name) {
        return Refuse(error, CsvPlace(1, n + 1, column.name) + ": also column " + std::to_string(earlier + 1) +
                                 "; give each column once");
      }
    }
    if (column.name == kMacColumn) {
      column.role = Column::Role::Mac;
      keyed = true;
    } else if (column.name == kPortColumn) {
      column.role = Column::Role::Port;
      keyed = true;
    } else {
      std::string why;
      column.field = SettableField(column.name, &column.companion, &why);
      if (column.field == nullptr) return Refuse(error, CsvPlace(1, n + 1, column.name) + ": " + why);
      column.fieldIndex = static_cast<size_t>(column.field - detail::Fields().data());
    }
    columns->push_back(std::move(column));
  }
  if (!keyed) {
    return Refuse(error, "line 1: the header needs a macAddress or a port column (or both), to say which unit each "
                         "row is for");
  }
  return true;
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || text.size() > 11) return std::nullopt;
  size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return text[0] == '-' ? -value : value;
}

std::optional<bool> Boolean(std::string_view text) {
  const std::string lowered = Lowered(Trimmed(text));
  if (lowered == "true" || lowered == "yes" || lowered == "1") return true;
  if (lowered == "false" || lowered == "no" || lowered == "0") return false;
  return std::nullopt;
}

// A cell as the JSON value FromJson's checks take: a CSV cell is text, so each kind of
// field says what its text means. *asCompanion when the cell gave a list value by its
// text ("PCM 64Kbps"), which the field's companion checks.
bool CellValue(const Column& column, std::string cell, json* out, bool* asCompanion, std::string* why) {
  const Field& f = *column.field;
  *asCompanion = column.companion;
  if (column.companion) {
    *out = std::move(cell);
    return true;
  }
  switch (f.kind) {
    case Kind::Text:
      // A text a spreadsheet would run as a formula is written with a leading apostrophe
      // (as the History export does); reading drops it again.
      if (cell.size() >= 2 && cell[0] == '\'' && detail::NeedsApostrophe(std::string_view(cell).substr(1))) {
        cell.erase(0, 1);
      }
      *out = std::move(cell);
      return true;
    case Kind::Address: *out = std::string(Trimmed(cell)); return true;
    case Kind::Range:
    case Kind::Listed: {
      const std::optional<int64_t> number = WholeNumber(cell);
      if (!number) return Refuse(why, Quoted(cell) + " is not a whole number");
      *out = *number;
      return true;
    }
    case Kind::Choice: {
      // A list value as its number (3) or as the text the form shows ("PCM 64Kbps").
      if (const std::optional<int64_t> number = WholeNumber(cell)) {
        *out = *number;
      } else {
        *out = std::move(cell);
        *asCompanion = true;
      }
      return true;
    }
    case Kind::Parity: {
      const std::string_view letter = Trimmed(cell);
      if (letter.size() == 1) {
        *out = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0]))));
      } else {
        *out = std::move(cell);
        *asCompanion = true;
      }
      return true;
    }
    case Kind::SecurityBit:
    case Kind::Flag: {
      const std::optional<bool> value = Boolean(cell);
      if (!value) return Refuse(why, Quoted(cell) + " is not a yes or no; expected true, false, yes, no, 1 or 0");
      *out = *value;
      return true;
    }
  }
  return Refuse(why, "cannot be read");
}

// One row's cells, checked field by field as FromJson checks an object, without building
// one: a table of a hundred thousand rows is read in seconds.
class RowValues {
 public:
  RowValues() : slots_(detail::Fields().size()) {}

  // Cell n of the row, for the field its column names.
  bool Take(const std::vector<Column>& columns, size_t n, std::string cell, size_t line, std::string* error) {
    const Column& column = columns[n];
    json value;
    bool asCompanion = false;
    std::string why;
    if (!CellValue(column, std::move(cell), &value, &asCompanion, &why)) {
      return Refuse(error, CsvPlace(line, n + 1, column.name) + ": " + why);
    }
    Slot& slot = slots_[column.fieldIndex];
    Given& given = asCompanion ? slot.companion : slot.value;
    if (given.column != kNone) {
      return Refuse(error, CsvPlace(line, n + 1, column.name) + ": " + std::string(column.field->key) +
                               " is given twice in this row (also column " + std::to_string(given.column + 1) + ")");
    }
    given = {std::move(value), n};
    if (!slot.touched) {
      slot.touched = true;
      touched_.push_back(column.fieldIndex);
    }
    return true;
  }

  // The checked values into *out; the slots are cleared for the next row.
  bool Finish(const std::vector<Column>& columns, size_t line, PartialSettings* out, std::string* error) {
    std::sort(touched_.begin(), touched_.end());
    bool ok = true;
    for (const size_t index : touched_) {
      Slot& slot = slots_[index];
      const Field& f = detail::Fields()[index];
      std::string why;
      if (ok && !detail::ParseFieldJson(slot.value.column != kNone ? &slot.value.text : nullptr,
                                        slot.companion.column != kNone ? &slot.companion.text : nullptr, f,
                                        out->values, &why)) {
        std::string key;
        const std::string reason = WithoutKey(why, &key);
        const bool companionAtFault = key == detail::CompanionKey(f) || slot.value.column == kNone;
        const size_t at = companionAtFault && slot.companion.column != kNone ? slot.companion.column
                                                                             : slot.value.column;
        Refuse(error, CsvPlace(line, at + 1, columns[at].name) + ": " + reason);
        ok = false;
      }
      if (ok) out->present.emplace(f.key);
      slot = Slot{};
    }
    touched_.clear();
    return ok;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  struct Given {
    json text;
    size_t column = kNone;
  };
  struct Slot {
    Given value;
    Given companion;
    bool touched = false;
  };
  std::vector<Slot> slots_;
  std::vector<size_t> touched_;
};

std::optional<UnitTable> ParseCsv(std::string_view text, std::string* error) {
  detail::CsvRecordReader reader(text, MostColumns(), kLongestCell);
  std::vector<std::string> cells;
  size_t line = 0;
  if (!reader.Next(&cells, &line, error)) return std::nullopt;
  std::vector<Column> columns;
  if (!ReadHeader(cells, &columns, error)) return std::nullopt;

  UnitTable table;
  // Room for every line at once: growing by doubling would hold the old rows and the new
  // at the same time, half again the table's size.
  const auto lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  table.rows.reserve(std::min(lines, kMostUnitRows));
  RowChecker checker;
  RowValues values;
  while (!reader.AtEnd()) {
    if (!reader.Next(&cells, &line, error)) return std::nullopt;
    if (cells.size() == 1 && cells[0].empty() && !reader.Quoted(0)) continue;  // a blank line
    if (cells.size() != columns.size()) {
      Refuse(error, "line " + std::to_string(line) + ": " + std::to_string(cells.size()) + " cells, but the header has " +
                        std::to_string(columns.size()) + " columns");
      return std::nullopt;
    }
    if (table.rows.size() == kMostUnitRows) {
      Refuse(error, "line " + std::to_string(line) + ": " + TooManyRows());
      return std::nullopt;
    }
    UnitRow row;
    row.line = line;
    for (size_t n = 0; n < columns.size(); ++n) {
      const Column& column = columns[n];
      // An empty cell gives nothing: the template's value (or the unit's) applies.
      if (cells[n].empty()) continue;
      if (column.role == Column::Role::Mac) {
        const std::optional<std::string> mac = NormaliseMac(cells[n]);
        if (!mac) {
          Refuse(error, CsvPlace(line, n + 1, column.name) + ": " + Quoted(cells[n]) +
                            " is not a MAC address; expected six hex pairs such as 00:50:C2:12:34:56");
          return std::nullopt;
        }
        row.macAddress = *mac;
      } else if (column.role == Column::Role::Port) {
        row.port = std::string(Trimmed(cells[n]));
      } else if (!values.Take(columns, n, std::move(cells[n]), line, error)) {
        return std::nullopt;
      }
    }
    if (!values.Finish(columns, line, &row.values, error)) return std::nullopt;
    const auto where = [&](std::string_view key) {
      for (size_t n = 0; n < columns.size(); ++n) {
        if (columns[n].name == key) return CsvPlace(line, n + 1, key);
      }
      return "line " + std::to_string(line);
    };
    if (!checker.Add(std::move(row), where, "line " + std::to_string(line), "line", table.rows, error)) {
      return std::nullopt;
    }
  }
  return table;
}

// ---- JSON ----

std::optional<UnitTable> ParseJson(std::string_view text, std::string* error) {
  std::string why;
  const std::optional<json> parsed =
      ParseJsonText(std::string(text), &why,
                    {kMostUnitRows, TooManyRows(), MostColumns(),
                     "more than " + std::to_string(MostColumns()) + " names in one entry; a unit has fewer fields"});
  if (!parsed) {
    Refuse(error, why);
    return std::nullopt;
  }
  if (!parsed->is_array()) {
    Refuse(error, std::string("expected a list of units (a JSON array of objects), not ") + parsed->type_name());
    return std::nullopt;
  }
  UnitTable table;
  RowChecker checker;
  for (size_t n = 0; n < parsed->size(); ++n) {
    const std::string entry = "entry " + std::to_string(n + 1);
    const json& item = (*parsed)[n];
    if (!item.is_object()) {
      Refuse(error, entry + ": expected an object such as {\"macAddress\": \"00:50:C2:12:34:56\", \"name\": ...}, not " +
                        item.type_name());
      return std::nullopt;
    }
    UnitRow row;
    row.line = n + 1;
    json values = json::object();
    for (const auto& [key, value] : item.items()) {
      if (value.is_null()) continue;  // says nothing, as an empty cell
      if (key == kMacColumn || key == kPortColumn) {
        if (!value.is_string()) {
          Refuse(error, entry + ", " + key + ": expected a text, not " + value.type_name());
          return std::nullopt;
        }
        const std::string& given = value.get_ref<const std::string&>();
        if (key == kPortColumn) {
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
      if (SettableField(key, &companion, &why) == nullptr) {
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
    const auto where = [&](std::string_view key) { return entry + ", " + std::string(key); };
    if (!checker.Add(std::move(row), where, entry, "entry", table.rows, error)) return std::nullopt;
  }
  return table;
}

}  // namespace

std::optional<std::string> NormaliseMac(std::string_view text) {
  text = Trimmed(text);
  std::string digits;
  if (text.size() == 17) {
    const char separator = text[2];
    if (separator != ':' && separator != '-') return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
      if (i % 3 == 2) {
        if (text[i] != separator) return std::nullopt;
      } else {
        digits += text[i];
      }
    }
  } else if (text.size() == 12) {
    digits = std::string(text);
  } else {
    return std::nullopt;
  }
  std::string mac;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(digits[i]))) return std::nullopt;
    if (i > 0 && i % 2 == 0) mac += ':';
    mac += static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i])));
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
  return ParseCsv(text, error);
}

std::optional<UnitTable> LoadUnitTable(const std::string& path, std::string* error) {
  std::string content;
  if (!ReadTextFile(path, &content, error, "a unit table")) return std::nullopt;
  std::string why;
  std::optional<UnitTable> table = ParseUnitTable(content, &why);
  if (!table) Refuse(error, (path == "-" ? std::string("standard input") : path) + ": " + why);
  return table;
}

bool IsIdentityField(std::string_view field) {
  return std::find(std::begin(kIdentityFields), std::end(kIdentityFields), field) != std::end(kIdentityFields);
}

json ToTemplateJson(const DeviceSettings& s, std::span<const std::string> unsupported, bool keepPassword) {
  json j = ToJson(s, unsupported);
  for (const std::string_view field : kIdentityFields) j.erase(std::string(field));
  if (!keepPassword) j.erase("webPassword");
  return j;
}

std::optional<PartialSettings> LoadTemplateFile(const std::string& path, std::string* error) {
  const std::optional<json> j = LoadJsonFile(path, error);
  if (!j) return std::nullopt;
  const std::string shown = path == "-" ? std::string("standard input") : path;
  if (j->is_object()) {
    // Refused before the values are checked: a template that names a unit is the wrong file.
    for (const std::string_view field : kIdentityFields) {
      if (!j->contains(std::string(field))) continue;
      const bool perUnit = field == "name" || field == "ipAddress";
      Refuse(error, shown + ": " + std::string(field) + ": a template holds what every unit shares, and " +
                        std::string(field) +
                        (perUnit ? " is each unit's own; give it in the unit table instead"
                                 : " is each unit's own; remove it (vqxctl read --template leaves it out)"));
      return std::nullopt;
    }
    if (j->contains("record")) {
      Refuse(error, shown + ": record: a template holds named fields only; a record carries a whole unit, name and "
                            "address included");
      return std::nullopt;
    }
  }
  std::string why;
  std::optional<PartialSettings> parsed = FromJson(*j, &why);
  if (!parsed) Refuse(error, shown + ": " + why);
  return parsed;
}

DeviceSettings TargetFor(const DeviceSettings& current, const PartialSettings& tmpl, const UnitRow* row) {
  DeviceSettings target = current;
  ApplyTo(tmpl, target);
  if (row != nullptr) ApplyTo(row->values, target);
  return target;
}

const UnitRow* FindUnitRow(const UnitTable& table, std::string_view mac, std::string_view port) {
  const std::optional<std::string> unitMac = NormaliseMac(mac);
  const std::string unitPort = Lowered(Trimmed(port));
  if (unitMac) {
    for (const UnitRow& row : table.rows) {
      if (row.macAddress != *unitMac) continue;
      // The right unit on a port the table does not expect it on: no row, never a guess.
      return row.port.empty() || Lowered(row.port) == unitPort ? &row : nullptr;
    }
  }
  if (unitPort.empty()) return nullptr;
  for (const UnitRow& row : table.rows) {
    if (row.macAddress.empty() && Lowered(row.port) == unitPort) return &row;
  }
  return nullptr;
}

}  // namespace vqx::snapshot
