#include <signal.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "exit_codes.h"

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// Ctrl-C must not leave the unit in command mode: the session stops waiting and sends
// ECHO ON and TRAN before the program ends.
void OnInterrupt(int) { interrupted.store(true); }

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  InstallInterruptHandler();
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    vqx::cli::CliEnvironment env{std::cout, std::cerr};
    env.interrupt = &interrupted;
    return vqx::cli::RunVqxctl(args, env);  // catches what the commands throw
  } catch (...) {
    std::fputs("vqxctl: failed before the command started (out of memory?)\n", stderr);
    return vqx::cli::kExitFailed;
  }
}
