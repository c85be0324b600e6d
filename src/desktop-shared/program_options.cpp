#include "program_options.h"

#include "vqx_version.h"

namespace vqx::desktop {

std::string DesktopUsage(DesktopPlatform platform) {
  const bool onLinux = platform == DesktopPlatform::Linux;
  std::string usage =
      "Usage: vqxsu [--demo]\n"
      "\n"
      "Configures a VQX-2 network radio-interface unit over a serial line.\n"
      "The serial port is chosen in the program (File, Select Serial Port...) and remembered\n"
      "in VQXSU_Prefs.cfg in the working directory, beside the communication logs and\n";
  // A desktop menu entry starts vqxsu in the home folder; the Start menu's shortcut names
  // the working directory itself.
  usage += onLinux ? "History.txt (started from the desktop menu: the home folder; Help, About shows\n"
                   "the file's full path).\n"
                 : "History.txt.\n";
  usage += "\n";
  usage += onLinux ? "  --demo     talk to a simulated VQX-2 started inside the program, on a\n"
                   "             pseudo-terminal, for this run only (the stored port is kept)\n"
                 : "  --demo     talk to a simulated VQX-2 started inside the program, for this run\n"
                   "             only (the stored port is kept)\n";
  usage +=
      "  --help     show this text\n"
      "  --version  show the program's version\n";
  return usage;
}

std::string DesktopVersionLine() { return "vqxsu " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE "\n"; }

DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args, DesktopPlatform platform) {
  DesktopCommandLine line;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      line.action = DesktopCommandLine::Action::Answer;
      line.text = DesktopUsage(platform);
      return line;
    }
    if (arg == "--version") {
      line.action = DesktopCommandLine::Action::Answer;
      line.text = DesktopVersionLine();
      return line;
    }
    if (arg == "--demo") {
      line.demo = true;
      continue;
    }
    line.action = DesktopCommandLine::Action::Answer;
    line.text = "vqxsu: unknown option '" + arg + "'\n\n" + DesktopUsage(platform);
    line.error = true;
    line.exitCode = 2;
    return line;
  }
  return line;
}

}  // namespace vqx::desktop
