#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "console.h"
#include "exit_codes.h"
#include "hang_up_stream.h"
#include "help_text.h"
#include "system_port.h"

namespace {

// Ctrl-C, SIGTERM or a hang-up must not leave the unit in command mode: the session stops
// waiting and sends ECHO ON and TRAN before the program ends.
std::atomic<bool> interrupted{false};
std::atomic<bool> hungUp{false};

}  // namespace

int main(int argc, char** argv) {
  vqx::cli::InstallInterruptHandler(&interrupted, &hungUp);
  vqx::cli::PrepareConsoleOutput();
  int code = vqx::cli::kExitFailed;
  try {
    // File names and other system texts are UTF-8 inside the program on every system.
    const std::vector<std::string> args = vqx::ProgramArguments(argc, argv);
    vqx::cli::HangUpGuardBuffer outBuffer(std::cout.rdbuf(), &hungUp);
    vqx::cli::HangUpGuardBuffer errBuffer(std::cerr.rdbuf(), &hungUp);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    err.setf(std::ios::unitbuf);  // progress shows at once, as on std::cerr
    vqx::cli::CliEnvironment env{out, err};
    env.interrupt = &interrupted;
    env.outIsTerminal = vqx::cli::StandardOutputIsTerminal();
    env.in = &std::cin;
    env.inIsTerminal = vqx::cli::StandardInputIsTerminal();
    env.helpWidth = vqx::cli::HelpWidth(vqx::cli::ConsoleColumns());
    env.errIsTerminal = vqx::cli::StandardErrorIsTerminal();
    if (const int columns = vqx::cli::ErrorConsoleColumns(); columns > 0) env.errColumns = static_cast<size_t>(columns);
    code = vqx::cli::RunVqxctl(args, env);  // catches what the commands throw
    out.flush();
  } catch (...) {
    if (!hungUp.load()) std::fputs("vqxctl: failed before the command started (out of memory?)\n", stderr);
  }
  vqx::cli::UnitReleased();
  // An interruption that was a hang-up says so; a unit left in command mode keeps its 8.
  if (code == vqx::cli::kExitInterrupted && hungUp.load()) code = vqx::cli::kExitHungUp;
  return code;
}
