#include "connection_book.h"

#include <nlohmann/json.hpp>

#include "csv_cell.h"
#include "refuse.h"
#include "snapshot.h"
#include "text_codec.h"
#include "text_position.h"

namespace vqx::snapshot {

using detail::Refuse;
using nlohmann::json;

namespace {

std::string LineText(int line) { return "line " + std::to_string(line) + ": "; }

std::string CsvCell(const std::string& text) {
  return detail::CsvQuoted(detail::NeedsApostrophe(text) ? "'" + text : text);
}

// The line on which each element of the top-level array starts. The text has been
// parsed as JSON already, so strings and nesting are well formed.
std::vector<int> ElementLines(const std::string& text) {
  std::vector<int> lines;
  int line = 1;
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  bool expectElement = false;
  for (const char c : text) {
    if (c == '\n') ++line;
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (depth == 1 && expectElement && c != ']') {
      lines.push_back(line);
      expectElement = false;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      ++depth;
      if (depth == 1 && c == '[') expectElement = true;
    } else if (c == ']' || c == '}') {
      --depth;
    } else if (c == ',' && depth == 1) {
      expectElement = true;
    }
  }
  return lines;
}

// The checks every row passes, whichever file it came from.
bool CheckRow(const std::string& address, const std::string& utf8Description, int line, ConnectionRow* row,
              std::string* error) {
  std::string why;
  const std::optional<Ipv4> parsed = ParseConnectionAddress(address, &why);
  if (!parsed) return Refuse(error, LineText(line) + why);
  const std::optional<std::string> bytes = detail::Utf8ToBytes(utf8Description, &why);
  if (!bytes) return Refuse(error, LineText(line) + "description: " + why);
  if (!CheckConnectionDescription(*bytes, &why)) return Refuse(error, LineText(line) + why);
  *row = {*parsed, *bytes, line};
  return true;
}

std::string TooManyRows() {
  return "the file holds more than " + std::to_string(kRemoteConnectionCapacity) +
         " entries; the remote connection list holds at most " + std::to_string(kRemoteConnectionCapacity);
}

// A cell of an address book is an address or a description of at most 63 characters;
// one far longer is no address book's, and is refused before it is held in memory.
constexpr size_t kLongestCell = 1024;

// One RFC 4180 record at a time (line ends CR LF or LF), so that a file of millions of
// lines costs no more than its longest record: the caller checks each one as it comes
// and stops at the first bad one.
class CsvReader {
 public:
  struct Record {
    std::string cells[2];  // the first two; a record of more is refused by its count
    bool quoted[2] = {false, false};
    size_t count = 0;
    int line = 0;
  };

  explicit CsvReader(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;  // a spreadsheet's byte order mark
  }

  bool AtEnd() const { return i_ >= text_.size(); }

  // The next record into *record; false with *error set when it is malformed.
  bool Next(Record* record, std::string* error) {
    record->count = 0;
    record->line = line_;
    for (;;) {
      std::string cell;
      bool quoted = false;
      if (i_ < text_.size() && text_[i_] == '"') {
        quoted = true;
        ++i_;
        for (;;) {
          if (i_ >= text_.size()) return Refuse(error, LineText(record->line) + "a quoted cell is not closed");
          const char c = text_[i_];
          if (c == '"') {
            if (i_ + 1 < text_.size() && text_[i_ + 1] == '"') {
              if (!Append(cell, '"', record->line, error)) return false;
              i_ += 2;
              continue;
            }
            ++i_;
            break;
          }
          if (c == '\n') ++line_;
          if (!Append(cell, c, record->line, error)) return false;
          ++i_;
        }
      }
      while (i_ < text_.size() && text_[i_] != ',' && text_[i_] != '\n' &&
             !(text_[i_] == '\r' && i_ + 1 < text_.size() && text_[i_ + 1] == '\n')) {
        if (quoted) return Refuse(error, LineText(line_) + "text after the closing quote of a cell");
        if (!Append(cell, text_[i_], record->line, error)) return false;
        ++i_;
      }
      if (record->count < 2) {
        record->cells[record->count] = std::move(cell);
        record->quoted[record->count] = quoted;
      }
      ++record->count;
      if (i_ < text_.size() && text_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < text_.size() && text_[i_] == '\r') ++i_;
      if (i_ < text_.size() && text_[i_] == '\n') {
        ++i_;
        ++line_;
      }
      return true;
    }
  }

 private:
  static bool Append(std::string& cell, char c, int line, std::string* error) {
    if (cell.size() >= kLongestCell) {
      return Refuse(error, LineText(line) + "a cell longer than " + std::to_string(kLongestCell) +
                               " characters; an address book holds addresses and one-line descriptions");
    }
    cell += c;
    return true;
  }

