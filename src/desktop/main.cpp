// vqxsu: the VQX Setup Utility's desktop program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include "desktop_program.h"
#include "signal_bridge.h"
#include "system_port.h"
#include "vqx_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: vqxsu [--demo]\n"
    "\n"
    "Configures a VQX-2 network radio-interface unit over a serial line.\n"
    "The serial port is chosen in the program (File, Select Serial Port...) and remembered\n"
    "in VQXSU_Prefs.cfg in the working directory, beside the communication logs and\n"
    "History.txt (started from the desktop menu: the home folder; Help, About shows\n"
    "the file's full path).\n"
    "\n"
    "  --demo     talk to a simulated VQX-2 started inside the program, on a\n"
    "             pseudo-terminal, for this run only (the stored port is kept)\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n";

bool HasDisplay() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  bool demo = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("vqxsu " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE);
      return 0;
    }
    if (arg == "--demo") {
      demo = true;
      continue;
    }
    std::fprintf(stderr, "vqxsu: unknown option '%s'\n\n%s", arg.c_str(), kUsage);
    return 2;
  }
  if (!HasDisplay()) {
    std::fputs(
        "vqxsu: no graphical display was found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
        "Start it from a desktop session, or on a virtual display:\n"
        "    xvfb-run -a vqxsu --demo\n"
        "The command-line tool needs no display:  vqxctl read --demo\n",
        stderr);
    return 1;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral(VQX_VERSION));
  // Lets a Wayland desktop find the menu entry, and with it the icon, of this window.
  QApplication::setDesktopFileName(QStringLiteral("vqxsu"));
  // The installed icon (packaging/vqxsu.svg) for the window on X11; none from a build tree.
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vqxsu")));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  vqx::desktop::ProgramOptions options;
  options.demo = demo;
  vqx::desktop::DesktopProgram program(std::move(options));
  // As closing the window, also while a dialog or a message box is open: every window
  // closes (the main window's close runs the orderly stop), then the loop ends.
  vqx::desktop::SignalBridge signalBridge([&program](bool hungUp) {
    // Nobody may be there to answer a box (a logout, a service manager's stop): what a box
    // would say goes to standard error, unless the terminal hung up (a write could fail or
    // wait for ever), and the program ends within its time-outs. A question keeps what is
    // on disk.
    program.Surface().SetMessageBoxAnswerer([hungUp](const vqx::desktop::QtWindowSurface::MessageBoxRecord& box) {
      std::string text = box.text;
      std::replace(text.begin(), text.end(), '\r', ' ');
      if (!hungUp) std::fprintf(stderr, "vqxsu: %s\n", text.c_str());
      return box.buttons == vqx::MessageButtons::YesNo ? vqx::kAnswerYes : 1;
    });
    QApplication::closeAllWindows();
    QApplication::quit();
  });
  std::string error;
  if (!program.Start(&error)) {
    std::fprintf(stderr, "vqxsu: %s\n", error.c_str());
    return 1;
  }
  const int code = QApplication::exec();
  program.Shutdown();
  return code;
}
