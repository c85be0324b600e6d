// The preferences file as vqxctl reads it, whatever bytes it holds: loading it, listing,
// reporting and exporting every History entry it admits to.

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/memory_file_store.h"
#include "snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vqx::MemoryFileStore store;
  store.ReplaceFile("p.cfg", data, size);
  std::string error;
  const auto block = vqx::snapshot::LoadPreferences(store, "p.cfg", &error);
  if (!block) return 0;
  // Every entry goes through the same code: a few of them keep each run quick enough
  // for the fuzzer to try many files (a full History of 200 takes it 100 times longer).
  if (block->historyCount > 4) block->historyCount = 4;
  for (const vqx::DeviceSettings& entry : vqx::snapshot::HistoryEntries(*block)) {
    (void)vqx::snapshot::HistoryListLine(entry);
  }
  (void)vqx::snapshot::HistoryReport(*block, 0, &error);
  (void)vqx::snapshot::HistoryReport(*block, 1, &error);
  (void)vqx::snapshot::HistoryToCsv(*block);
  const nlohmann::json list = vqx::snapshot::HistoryToJson(*block);
  // What export writes, import takes back.
  const std::string text = vqx::snapshot::DumpJson(list);
  const auto again = vqx::snapshot::ParseJsonText(text, &error);
  if (!again || !vqx::snapshot::HistoryEntriesFromJson(*again, &error)) __builtin_trap();
  return 0;
}
