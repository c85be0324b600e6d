#include "system_port.h"

#include <cstdlib>

#include "win32/system_time_clock.h"
#include "win32/win32_file_store.h"

namespace vqx {

std::unique_ptr<IFileStore> CreateSystemFileStore(const std::string& directory) {
  return std::make_unique<win32::Win32FileStore>(directory);
}

IWallClock& SystemWallClock() {
  static win32::SystemTimeClock clock;
  return clock;
}

std::string UserHomeDirectory() {
  const char* home = std::getenv("USERPROFILE");
  return home != nullptr ? home : "";
}

}  // namespace vqx
