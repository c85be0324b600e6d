#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "console.h"

namespace vqx::cli {
namespace {

std::atomic<bool>* interruptTarget = nullptr;
std::atomic<bool>* hangUpTarget = nullptr;
pthread_t mainThread;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The main thread may be blocked writing to a stopped terminal; only a signal it takes
// itself makes that write give up (EINTR), so a signal another thread took is passed on.
void PassToMainThread(int signalNumber) {
  if (!pthread_equal(pthread_self(), mainThread)) pthread_kill(mainThread, signalNumber);
}

void OnInterrupt(int signalNumber) {
  if (interruptTarget != nullptr) interruptTarget->store(true);
  PassToMainThread(signalNumber);
}

void OnHangUp(int signalNumber) {
  // Hung up first: the session's "Interrupted" message must already find the terminal gone.
  if (hangUpTarget != nullptr) hangUpTarget->store(true);
  if (interruptTarget != nullptr) interruptTarget->store(true);
  PassToMainThread(signalNumber);
}

// No SA_RESTART: a write to a stopped terminal that the signal interrupts gives up
// instead of holding the program on its way to the unit.
void Catch(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signalNumber, &action, nullptr);
}

bool IgnoredAtStart(int signalNumber) {
  struct sigaction current {};
  return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void InstallInterruptHandler(std::atomic<bool>* interrupted, std::atomic<bool>* hungUp) {
  interruptTarget = interrupted;
  hangUpTarget = hungUp;
  mainThread = pthread_self();
  Catch(SIGINT, &OnInterrupt);
  Catch(SIGTERM, &OnInterrupt);
  // nohup (or a service manager) ignores SIGHUP on purpose: the read then goes on.
  if (!IgnoredAtStart(SIGHUP)) Catch(SIGHUP, &OnHangUp);
  // A pipe whose reader is gone (a pager or tee that the hang-up ended) must not end the
  // program before the unit is back in transparent mode: the write fails instead.
  signal(SIGPIPE, SIG_IGN);
}

void UnitReleased() {}

void PrepareConsoleOutput() {}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

namespace {

int ColumnsOf(int fd) {
  if (::isatty(fd) != 1) return 0;
  struct winsize size {};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  // A terminal that does not report its size (a serial console): the shell's idea of it.
  const char* columns = std::getenv("COLUMNS");
  if (columns == nullptr) return 0;
  char* end = nullptr;
  const long value = std::strtol(columns, &end, 10);
  return *end == '\0' && value > 0 && value < 10000 ? static_cast<int>(value) : 0;
}

}  // namespace

int ConsoleColumns() { return ColumnsOf(STDOUT_FILENO); }

int ErrorConsoleColumns() { return ColumnsOf(STDERR_FILENO); }

}  // namespace vqx::cli
