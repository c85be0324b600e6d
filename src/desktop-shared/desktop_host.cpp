#include "desktop_host.h"

#include "detection_texts.h"
#include "window/control_ids.h"

namespace vqx::desktop {

DesktopHost::DesktopHost(IDesktopFrontEnd& frontEnd, UiCallQueue& queue, HostServices services)
    : frontEnd_(frontEnd), queue_(queue), services_(std::move(services)) {}

DesktopHost::~DesktopHost() {
  Shutdown();
  app_.reset();
  if (logic_) link_->AttachHost(nullptr);
  logic_.reset();
  dialogHost_.reset();
  surface_.reset();
  link_.reset();
  port_.reset();
}

void DesktopHost::Build(std::unique_ptr<ISerialPort> port) {
  if (logic_) return;
  port_ = std::move(port);
  link_ = std::make_unique<CSerialComm>(*port_, services_.clock);
  surface_ = frontEnd_.CreateSurface(queue_);
  dialogHost_ = frontEnd_.CreateDialogHost(*surface_);
  AppServices services{services_.clock, services_.files, services_.wallClock, services_.explainOpenFailure,
                       dialogHost_.get()};
  logic_ = std::make_unique<CAppWindow>(*link_, *surface_, services);
  link_->AttachHost(logic_.get());
  app_ = std::make_unique<CApplication>(*link_, *logic_);
}

void DesktopHost::Start() {
  if (started_ || !logic_) return;
  started_ = true;
  // A port that cannot be opened warns before the main window appears.
  logic_->StartUp();
  frontEnd_.ShowMainWindow();
  logic_->InitializeWindow();
  queue_.Drain();
  frontEnd_.MainWindowFilled();
  app_->StartWorker();
  frontEnd_.StartPeriodicTimer(kOfferPeriod, [this] { CheckDetectionOffer(); });
}

void DesktopHost::OnCommand(int id, int notificationCode) {
  if (shutDown_ || !logic_) return;
  switch (logic_->OnCommand(id, notificationCode)) {
    case CommandOutcome::Quit:
      Shutdown();
      frontEnd_.CloseMainWindow();
      break;
    case CommandOutcome::ShowSerialPortDialog: ShowSerialPortDialog(); break;
    case CommandOutcome::Handled:
    case CommandOutcome::HandledReturnOne: break;
  }
}

void DesktopHost::OnTimer(int timerId) {
  if (!shutDown_ && logic_) logic_->OnTimer(timerId);
}

void DesktopHost::OnEnterKey() {
  if (!shutDown_ && logic_) logic_->OnEnterKey();
}

void DesktopHost::CheckDetectionOffer() {
  if (shutDown_ || !logic_ || serialDialogOpen_ || frontEnd_.OtherDialogOpen()) return;
  if (logic_->OfferLineDetection()) ShowSerialPortDialog(true);
}

std::vector<StatusMenuItem> DesktopHost::StatusPanelMenu() const {
  return desktop::StatusPanelMenu(!shutDown_ && logic_ && logic_->CanNameThisUnit());
}

void DesktopHost::OnStatusPanelDoubleClick() {
  if (!shutDown_ && logic_ && logic_->CanNameThisUnit()) OnCommand(ids::kMenuNameThisUnit, kBnClicked);
}

void DesktopHost::ShowSerialPortDialog(bool detectAtOnce) {
  if (shutDown_ || !logic_ || serialDialogOpen_ || !logic_->BeginSerialPortDialog()) return;
  serialDialogOpen_ = true;
  const PreferencesBlock prefs = logic_->GetPreferences();
  SerialPortDialogRun run;
  run.stored.portName = logic_->PortNameInUse();
  run.stored.baudRate = prefs.baudRate;
  run.stored.dataBits = prefs.dataBits;
  run.stored.stopBits = prefs.stopBits;
  run.stored.parity = prefs.parity;
  if (services_.listPorts) run.portsFound = services_.listPorts();
  run.detectAtOnce = detectAtOnce;
  bool choiceOpened = false;
  run.apply = [this, &choiceOpened](const HostSerialChoice& choice) {
    choiceOpened = logic_->ApplySerialPortChoice(choice.portName.c_str(), choice.baudRate, choice.dataBits,
                                                 choice.stopBits, choice.parity);
    return choiceOpened;
  };
  run.startDetection = [this](const std::string& portName) { StartDetection(portName); };
  run.cancelDetection = [this] { detectCancel_ = true; };
  run.viewChanged = [this](ISerialPortDialogView* view) {
    if (view == nullptr) WaitForDetectionEnd();
    view_ = view;
  };
  frontEnd_.RunSerialPortDialog(run);
  WaitForDetectionEnd();
  view_ = nullptr;
  serialDialogOpen_ = false;
  logic_->EndSerialPortDialog();
  if (workerPausedForDetection_) {
    // The search had the port: without a new choice opened, the stored one comes back.
    workerPausedForDetection_ = false;
    if (!choiceOpened && !shutDown_) logic_->ReopenStoredPort();
    if (!shutDown_) app_->StartWorker();
  }
}

void DesktopHost::ServeCalls(std::chrono::milliseconds wait) {
  queue_.Drain();
  if (wait.count() > 0) queue_.WaitForWork(wait);
}

void DesktopHost::StopWorkerServing() {
  if (!app_) return;
  app_->StopWorkerServing([this](std::chrono::milliseconds wait) { ServeCalls(wait); });
}

void DesktopHost::StartDetection(const std::string& portName) {
  if (detecting_ || shutDown_ || !services_.createDetectionPort) return;
  if (!workerPausedForDetection_) {
    StopWorkerServing();
    logic_->ReleasePortForDetection();
    workerPausedForDetection_ = true;
  }
  detecting_ = true;
  detectCancel_ = false;
  detectPort_ = services_.createDetectionPort();
  detectThread_ = std::thread([this, portName] {
    LineDetector detector(*detectPort_, services_.clock);
    detector.SetCancel(&detectCancel_);
    detector.SetProgress([this](const DetectionProgress& progress) {
      queue_.Post([this, text = DetectionProgressText(progress)] {
        if (view_ != nullptr) view_->ShowDetectionProgress(text);
      });
    });
    const DetectionResult result = detector.Run(portName, false);
    queue_.Post([this, result, portName] { FinishDetection(result, portName); });
  });
}

void DesktopHost::FinishDetection(const DetectionResult& result, const std::string& portName) {
  if (detectThread_.joinable()) detectThread_.join();
  detectPort_.reset();
  detecting_ = false;
  if (view_ == nullptr) return;
  const DetectionEnd end = DescribeDetectionEnd(result, portName, services_.explainOpenFailure);
  view_->DetectionEnded(end.found ? &*end.found : nullptr, end.text);
}

void DesktopHost::WaitForDetectionEnd() {
  if (!detecting_) return;
  detectCancel_ = true;
  // The search ends within a reply time-out and its TRANs; its end is posted here.
  while (detecting_) ServeCalls(std::chrono::milliseconds(10));
}

void DesktopHost::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (!started_) return;
  frontEnd_.StopPeriodicTimer();
  WaitForDetectionEnd();
  // The worker first, so that nothing new starts; then this thread returns the unit to
  // transparent mode (or warns that it could not) and closes the port.
  app_->Shutdown([this](std::chrono::milliseconds wait) { ServeCalls(wait); });
}

}  // namespace vqx::desktop
