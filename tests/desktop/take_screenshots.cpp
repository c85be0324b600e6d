// Takes the README's pictures: the three views against the simulated unit and the
// serial port dialog, as PNG files in the directory given (default docs/).
// Run with QT_QPA_PLATFORM=offscreen, or on a display.

#include <cstdio>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include "desktop_program.h"
#include "runner/sim_runner.h"
#include "window/control_ids.h"

using namespace vqx;
using namespace vqx::desktop;

namespace {

bool Save(QWidget& widget, const std::filesystem::path& file) {
  const bool ok = widget.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", ok ? "wrote" : "could not write", file.string().c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const std::filesystem::path out = argc > 1 ? argv[1] : "docs";
  std::filesystem::create_directories(out);
  const std::filesystem::path data = std::filesystem::temp_directory_path() / "vqxsu-screenshots";
  std::filesystem::remove_all(data);
  std::filesystem::create_directories(data);

  ProgramOptions options;
  options.demo = true;
  options.dataDirectory = data.string();
  options.tuneDemoUnit = [](sim::SimConfig& config) {
    config.settings.Load(*sim::SettingsModel::Find("NAME"), "Tower 2");
    config.peer.status = sim::PeerStatus::Connected;
  };
  options.listPorts = [] { return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0"}; };
  DesktopProgram program(std::move(options));
  program.Surface().SetMessageBoxAnswerer([](const QtWindowSurface::MessageBoxRecord&) { return 1; });
  std::string error;
  if (!program.Start(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!QTest::qWaitFor([&] { return program.Logic().IsUnitIdle(); }, 30000)) {
    std::fprintf(stderr, "the simulated unit was not read\n");
    return 1;
  }
  QTest::qWait(200);
  bool ok = Save(program.Window(), out / "vqxsu-settings.png");

  QTest::mouseClick(qobject_cast<QWidget*>(program.Window().Controls().at(ids::kViewHistory)), Qt::LeftButton);
  QTest::mouseClick(qobject_cast<QWidget*>(program.Window().Controls().at(ids::kAddCurrent)), Qt::LeftButton);
  program.Surface().SetCurrentSelection(ids::kHistoryList, 1);
  program.Logic().ShowSettingsReport();
  QTest::qWait(100);
  ok = Save(program.Window(), out / "vqxsu-history.png") && ok;

  QTest::mouseClick(qobject_cast<QWidget*>(program.Window().Controls().at(ids::kViewTerminal)), Qt::LeftButton);
  QTest::keyClicks(program.Window().Controls().at(ids::kCommandEntry), "stat");
  QTest::qWait(100);
  ok = Save(program.Window(), out / "vqxsu-terminal.png") && ok;

  QTimer::singleShot(100, [&] {
    if (SerialPortDialog* dialog = program.OpenSerialPortDialog()) {
      ok = Save(*dialog, out / "vqxsu-serial-port.png") && ok;
      dialog->reject();
    }
  });
  program.ShowSerialPortDialog();
  program.Shutdown();
  std::filesystem::remove_all(data);
  return ok ? 0 : 1;
}
