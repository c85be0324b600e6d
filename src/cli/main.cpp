#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "console.h"
#include "exit_codes.h"

namespace {

// Ctrl-C must not leave the unit in command mode: the session stops waiting and sends
// ECHO ON and TRAN before the program ends.
std::atomic<bool> interrupted{false};

}  // namespace

int main(int argc, char** argv) {
  vqx::cli::InstallInterruptHandler(&interrupted);
  vqx::cli::PrepareConsoleOutput();
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    vqx::cli::CliEnvironment env{std::cout, std::cerr};
    env.interrupt = &interrupted;
    env.outIsTerminal = vqx::cli::StandardOutputIsTerminal();
    return vqx::cli::RunVqxctl(args, env);  // catches what the commands throw
  } catch (...) {
    std::fputs("vqxctl: failed before the command started (out of memory?)\n", stderr);
    return vqx::cli::kExitFailed;
  }
}
