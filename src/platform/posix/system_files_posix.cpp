#include "posix/posix_file_store.h"
#include "posix/realtime_clock.h"
#include "system_port.h"

namespace vqx {

std::unique_ptr<IFileStore> CreateSystemFileStore(const std::string& directory) {
  return std::make_unique<posix::PosixFileStore>(directory);
}

IWallClock& SystemWallClock() {
  static posix::RealtimeClock clock;
  return clock;
}

}  // namespace vqx
