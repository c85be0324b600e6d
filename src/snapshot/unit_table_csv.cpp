// A unit table as CSV: a header line of macAddress and/or port and field names, then one
// row per unit, read one record at a time.

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "csv_cell.h"
#include "field_json.h"
#include "refuse.h"
#include "unit_table_rows.h"

namespace vqx::snapshot::detail {

using nlohmann::json;

namespace {

// A cell at most a 63-character text in UTF-8 (two bytes a character above U+007F).
constexpr size_t kLongestCell = 1024;

struct Column {
  enum class Role { Mac, Port, Value };
  Role role = Role::Value;
  std::string name;
  const Field* field = nullptr;
  size_t fieldIndex = 0;   // in Fields()
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
      column.fieldIndex = static_cast<size_t>(column.field - Fields().data());
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
      if (cell.size() >= 2 && cell[0] == '\'' && NeedsApostrophe(std::string_view(cell).substr(1))) {
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
  RowValues() : slots_(Fields().size()) {}

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
      const Field& f = Fields()[index];
      std::string why;
      if (ok && !ParseFieldJson(slot.value.column != kNone ? &slot.value.text : nullptr,
                                        slot.companion.column != kNone ? &slot.companion.text : nullptr, f,
                                        out->values, &why)) {
        std::string key;
        const std::string reason = WithoutKey(why, &key);
        const bool companionAtFault = key == CompanionKey(f) || slot.value.column == kNone;
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
  CsvRecordReader reader(text, MostUnitColumns(), kLongestCell);
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
  checker.Expect(std::min(lines, kMostUnitRows));
  const RowChecker::Where where = [&columns](size_t at, std::string_view key) {
    for (size_t n = 0; n < columns.size() && !key.empty(); ++n) {
      if (columns[n].name == key) return CsvPlace(at, n + 1, key);
    }
    return "line " + std::to_string(at);
  };
  RowValues values;
  while (!reader.AtEnd()) {
    if (!reader.Next(&cells, &line, error)) return std::nullopt;
    if (cells.size() == 1 && cells[0].empty() && !reader.Quoted(0)) continue;  // a blank line
    if (cells.size() != columns.size()) {
      Refuse(error, "line " + std::to_string(line) + ": " + std::to_string(cells.size()) +
                        " cells, but the header has " + std::to_string(columns.size()) + " columns");
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
    if (!checker.Add(std::move(row), where, "line", table.rows, error)) return std::nullopt;
  }
  return table;
}
}  // namespace

std::optional<UnitTable> ParseUnitTableCsv(std::string_view text, std::string* error) { return ParseCsv(text, error); }

}  // namespace vqx::snapshot::detail
