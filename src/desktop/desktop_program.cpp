#include "desktop_program.h"

#include <QApplication>
#include <QTimer>

#include "link/line_candidates.h"
#include "runner/sim_runner.h"
#include "system_port.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::desktop {
namespace {

std::string ExplainOpenFailure(const char* portName, const PortOpenResult& result) {
  return DescribePortOpenFailure(portName, result);
}

}  // namespace

DesktopProgram::DesktopProgram(ProgramOptions options)
    : options_(std::move(options)),
      units_(MainDialogTemplate().fontName, MainDialogTemplate().fontPointSize),
      queue_([this] { pump_->Wake(); }) {
  pump_ = std::make_unique<UiPump>(queue_);
  port_ = CreateSystemSerialPort();
  files_ = CreateSystemFileStore(options_.dataDirectory);
  link_ = std::make_unique<CSerialComm>(*port_, SystemClock());
  window_ = std::make_unique<MainWindow>(units_);
  surface_ = std::make_unique<QtWindowSurface>(queue_, window_->Client(), window_->Controls());
  dialogHost_ = std::make_unique<QtDialogHost>(units_, window_.get(), *surface_);
  AppServices services{SystemClock(), *files_, SystemWallClock(), &ExplainOpenFailure, dialogHost_.get()};
  logic_ = std::make_unique<CAppWindow>(*link_, *surface_, services);
  link_->AttachHost(logic_.get());
  app_ = std::make_unique<CApplication>(*link_, *logic_);

  surface_->SetCommandSink([this](int id, int code) { OnCommand(id, code); });
  surface_->SetTimerSink([this](int timerId) { logic_->OnTimer(timerId); });
  MainWindow::Handlers handlers;
  handlers.menuCommand = [this](int id) { OnCommand(id, kBnClicked); };
  handlers.enterKey = [this] { logic_->OnEnterKey(); };
  handlers.closing = [this] { Shutdown(); };
  handlers.sentence = [this] { return QString::fromLatin1(logic_->StatusSentence().c_str()); };
  handlers.nameLine = [this] { return QString::fromLatin1(logic_->StatusNameLine().c_str()); };
  handlers.canNameThisUnit = [this] { return !shutDown_ && logic_->CanNameThisUnit(); };
  window_->SetHandlers(std::move(handlers));
}

DesktopProgram::~DesktopProgram() {
  Shutdown();
  // Users before what they use: the worker and the window logic, then the surface and
  // its widgets, then the link they talked through.
  app_.reset();
  link_->AttachHost(nullptr);
  logic_.reset();
  dialogHost_.reset();
  surface_.reset();
  window_.reset();
  link_.reset();
  if (demo_) demo_->Stop();
}

bool DesktopProgram::Start(std::string* error) {
  if (started_) return true;
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
    logic_->SetPortOverride(demo_->SlavePath().c_str());
  }
  started_ = true;
  // A port that cannot be opened warns before the main window appears.
  logic_->StartUp();
  window_->CentreOnScreen();
  window_->show();
  logic_->InitializeWindow();
  queue_.Drain();
  app_->StartWorker();
  // A read whose escape went unanswered offers the search for the unit's line settings.
  auto* offerTimer = new QTimer(window_.get());
  QObject::connect(offerTimer, &QTimer::timeout, window_.get(), [this] {
    if (!shutDown_ && dialog_ == nullptr && logic_->OfferLineDetection()) ShowSerialPortDialog(true);
  });
  offerTimer->start(250);
  return true;
}

void DesktopProgram::OnCommand(int id, int notificationCode) {
  if (shutDown_) return;
  switch (logic_->OnCommand(id, notificationCode)) {
    case CommandOutcome::Quit:
      Shutdown();
      window_->close();
      QApplication::quit();
      break;
    case CommandOutcome::ShowSerialPortDialog: ShowSerialPortDialog(); break;
    case CommandOutcome::Handled:
    case CommandOutcome::HandledReturnOne: break;
  }
}

