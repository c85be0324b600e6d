// A unit table for vqxctl fleet, whatever the file holds. A refusal always says why; a
// table that is taken keeps its promises: every row names its unit, no two rows name the
// same unit, MAC, port, name or address, and each row is found again by its own keys.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "unit_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<vqx::snapshot::UnitTable> table = vqx::snapshot::ParseUnitTable(text, &error);
  if (!table) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  if (table->rows.size() > vqx::snapshot::kMostUnitRows) __builtin_trap();
  std::set<std::string> names;
  for (const vqx::snapshot::UnitRow& row : table->rows) {
    if (row.macAddress.empty() && row.port.empty()) __builtin_trap();
    if (!row.macAddress.empty() && vqx::snapshot::NormaliseMac(row.macAddress) != row.macAddress) __builtin_trap();
    for (const char* identity : {"macAddress", "serialNumber", "firmwareVersion", "dhcp"}) {
      if (row.values.Has(identity)) __builtin_trap();
    }
    if (row.values.Has("name") && !names.insert(row.values.values.name).second) __builtin_trap();
    // A row keyed by MAC is found by it on its own port (or any, when it names none).
    if (vqx::snapshot::FindUnitRow(*table, row.macAddress, row.port) != &row) __builtin_trap();
  }
  return 0;
}
