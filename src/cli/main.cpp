#include <signal.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace {

// Ctrl-C must not leave the unit in command mode: the session stops waiting and sends
// ECHO ON and TRAN before the program ends.
void OnInterrupt(int) { vqx::cli::RequestInterrupt(); }

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
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  vqx::cli::CliEnvironment env{std::cout, std::cerr};
  return vqx::cli::RunVqxctl(args, env);
}
