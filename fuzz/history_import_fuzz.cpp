// vqxctl history import, whatever the JSON file holds: every entry checked, appended to
// a preferences file in memory, and the file written only when all of it was taken.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/preferences_block.h"
#include "port/memory_file_store.h"
#include "snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto j = vqx::snapshot::ParseJsonText(text, &error);
  if (!j) return 0;

  auto block = std::make_unique<vqx::PreferencesBlock>();
  std::memset(block.get(), 0, sizeof(vqx::PreferencesBlock));
  block->formatMark = vqx::kPreferencesFormatMark;
  block->historyCount = 198;
  vqx::MemoryFileStore store;
  store.ReplaceFile("p.cfg", block.get(), sizeof(vqx::PreferencesBlock));

  int imported = -1;
  const bool ok = vqx::snapshot::ImportHistory(store, "p.cfg", *j, &error, &imported);
  const auto after = vqx::snapshot::LoadPreferences(store, "p.cfg", &error);
  if (!after) __builtin_trap();
  // All or nothing, and never past the History's 200 entries.
  if (after->historyCount != 198 + (ok ? imported : 0) || after->historyCount > vqx::kHistoryCapacity) {
    __builtin_trap();
  }
  return 0;
}
