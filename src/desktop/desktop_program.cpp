#include "desktop_program.h"

#include <QApplication>
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

// The open Qt dialog, as the host shows the search on it.
class QtSerialPortDialogView final : public ISerialPortDialogView {
 public:
  explicit QtSerialPortDialogView(SerialPortDialog& dialog) : dialog_(dialog) {}
  void ShowDetectionProgress(const std::string& text) override { dialog_.ShowDetectionProgress(text); }
  void DetectionEnded(const HostSerialChoice* found, const std::string& text) override {
    dialog_.DetectionEnded(found, text);
  }

 private:
  SerialPortDialog& dialog_;
};

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
  DetectionHooks detection;
  detection.start = run.startDetection;
  detection.cancel = run.cancelDetection;
  SerialPortDialog dialog(units_, run.stored, std::move(run.portsFound), run.apply, std::move(detection),
                          window_.get());
  QtSerialPortDialogView view(dialog);
  dialog_ = &dialog;
  run.viewChanged(&view);
  surface_->SetModalDialog(&dialog);
  if (run.detectAtOnce) QTimer::singleShot(0, &dialog, [&dialog] { dialog.StartDetection(); });
  dialog.exec();
  run.viewChanged(nullptr);
  surface_->SetModalDialog(nullptr);
  dialog_ = nullptr;
}

}  // namespace vqx::desktop