void DesktopProgram::ShowSerialPortDialog(bool detectAtOnce) {
  if (!logic_->BeginSerialPortDialog()) return;
  const PreferencesBlock prefs = logic_->GetPreferences();
  HostSerialChoice stored;
  stored.portName = logic_->PortNameInUse();
  stored.baudRate = prefs.baudRate;
  stored.dataBits = prefs.dataBits;
  stored.stopBits = prefs.stopBits;
  stored.parity = prefs.parity;
  std::vector<std::string> ports = options_.listPorts ? options_.listPorts() : SerialPortNamesToOffer();
  bool choiceOpened = false;
  DetectionHooks detection;
  detection.start = [this](const std::string& portName) { StartDetection(portName); };
  detection.cancel = [this] { detectCancel_ = true; };
  SerialPortDialog dialog(
      units_, stored, std::move(ports),
      [this, &choiceOpened](const HostSerialChoice& choice) {
        choiceOpened = logic_->ApplySerialPortChoice(choice.portName.c_str(), choice.baudRate, choice.dataBits,
                                                     choice.stopBits, choice.parity);
        return choiceOpened;
      },
      std::move(detection), window_.get());
  dialog_ = &dialog;
  surface_->SetModalDialog(&dialog);
  if (detectAtOnce) QTimer::singleShot(0, &dialog, [&dialog] { dialog.StartDetection(); });
  dialog.exec();
  WaitForDetectionEnd();
  surface_->SetModalDialog(nullptr);
  dialog_ = nullptr;
  logic_->EndSerialPortDialog();
  if (workerPausedForDetection_) {
    // The search had the port: without a new choice opened, the stored one comes back.
    workerPausedForDetection_ = false;
    if (!choiceOpened && !shutDown_) logic_->ReopenStoredPort();
    if (!shutDown_) app_->StartWorker();
  }
}

void DesktopProgram::StopWorkerServing() {
  // The worker may be waiting for this thread to read a control: serve it until it is out.
  app_->RequestStop();
  while (!app_->WorkerEnded()) {
    queue_.Drain();
    queue_.WaitForWork(std::chrono::milliseconds(2));
  }
  app_->JoinWorker();
  queue_.Drain();
}

void DesktopProgram::StartDetection(const std::string& portName) {
  if (detecting_) return;
  if (!workerPausedForDetection_) {
    StopWorkerServing();
    logic_->ReleasePortForDetection();
    workerPausedForDetection_ = true;
  }
  detecting_ = true;
  detectCancel_ = false;
  detectPort_ = CreateSystemSerialPort();
  detectThread_ = std::thread([this, portName] {
    LineDetector detector(*detectPort_, SystemClock());
    detector.SetCancel(&detectCancel_);
    detector.SetProgress([this](const DetectionProgress& progress) {
      queue_.Post([this, text = DetectionProgressText(progress)] {
        if (dialog_ != nullptr) dialog_->ShowDetectionProgress(text);
      });
    });
    const DetectionResult result = detector.Run(portName, false);
    queue_.Post([this, result, portName] { FinishDetection(result, portName); });
  });
}

void DesktopProgram::FinishDetection(const DetectionResult& result, const std::string& portName) {
  if (detectThread_.joinable()) detectThread_.join();
  detectPort_.reset();
  detecting_ = false;
  if (dialog_ == nullptr) return;
  const std::string unsure = result.unitLeft == UnitLeft::NotConfirmed ? " It may be in command mode." : "";
  switch (result.outcome) {
    case DetectionOutcome::Found: {
      HostSerialChoice found;
      found.portName = portName;
      found.baudRate = result.settings.baudRate;
      found.dataBits = result.settings.dataBits;
      found.stopBits = result.settings.stopBits;
      found.parity = result.settings.parity;
      dialog_->DetectionEnded(&found, "Found at " + LineSettingsText(result.settings) + ". OK stores it." + unsure);
      break;
    }
    case DetectionOutcome::NotFound:
      dialog_->DetectionEnded(nullptr, "Nothing answered at the " + std::to_string(result.triesMade) +
                                           " settings tried." + unsure);
      break;
    case DetectionOutcome::Cancelled: dialog_->DetectionEnded(nullptr, "Search stopped." + unsure); break;
    case DetectionOutcome::PortProblem:
      dialog_->DetectionEnded(nullptr, result.openResult.ok ? "The serial port was lost."
                                                            : DescribePortOpenFailure(portName, result.openResult));
      break;
  }
}

void DesktopProgram::WaitForDetectionEnd() {
  if (!detecting_) return;
  detectCancel_ = true;
  // The search ends within a reply time-out and its TRANs; its end is posted here.
  while (detecting_) {
    queue_.Drain();
    queue_.WaitForWork(std::chrono::milliseconds(10));
  }
}

void DesktopProgram::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (!started_) return;
  WaitForDetectionEnd();
  // The worker first, so that nothing new starts.
  StopWorkerServing();
  // Then this thread returns the unit to transparent mode (or warns that it could not).
  logic_->Shutdown();
  queue_.Drain();
  link_->Close();
}

}  // namespace vqx::desktop
