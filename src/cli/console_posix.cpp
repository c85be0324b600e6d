#include <signal.h>
#include <unistd.h>

#include "console.h"

namespace vqx::cli {
namespace {

std::atomic<bool>* target = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int) {
  if (target != nullptr) target->store(true);
}

}  // namespace

void InstallInterruptHandler(std::atomic<bool>* interrupted) {
  target = interrupted;
  struct sigaction action {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void PrepareConsoleOutput() {}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace vqx::cli
