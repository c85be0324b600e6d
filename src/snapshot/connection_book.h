#pragma once

// The remote connection list of a preferences file as an address book file, JSON or CSV,
// so that a fleet's list can be kept in version control and loaded into any machine.
//
// JSON: an array of objects {"address": "10.0.0.5", "description": "Tower"}, in list
// order. CSV: a header line "address,description", then one row per entry; a cell with a
// comma, a quote or a leading apostrophe is quoted, and one that a spreadsheet would run
// as a formula (= + - @) gets a leading apostrophe that reading drops again. Texts are
// UTF-8 in the files and single bytes (U+0001..U+00FF) in the preferences file.

#include <optional>
#include <string>
#include <vector>

#include "app/preferences_block.h"
#include "app/remote_connections.h"

namespace vqx::snapshot {

// One row of a book file, checked: line is where the row starts in the file.
struct ConnectionRow {
  Ipv4 address{};
  std::string description;  // single-byte text
  int line = 0;
};

std::string ConnectionsToJson(const PreferencesBlock& block);
std::string ConnectionsToCsv(const PreferencesBlock& block);

// Every row is checked as the dialogs check an entry (address four numbers 0..255,
// description one line of 1..63 characters); the first bad row refuses the whole file,
// and *error names its line ("line 4: ..."). At most 256 rows.
std::optional<std::vector<ConnectionRow>> ConnectionsFromJson(const std::string& text, std::string* error);
std::optional<std::vector<ConnectionRow>> ConnectionsFromCsv(const std::string& text, std::string* error);

// Rows whose address an earlier row already holds: "line 7: 10.0.0.5 ...", one per row.
std::vector<std::string> DuplicateRowWarnings(const std::vector<ConnectionRow>& rows);

}  // namespace vqx::snapshot