  std::string_view text_;
  size_t i_ = 0;
  int line_ = 1;
};

std::string Lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string ConnectionsToJson(const PreferencesBlock& block) {
  json list = json::array();
  for (const RemoteConnection& entry : ConnectionsOf(block)) {
    list.push_back({{"address", detail::BytesToUtf8(entry.address)},
                    {"description", detail::BytesToUtf8(entry.description)}});
  }
  return DumpJson(list);
}

std::string ConnectionsToCsv(const PreferencesBlock& block) {
  std::string out = "address,description\r\n";
  for (const RemoteConnection& entry : ConnectionsOf(block)) {
    out += CsvCell(detail::BytesToUtf8(entry.address)) + "," + CsvCell(detail::BytesToUtf8(entry.description)) +
           "\r\n";
  }
  return out;
}

std::optional<std::vector<ConnectionRow>> ConnectionsFromJson(const std::string& text, std::string* error) {
  std::string why;
  // A few names more than an entry has, so that a stray one is still named by the row check.
  const std::optional<json> parsed =
      ParseJsonText(text, &why, {static_cast<size_t>(kRemoteConnectionCapacity), TooManyRows(), 8,
                                 "more than 8 names or list elements in one entry; an entry has \"address\" and "
                                 "\"description\""});
  if (!parsed) {
    Refuse(error, why);
    return std::nullopt;
  }
  if (!parsed->is_array()) {
    Refuse(error, std::string("expected a list of remote connections (a JSON array), not ") + parsed->type_name());
    return std::nullopt;
  }
  const std::vector<int> lines = ElementLines(text);
  std::vector<ConnectionRow> rows;
  for (size_t n = 0; n < parsed->size(); ++n) {
    const json& item = (*parsed)[n];
    const int line = n < lines.size() ? lines[n] : 0;
    if (!item.is_object()) {
      Refuse(error, LineText(line) + "expected an object {\"address\": ..., \"description\": ...}, not " +
                        item.type_name());
      return std::nullopt;
    }
    for (const auto& [key, value] : item.items()) {
      if (key != "address" && key != "description") {
        Refuse(error, LineText(line) + "unknown name \"" + key + "\"; an entry has \"address\" and \"description\"");
        return std::nullopt;
      }
      if (!value.is_string()) {
        Refuse(error, LineText(line) + key + ": expected a text, not " + value.type_name());
        return std::nullopt;
      }
    }
    if (!item.contains("address") || !item.contains("description")) {
      Refuse(error, LineText(line) + "an entry needs both \"address\" and \"description\"");
      return std::nullopt;
    }
    ConnectionRow row;
    if (!CheckRow(item["address"].get<std::string>(), item["description"].get<std::string>(), line, &row, error)) {
      return std::nullopt;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<std::vector<ConnectionRow>> ConnectionsFromCsv(const std::string& text, std::string* error) {
  if (!detail::RefuseNulByte(text, error)) return std::nullopt;
  CsvReader reader(text);
  CsvReader::Record record;
  if (reader.AtEnd()) {
    Refuse(error, "line 1: expected the header line address,description");
    return std::nullopt;
  }
  if (!reader.Next(&record, error)) return std::nullopt;
  if (record.count != 2 || Lowered(record.cells[0]) != "address" || Lowered(record.cells[1]) != "description") {
    Refuse(error, "line 1: expected the header line address,description");
    return std::nullopt;
  }
  std::vector<ConnectionRow> rows;
  while (!reader.AtEnd()) {
    if (!reader.Next(&record, error)) return std::nullopt;
    if (record.count == 1 && record.cells[0].empty() && !record.quoted[0]) continue;  // a blank line
    if (record.count != 2) {
      Refuse(error, LineText(record.line) + "expected 2 cells (address,description), found " +
                        std::to_string(record.count));
      return std::nullopt;
    }
    if (rows.size() == static_cast<size_t>(kRemoteConnectionCapacity)) {
      Refuse(error, LineText(record.line) + TooManyRows());
      return std::nullopt;
    }
    std::string description = std::move(record.cells[1]);
    if (description.size() >= 2 && description[0] == '\'' &&
        detail::NeedsApostrophe(std::string_view(description).substr(1))) {
      description.erase(0, 1);
    }
    ConnectionRow row;
    if (!CheckRow(record.cells[0], description, record.line, &row, error)) return std::nullopt;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> DuplicateRowWarnings(const std::vector<ConnectionRow>& rows) {
  std::vector<std::string> warnings;
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t earlier = 0; earlier < i; ++earlier) {
      if (rows[earlier].address != rows[i].address) continue;
      warnings.push_back(LineText(rows[i].line) + FormatConnectionAddress(rows[i].address) + " is already on line " +
                         std::to_string(rows[earlier].line) + "; only the first entry of an address is used");
      break;
    }
  }
  return warnings;
}

}  // namespace vqx::snapshot
