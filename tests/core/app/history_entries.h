#pragma once

// A created window with History entries put in place, for the History, report and
// preferences tests.

#include <cstring>
#include <string>
#include <vector>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "support/sample_settings.h"

namespace vqx::testing {

inline DeviceSettings MakeEntry(const char* serial, const char* name, uint8_t lastOctet) {
  return Record(serial, name, {10, 0, 0, lastOctet}, 1221);
}

inline int32_t Int32At(const std::string& file, size_t offset) {
  int32_t value = 0;
  std::memcpy(&value, file.data() + offset, sizeof(value));
  return value;
}

class HistoryFixture : public AppScriptedTest {
 protected:
  void SetUp() override { ASSERT_TRUE(window.Create()); }
  void Store(const std::vector<DeviceSettings>& entries) {
    PreferencesBlock& prefs = CAppWindowTestAccess::Preferences(window);
    std::copy(entries.begin(), entries.end(), prefs.history);
    // As in a file this program wrote: nothing past the count.
    std::fill(prefs.history + entries.size(), prefs.history + kHistoryCapacity, DeviceSettings{});
    prefs.historyCount = static_cast<int32_t>(entries.size());
    window.RefillHistoryList();
  }
  std::string LastBox() {
    const auto boxes = surface.MessageBoxes();
    if (boxes.empty()) return "(no box)";
    const auto& b = boxes.back();
    EXPECT_EQ(b.owner, MessageOwner::MainWindow);
    EXPECT_EQ(b.caption, "VQX Setup Utility");
    return b.text + (b.icon == MessageIcon::Warning ? " [warning]" : b.icon == MessageIcon::Information ? " [info]" : "");
  }
};

}  // namespace vqx::testing
