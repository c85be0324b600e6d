#pragma once

#include <string>
#include <vector>

namespace vqx::desktop {

// The two desktop programs take the same options; their usage differs only where their
// platforms do (the simulated unit's line, where a desktop start keeps the files).
enum class DesktopPlatform { Linux, Windows };

struct DesktopCommandLine {
  enum class Action { Run, Answer };
  Action action = Action::Run;
  bool demo = false;  // Run: --demo was given
  // Answer: what to tell the user instead of starting (the usage, the version, or why an
  // option was refused), whether it is an error, and the exit code.
  std::string text;
  bool error = false;
  int exitCode = 0;
};

// How a desktop program runs, from its command line.
struct RunOptions {
  // Talk to a simulated VQX-2 started inside the program, for this run only (the stored
  // port is kept): on a pseudo-terminal on Linux, on an in-process line on Windows.
  bool demo = false;
  // Where the preferences, communication logs and History.txt live; empty: the working
  // directory.
  std::string dataDirectory;
};

// args: the arguments after the program's name. --help (-h, /?) and --version answer
// with exit code 0; an unknown option is refused with the usage and exit code 2.
DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args, DesktopPlatform platform);
std::string DesktopUsage(DesktopPlatform platform);
std::string DesktopVersionLine();

}  // namespace vqx::desktop
