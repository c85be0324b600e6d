#pragma once

// The console control handler of console_win32.cpp, for the tests that deliver the
// console's events themselves (Wine sends no close or logoff event).

#include <cstdint>

#include "app/app_window.h"
#include "link/serial_comm.h"
#include "win32/windows_api.h"

namespace vqx::cli {

// How long a closing console's handler holds the process for the unit: the session sees
// the interruption within moments and its leave takes at most LeaveLimitMs; the reply time-out
// is the margin for a loaded machine. Windows' own limit (about five seconds for a
// closing console and for a logoff) may end the process sooner; returning earlier would
// only cut the leave short.
inline constexpr uint32_t kClosingConsoleWaitMs = CAppWindow::LeaveLimitMs() + kReplyTimeoutMs;

// Runs on a thread Windows starts for the event. Ctrl-C and Ctrl-Break return at once; a
// closing console, a logoff or a shutdown return once UnitReleased() was called, or after
// kClosingConsoleWaitMs, and Windows then ends the process.
BOOL WINAPI OnConsoleEvent(DWORD event);

}  // namespace vqx::cli
