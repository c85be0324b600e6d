// Takes the README's pictures: the three views against the simulated unit and the
// serial port dialog and the remote connection list, as PNG files in the directory given (default docs/).
// Run with QT_QPA_PLATFORM=offscreen, or on a display.

#include <cstdio>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QListWidget>
#include <QPainter>
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
    if (QDialog* dialog = program.OpenSerialPortDialog()) {
      ok = Save(*dialog, out / "vqxsu-serial-port.png") && ok;
      dialog->reject();
    }
  });
  program.ShowSerialPortDialog();

  // The remote connection list, with the unit's peer (10.1.2.3) among its entries, over
  // the main window that names the peer.
  const std::pair<Ipv4, const char*> entries[] = {
      {{10, 1, 2, 3}, "Relay North (mast 2)"}, {{10, 1, 2, 4}, "Relay South"}, {{192, 168, 40, 7}, "Depot dispatcher"}};
  for (const auto& [address, description] : entries) program.Logic().StoreConnection(-1, {}, address, description);
  QTimer::singleShot(200, [&] {
    if (QDialog* dialog = program.Dialogs().OpenDialog()) {
      if (auto* list = qobject_cast<QListWidget*>(program.Dialogs().Control(ids::kConnectionList))) list->setCurrentRow(0);
      QTest::qWait(100);
      // Offscreen windows have no frame: the dialog is drawn over the main window with a
      // plain title bar of its own.
      QPixmap picture = program.Window().grab();
      const QPixmap inner = dialog->grab();
      const QPoint at(70, 120);
      constexpr int kTitle = 24;
      QPainter painter(&picture);
      const QRect frame(at.x() - 1, at.y() - kTitle - 1, inner.width() + 2, inner.height() + kTitle + 2);
      painter.fillRect(frame, QColor(70, 90, 120));
      painter.setPen(Qt::white);
      painter.drawText(QRect(at.x() + 8, at.y() - kTitle, inner.width() - 16, kTitle), Qt::AlignVCenter | Qt::AlignLeft,
                       dialog->windowTitle());
      painter.drawPixmap(at, inner);
      painter.end();
      const std::filesystem::path file = out / "vqxsu-connections.png";
      const bool saved = picture.save(QString::fromStdString(file.string()));
      std::printf("%s %s\n", saved ? "wrote" : "could not write", file.string().c_str());
      ok = saved && ok;
      dialog->reject();
    }
  });
  program.Window().MenuAction(ids::kMenuRemoteConnections)->trigger();
  program.Shutdown();
  std::filesystem::remove_all(data);
  return ok ? 0 : 1;
}
