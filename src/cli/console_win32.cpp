#include "console.h"
#include "win32/windows_api.h"

namespace vqx::cli {
namespace {

std::atomic<bool>* target = nullptr;

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (target != nullptr) target->store(true);
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;  // handled: the program goes on and ends in order
    default:
      // The console window is closing (or the user logs off): Windows ends the process
      // when this returns, or a few seconds later. Waiting here gives the session that
      // time to send ECHO ON and TRAN; the process ends when main returns.
      ::Sleep(INFINITE);
      return TRUE;
  }
}

}  // namespace

void InstallInterruptHandler(std::atomic<bool>* interrupted) {
  target = interrupted;
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void PrepareConsoleOutput() { ::SetConsoleOutputCP(CP_UTF8); }

bool StandardOutputIsTerminal() {
  // GetConsoleMode succeeds on a console handle only; a redirected one is a file or pipe.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace vqx::cli
