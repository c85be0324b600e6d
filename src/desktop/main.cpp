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
#include "program_options.h"
#include "signal_bridge.h"
#include "system_port.h"
#include "vqx_version.h"

namespace {

bool HasDisplay() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  const vqx::desktop::DesktopCommandLine line =
      vqx::desktop::ParseDesktopCommandLine(vqx::ProgramArguments(argc, argv), vqx::desktop::DesktopPlatform::Linux);
  if (line.action == vqx::desktop::DesktopCommandLine::Action::Answer) {
    std::fputs(line.text.c_str(), line.error ? stderr : stdout);
    return line.exitCode;
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
  options.demo = line.demo;
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
