// vqxsu.exe: the VQX Setup Utility's desktop program for Windows.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "system_port.h"
#include "win32/wide_text.h"
#include "program_options.h"
#include "win32_program.h"

namespace {

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
  const vqx::desktop::DesktopCommandLine line = vqx::desktop::ParseDesktopCommandLine(
      vqx::ProgramArguments(argc, argv), vqx::desktop::DesktopPlatform::Windows);
  if (line.action == vqx::desktop::DesktopCommandLine::Action::Answer) {
    Tell(line.text, line.error);
    return line.exitCode;
  }
  vqx::win32::ProgramOptions options;
  options.demo = line.demo;

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
