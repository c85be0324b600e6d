#include "console.h"
#include "console_events_win32.h"

namespace vqx::cli {
namespace {

std::atomic<bool>* interruptTarget = nullptr;
std::atomic<bool>* hangUpTarget = nullptr;
// Manual reset: every handler thread waiting, and any that comes later, sees it.
HANDLE unitReleased = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

}  // namespace

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (interruptTarget != nullptr) interruptTarget->store(true);
      return TRUE;  // handled: the program goes on and ends in order
    default:
      // The console window is closing, the user logs off or the machine shuts down:
      // Windows ends the process when this returns. The main thread returns the unit to
      // transparent mode meanwhile; a handler must not end the process itself.
      if (hangUpTarget != nullptr) hangUpTarget->store(true);
      if (interruptTarget != nullptr) interruptTarget->store(true);
      if (unitReleased != nullptr) ::WaitForSingleObject(unitReleased, kClosingConsoleWaitMs);
      return TRUE;
  }
}

void InstallInterruptHandler(std::atomic<bool>* interrupted, std::atomic<bool>* hungUp) {
  interruptTarget = interrupted;
  hangUpTarget = hungUp;
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void UnitReleased() {
  if (unitReleased != nullptr) ::SetEvent(unitReleased);
}

void PrepareConsoleOutput() { ::SetConsoleOutputCP(CP_UTF8); }

bool StandardOutputIsTerminal() {
  // GetConsoleMode succeeds on a console handle only; a redirected one is a file or pipe.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool StandardErrorIsTerminal() {
  // Cursor movement needs virtual terminal processing (Windows 10 and later); a console
  // that refuses it gets the line-per-change form instead of escape codes shown as text.
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(err, &mode) == 0) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int ErrorConsoleColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) == 0) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int ConsoleColumns() {
  if (!StandardOutputIsTerminal()) return 0;
  // The visible window, not the screen buffer: the buffer may be far wider than what shows.
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace vqx::cli
