#include "system_port.h"

#include "win32/process_text.h"
#include "win32/system_time_clock.h"
#include "win32/wide_text.h"
#include "win32/win32_file_store.h"

namespace vqx {

std::unique_ptr<IFileStore> CreateSystemFileStore(const std::string& directory) {
  return std::make_unique<win32::Win32FileStore>(directory);
}

std::filesystem::path PathFromText(const std::string& text) { return std::filesystem::path(win32::WidenUtf8(text)); }
std::string TextOfPath(const std::filesystem::path& path) { return win32::NarrowToUtf8(path.native()); }

IWallClock& SystemWallClock() {
  static win32::SystemTimeClock clock;
  return clock;
}

std::string UserHomeDirectory() {
  return win32::EnvironmentText(win32::RealWin32Calls(), L"USERPROFILE");
}

}  // namespace vqx
