#include "desktop_program.h"

#include <QApplication>
#include <QCompleter>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include "runner/sim_runner.h"
#include "system_port.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {
namespace {

std::string ExplainOpenFailure(const char* portName, const PortOpenResult& result) {
  return DescribePortOpenFailure(portName, result);
}

// What the template cannot say: the serial ports found, offered as the user types and
// shown as the name box's tip, and the name's length, which the preferences file holds.
void DecorateSerialPortDialog(const std::vector<std::string>& portsFound, const std::map<int, QWidget*>& controls) {
  auto* name = static_cast<QLineEdit*>(controls.at(ids::kSerialPortName));
  name->setMaxLength(kPortNameCapacity);
  // Enter is OK's, never Detect's.
  static_cast<QPushButton*>(controls.at(ids::kDialogOk))->setAutoDefault(true);
  QStringList found;
  for (const std::string& port : portsFound) found << QString::fromLatin1(port.c_str());
  if (found.isEmpty()) return;
  auto* completer = new QCompleter(found, name);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  completer->setFilterMode(Qt::MatchContains);
  name->setCompleter(completer);
  name->setToolTip(QStringLiteral("Serial ports found:\n") + found.join(QLatin1Char('\n')));
}

}  // namespace

DesktopProgram::DesktopProgram(ProgramOptions options)
    : options_(std::move(options)),
      units_(MainDialogTemplate().fontName, MainDialogTemplate().fontPointSize),
      queue_([this] { pump_->Wake(); }) {
  pump_ = std::make_unique<UiPump>(queue_);
  files_ = CreateSystemFileStore(options_.dataDirectory);
  window_ = std::make_unique<MainWindow>(units_);
  HostServices services{SystemClock(), *files_, SystemWallClock(), &ExplainOpenFailure, &CreateSystemSerialPort,
                        options_.listPorts ? options_.listPorts : &SerialPortNamesToOffer};
  host_ = std::make_unique<DesktopHost>(static_cast<IDesktopFrontEnd&>(*this), queue_, std::move(services));
  host_->Build(CreateSystemSerialPort());

  surface_->SetCommandSink([this](int id, int code) { host_->OnCommand(id, code); });
  surface_->SetTimerSink([this](int timerId) { host_->OnTimer(timerId); });
  MainWindow::Handlers handlers;
  handlers.menuCommand = [this](int id) { host_->OnCommand(id, kBnClicked); };
  handlers.enterKey = [this] { host_->OnEnterKey(); };
  handlers.closing = [this] { host_->Shutdown(); };
  handlers.sentence = [this] { return QString::fromLatin1(host_->Logic().StatusSentence().c_str()); };
  handlers.nameLine = [this] { return QString::fromLatin1(host_->Logic().StatusNameLine().c_str()); };
  handlers.portLine = [this] { return QString::fromLatin1(host_->Logic().StatusPortLine().c_str()); };
  handlers.statusMenu = [this] { return host_->StatusPanelMenu(); };
  handlers.statusDoubleClick = [this] { host_->OnStatusPanelDoubleClick(); };
  window_->SetHandlers(std::move(handlers));
}

DesktopProgram::~DesktopProgram() {
  // The host stops and lets go of the surface before the widgets go.
  host_.reset();
  window_.reset();
  if (demo_) demo_->Stop();
}

std::unique_ptr<IWindowSurface> DesktopProgram::CreateSurface(UiCallQueue& queue) {
  auto surface = std::make_unique<QtWindowSurface>(queue, window_->Client(), window_->Controls());
  surface_ = surface.get();
  return surface;
}

std::unique_ptr<IDialogHost> DesktopProgram::CreateDialogHost(IWindowSurface&) {
  auto dialogs = std::make_unique<QtDialogHost>(units_, window_.get(), *surface_);
  dialogHost_ = dialogs.get();
  return dialogs;
}

bool DesktopProgram::Start(std::string* error) {
  if (host_->Started()) return true;
  if (options_.demo) {
    sim::SimConfig config;
    if (options_.tuneDemoUnit) options_.tuneDemoUnit(config);
    demo_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string why;
    if (!demo_->Start(&why)) {
      if (error) *error = "The simulated VQX-2 could not be started: " + why;
      demo_.reset();
      return false;
    }
    host_->Logic().SetPortOverride(demo_->SlavePath().c_str());
  }
  host_->Start();
  return true;
}

void DesktopProgram::ShowMainWindow() {
  window_->CentreOnScreen();
  window_->show();
}

void DesktopProgram::CloseMainWindow() {
  window_->close();
  QApplication::quit();
}

void DesktopProgram::StartPeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick) {
  offerTimer_ = new QTimer(window_.get());
  QObject::connect(offerTimer_, &QTimer::timeout, window_.get(), std::move(tick));
  offerTimer_->start(static_cast<int>(period.count()));
}

void DesktopProgram::StopPeriodicTimer() {
  if (offerTimer_ != nullptr) offerTimer_->stop();
}

bool DesktopProgram::OtherDialogOpen() const { return dialogHost_ != nullptr && dialogHost_->OpenDialog() != nullptr; }

void DesktopProgram::RunSerialPortDialog(SerialPortDialogRun& run) {
  SerialPortDialogLogic logic(run);
  serialLogic_ = &logic;
  dialogHost_->RunModal(logic, [&run](QDialog&, const std::map<int, QWidget*>& controls) {
    DecorateSerialPortDialog(run.portsFound, controls);
  });
  serialLogic_ = nullptr;
}

}  // namespace vqx::desktop
