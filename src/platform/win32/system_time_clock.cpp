#include "win32/system_time_clock.h"

#include "win32/windows_api.h"

namespace vqx::win32 {

int64_t UnixSecondsFromFileTime(uint64_t fileTime) {
  constexpr uint64_t kIntervalsPerSecond = 10000000ULL;
  constexpr uint64_t kSeconds1601To1970 = 11644473600ULL;
  return static_cast<int64_t>(fileTime / kIntervalsPerSecond) - static_cast<int64_t>(kSeconds1601To1970);
}

int64_t SystemTimeClock::UtcSecondsNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return UnixSecondsFromFileTime((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace vqx::win32
