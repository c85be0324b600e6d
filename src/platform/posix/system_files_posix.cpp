#include "posix/posix_file_store.h"
#include "posix/realtime_clock.h"
#include "system_port.h"

#include <cstdlib>

namespace vqx {

std::unique_ptr<IFileStore> CreateSystemFileStore(const std::string& directory) {
  return std::make_unique<posix::PosixFileStore>(directory);
}

// A POSIX name is bytes; the path keeps them as they are.
std::filesystem::path PathFromText(const std::string& text) { return std::filesystem::path(text); }
std::string TextOfPath(const std::filesystem::path& path) { return path.native(); }

IWallClock& SystemWallClock() {
  static posix::RealtimeClock clock;
  return clock;
}

std::string UserHomeDirectory() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

}  // namespace vqx
