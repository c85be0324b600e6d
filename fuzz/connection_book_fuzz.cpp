// vqxctl connections import and export, whatever the file holds: the first byte picks
// CSV or JSON, the rest is the file. A file that is taken goes into a preferences block;
// its CSV and its JSON export must both import back to the same rows.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/preferences_block.h"
#include "app/remote_connections.h"
#include "connection_book.h"

namespace {

using vqx::snapshot::ConnectionRow;

bool SameRows(const std::vector<ConnectionRow>& a, const std::vector<ConnectionRow>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].address != b[i].address || a[i].description != b[i].description) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool csv = (data[0] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string error;
  const std::optional<std::vector<ConnectionRow>> rows =
      csv ? vqx::snapshot::ConnectionsFromCsv(text, &error) : vqx::snapshot::ConnectionsFromJson(text, &error);
  if (!rows) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  if (rows->size() > static_cast<size_t>(vqx::kRemoteConnectionCapacity)) __builtin_trap();

  auto block = std::make_unique<vqx::PreferencesBlock>();
  std::memset(block.get(), 0, sizeof(vqx::PreferencesBlock));
  block->formatMark = vqx::kPreferencesFormatMark;
  std::vector<std::pair<vqx::Ipv4, std::string>> entries;
  for (const ConnectionRow& row : *rows) entries.emplace_back(row.address, row.description);
  // Every row passed the dialogs' checks: the list takes all of them.
  if (!vqx::ReplaceConnections(*block, entries, &error)) __builtin_trap();

  const std::string asCsv = vqx::snapshot::ConnectionsToCsv(*block);
  const std::string asJson = vqx::snapshot::ConnectionsToJson(*block);
  const auto fromCsv = vqx::snapshot::ConnectionsFromCsv(asCsv, &error);
  const auto fromJson = vqx::snapshot::ConnectionsFromJson(asJson, &error);
  if (!fromCsv || !fromJson) __builtin_trap();
  if (!SameRows(*rows, *fromCsv) || !SameRows(*rows, *fromJson)) __builtin_trap();
  return 0;
}
