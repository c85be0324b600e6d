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
// A row has two cells; a few more are still counted for the refusal, a line of a million
// commas is not.
constexpr size_t kMostCells = 64;

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
  detail::CsvRecordReader reader(text, kMostCells, kLongestCell,
                                 "an address book holds addresses and one-line descriptions");
  std::vector<std::string> cells;
  size_t line = 0;
  if (reader.AtEnd()) {
    Refuse(error, "line 1: expected the header line address,description");
    return std::nullopt;
  }
  if (!reader.Next(&cells, &line, error)) return std::nullopt;
  if (cells.size() != 2 || Lowered(cells[0]) != "address" || Lowered(cells[1]) != "description") {
    Refuse(error, "line 1: expected the header line address,description");
    return std::nullopt;
  }
  std::vector<ConnectionRow> rows;
  while (!reader.AtEnd()) {
    if (!reader.Next(&cells, &line, error)) return std::nullopt;
    const int at = static_cast<int>(line);
    if (cells.size() == 1 && cells[0].empty() && !reader.Quoted(0)) continue;  // a blank line
    if (cells.size() != 2) {
      Refuse(error, LineText(at) + "expected 2 cells (address,description), found " + std::to_string(cells.size()));
      return std::nullopt;
    }
    if (rows.size() == static_cast<size_t>(kRemoteConnectionCapacity)) {
      Refuse(error, LineText(at) + TooManyRows());
      return std::nullopt;
    }
    std::string description = std::move(cells[1]);
    if (description.size() >= 2 && description[0] == '\'' &&
        detail::NeedsApostrophe(std::string_view(description).substr(1))) {
      description.erase(0, 1);
    }
    ConnectionRow row;
    if (!CheckRow(cells[0], description, at, &row, error)) return std::nullopt;
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
