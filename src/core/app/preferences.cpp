#include <cstring>
#include <memory>

#include "app/app_window.h"

namespace vqx {

namespace {

void ApplyDefaults(PreferencesBlock& block) {
  block.formatMark = kPreferencesFormatMark;
  block.view = kViewSettings;
  block.baudRate = 9600;
  block.dataBits = 8;
  block.stopBits = 1;
  block.parity = 'N';
  std::memset(block.portName, 0, sizeof(block.portName));
  std::strcpy(block.portName, "COM1");
  block.connectionCount = 0;
  block.historyCount = 0;
  // The slots of both lists stay as they are: nothing reads past the counts.
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

// A file is the block's memory image, so anything in it can be wrong: bound every
// count and terminate every text that is read later, before the block is used.
void Sanitize(PreferencesBlock& block) {
  block.historyCount = Clamp(block.historyCount, 0, kHistoryCapacity);
  block.connectionCount = Clamp(block.connectionCount, 0, kRemoteConnectionCapacity);
  if (block.view != kViewSettings && block.view != kViewTerminal && block.view != kViewHistory) {
    block.view = kViewSettings;
  }
  block.portName[sizeof(block.portName) - 1] = '\0';
  for (int32_t i = 0; i < block.connectionCount; ++i) {
    const auto slot = static_cast<size_t>(i);
    block.connectionAddresses[slot][sizeof(block.connectionAddresses[slot]) - 1] = '\0';
    block.connectionDescriptions[slot][sizeof(block.connectionDescriptions[slot]) - 1] = '\0';
  }
}

}  // namespace

void CAppWindow::LoadPreferences() {
  // 86 KB: on the heap, not on the user-interface thread's stack.
  auto scratch = std::make_unique<PreferencesBlock>();
  const int64_t read = services_.files.ReadFile(kPreferencesFileName, scratch.get(), sizeof(PreferencesBlock));
  // A short file leaves the rest of the block undefined: it counts as not valid.
  const bool usable = read == static_cast<int64_t>(sizeof(PreferencesBlock)) &&
                      scratch->formatMark == kPreferencesFormatMark;
  if (usable) Sanitize(*scratch);

  std::lock_guard lock(stateMutex_);
  if (usable) {
    std::memcpy(prefs_.get(), scratch.get(), sizeof(PreferencesBlock));
  } else {
    ApplyDefaults(*prefs_);
  }
}

bool CAppWindow::SavePreferences() {
  auto copy = std::make_unique<PreferencesBlock>();
  {
    std::lock_guard lock(stateMutex_);
    std::memcpy(copy.get(), prefs_.get(), sizeof(PreferencesBlock));
  }
  // The store writes a temporary file and renames it over the old one, so a failed
  // save leaves the previous preferences in place.
  return services_.files.ReplaceFile(kPreferencesFileName, copy.get(), sizeof(PreferencesBlock));
}

}  // namespace vqx
