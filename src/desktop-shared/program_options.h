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

// args: the arguments after the program's name. --help (-h, /?) and --version answer
// with exit code 0; an unknown option is refused with the usage and exit code 2.
DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args, DesktopPlatform platform);
std::string DesktopUsage(DesktopPlatform platform);
std::string DesktopVersionLine();

}  // namespace vqx::desktop
