// vqxsu.exe: the VQX Setup Utility's desktop program for Windows.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "system_port.h"
#include "win32/wide_text.h"
#include "vqx_version.h"
#include "win32_program.h"

namespace {

constexpr const char* kUsage =
    "Usage: vqxsu [--demo]\n"
    "\n"
    "Configures a VQX-2 network radio-interface unit over a serial line.\n"
    "The serial port is chosen in the program (File, Select Serial Port...) and remembered\n"
    "in VQXSU_Prefs.cfg in the working directory, beside the communication logs and\n"
    "History.txt.\n"
    "\n"
    "  --demo     talk to a simulated VQX-2 started inside the program, for this run\n"
    "             only (the stored port is kept)\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n";
constexpr const char* kVersion = "vqxsu " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE "\n";

// A program without a console of its own writes to the console it was started from, if
// any; otherwise the text is shown in a box.
void Tell(const std::string& text, bool error) {
  if (AttachConsole(ATTACH_PARENT_PROCESS) && std::freopen("CONOUT$", "w", error ? stderr : stdout) != nullptr) {
    std::fputs(text.c_str(), error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
    return;
  }
  // The program's own words and the arguments given: system texts, UTF-8.
  MessageBoxW(nullptr, vqx::win32::WidenUtf8(text).c_str(), L"VQX Setup Utility",
              error ? MB_ICONERROR : MB_ICONINFORMATION);
}

}  // namespace

int main(int argc, char** argv) {
  vqx::win32::ProgramOptions options;
  for (const std::string& arg : vqx::ProgramArguments(argc, argv)) {
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      Tell(kUsage, false);
      return 0;
    }
    if (arg == "--version") {
      Tell(kVersion, false);
      return 0;
    }
    if (arg == "--demo") {
      options.demo = true;
      continue;
    }
    Tell("vqxsu: unknown option '" + arg + "'\n\n" + kUsage, true);
    return 2;
  }

  // The window thread is a single-threaded apartment: the port name box's suggestions
  // are the system's auto-complete, a COM object.
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  int status = 1;
  {
    vqx::win32::Win32Program program(std::move(options));
    std::string error;
    if (program.Start(&error)) {
      status = program.Run();
    } else {
      Tell("vqxsu: " + error + "\n", true);
    }
  }
  if (com) CoUninitialize();
  return status;
}
