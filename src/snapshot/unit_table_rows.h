#pragma once

// What the two readers of a unit table (CSV and JSON) share: which names a row may give,
// and the checks every row passes whichever file it came from.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "field_table.h"
#include "unit_table.h"

namespace vqx::snapshot::detail {

inline constexpr std::string_view kMacColumn = "macAddress";
inline constexpr std::string_view kPortColumn = "port";

// A row holds at most every field and companion text plus its two keys. Far more is no table.
size_t MostUnitColumns();

std::string Lowered(std::string_view text);
// Without the spaces and tabs around it.
std::string_view Trimmed(std::string_view text);
std::string Quoted(std::string_view text);
std::string TooManyRows();

// What two port names must share to be one port: the port they open (COM1 is /dev/ttyS0
// on Linux, ttyUSB0 is /dev/ttyUSB0, COM3 is \\.\COM3 on Windows), in any case.
std::string PortKey(std::string_view port);

// The field a row may set under name (a field's own name or its companion text's, with
// *companion then true), or null with why it may not in *why.
const Field* SettableField(std::string_view name, bool* companion, std::string* why);

// FromJson's refusal ("vocoder: 9 is not offered...") without the field's name, which the
// caller has already put in its place; the name it gave into *key.
std::string WithoutKey(const std::string& why, std::string* key);

// The checks every row passes, from either kind of file: a key, no MAC or port twice, no
// name or ipAddress on two rows. Keeps what it has seen of every row before.
class RowChecker {
 public:
  // where(row.line, key) names the place of a row's key or field in the file: "line 4,
  // column 2 (name)" or "entry 4, name"; with an empty key the row alone: "line 4" or
  // "entry 4". placeWord is "line" or "entry". Adds the row to rows when it passes.
  // Messages are built only for a refusal: a table of a hundred thousand rows has few.
  using Where = std::function<std::string(size_t line, std::string_view key)>;
  bool Add(UnitRow&& row, const Where& where, const char* placeWord, std::vector<UnitRow>& rows, std::string* error);
  // Room for about rows rows, so that the maps are not built again and again as they grow.
  void Expect(size_t rows);

 private:
  std::unordered_map<std::string, size_t> macs_, ports_, names_, addresses_;
};

// The CSV form: a header line, then a row per unit.
std::optional<UnitTable> ParseUnitTableCsv(std::string_view text, std::string* error);

}  // namespace vqx::snapshot::detail
