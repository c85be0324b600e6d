#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "app/app_window.h"

namespace vqx {

// The tests' way into the window logic's state: what the program itself never reads from
// outside, and the settings and read marks a test sets directly instead of reading a unit.
class CAppWindowTestAccess {
 public:
  static bool OwnCommand(const CAppWindow& w) { return w.ownCommand_.load(); }
  static bool FullReadActive(const CAppWindow& w) { return w.fullReadActive_.load(); }
  static int32_t PendingQuery(const CAppWindow& w) { return w.pendingQuery_.load(); }
  static int32_t IdlePasses(const CAppWindow& w) { return w.idlePasses_.load(); }
  static std::string PendingArgument(const CAppWindow& w) {
    std::lock_guard lock(w.stateMutex_);
    return std::string(w.pendingArgument_);
  }
  // The remembered remote connections and History, edited in place.
  static PreferencesBlock& Preferences(CAppWindow& w) { return *w.prefs_; }
  static void SetCurrentSettings(CAppWindow& w, const DeviceSettings& settings) {
    std::lock_guard lock(w.stateMutex_);
    w.currentSettings_ = settings;
  }
  static void SetReadMark(CAppWindow& w, int index, ReadMark mark) {
    w.settingReadState_[static_cast<size_t>(index)].store(mark);
  }
};

}  // namespace vqx
