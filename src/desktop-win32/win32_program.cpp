#include "win32_program.h"

#include <windowsx.h>

#include <chrono>

#include "command_routing.h"
#include "control_mapping.h"
#include "dialog_builder.h"
#include "runner/sim_runner.h"
#include "serial_port_dialog_win32.h"
#include "status_paint_win32.h"
#include "system_port.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

constexpr int kIconResource = 1;
constexpr UINT kRefitMessage = Win32UiPump::kWakeMessage + 1;
// Asks the window logic whether an unanswered read offers the search (far from its timers).
constexpr UINT_PTR kOfferTimerId = 0x7102;
// What the logoff screen shows while the unit is returned to transparent mode.
constexpr const wchar_t* kEndSessionReason = L"Returning the VQX-2 unit to transparent mode";
constexpr UINT kOfferPeriodMs = 250;

std::string ExplainOpenFailure(const char* portName, const PortOpenResult& result) {
  return DescribePortOpenFailure(portName, result);
}

bool IsPushButton(HWND window) {
  if (!HasWindowClass(window, L"Button")) return false;
  const LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

Win32Program::Win32Program(ProgramOptions options)
    : options_(std::move(options)), queue_([this] { pump_.Wake(); }), pump_(queue_) {
  files_ = CreateSystemFileStore(options_.dataDirectory);
}

Win32Program::~Win32Program() {
  Shutdown();
  // Users before what they use: the worker and the window logic, then the surface and
  // its window, then the link they talked through.
  app_.reset();
  if (logic_) link_->AttachHost(nullptr);
  logic_.reset();
  dialogHost_.reset();
  surface_.reset();
  if (window_ != nullptr) DestroyWindow(window_);
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
  link_.reset();
  port_.reset();
  if (demo_) demo_->Stop();
}

bool Win32Program::CreateMainWindow(std::string* error) {
  const std::vector<DWORD> layout =
      BuildDialogTemplate(MainDialogTemplate(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER);
  window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()),
                                       nullptr, &DialogProc, reinterpret_cast<LPARAM>(this));
  if (window_ == nullptr) {
    if (error) *error = "The main window could not be created (error " + std::to_string(GetLastError()) + ").";
    return false;
  }
  pump_.Attach(window_);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  bigIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  if (bigIcon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  if (smallIcon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  PrepareMainWindowControls(window_);
  BuildMenu();
  FitClientToTemplate(true);
  return true;
}

void Win32Program::BuildMenu() {
  const HMENU bar = CreateMenu();
  for (const MenuPopupTemplate& popup : MainMenuTemplate()) {
    const HMENU menu = CreatePopupMenu();
    for (const MenuItemTemplate& item : popup.items) {
      if (item.text == nullptr) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      AppendMenuW(menu, UINT{MF_STRING} | (item.greyed ? UINT{MF_GRAYED} : 0u), static_cast<UINT_PTR>(item.id),
                  WidenLatin1(item.text).c_str());
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), WidenLatin1(popup.text).c_str());
  }
  SetMenu(window_, bar);
}

void Win32Program::FitClientToTemplate(bool centre) {
  // The menu bar took its height from the client area: give it back, so the client area
  // is the template's size in the dialog font's units, at whatever DPI the window has.
  RECT wanted{0, 0, MainDialogTemplate().width, MainDialogTemplate().height};
  MapDialogRect(window_, &wanted);
  RECT client;
  GetClientRect(window_, &client);
  RECT outer;
  GetWindowRect(window_, &outer);
  const int width = (outer.right - outer.left) + (wanted.right - client.right);
  const int height = (outer.bottom - outer.top) + (wanted.bottom - client.bottom);
  // Centred on the work area of the window's monitor.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int x = work.left + ((work.right - work.left) - width) / 2;
  const int y = work.top + ((work.bottom - work.top) - height) / 2;
  if (!centre) {
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    return;
  }
  SetWindowPos(window_, nullptr, x < work.left ? work.left : x, y < work.top ? work.top : y, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Program::Start(std::string* error) {
  if (started_) return true;
  if (options_.demo) {
    if (!StartDemoUnit(error)) return false;
  } else {
    port_ = CreateSystemSerialPort();
  }
  link_ = std::make_unique<CSerialComm>(*port_, SystemClock());
  if (!CreateMainWindow(error)) return false;
  surface_ = std::make_unique<Win32WindowSurface>(queue_, window_);
  surface_->SetAfterMessageBox([this] {
    // Posted, not called: the logic that showed the box goes on first.
    if (closeAfterMessageBox_ && window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    closeAfterMessageBox_ = false;
  });
  dialogHost_ = std::make_unique<Win32DialogHost>(window_, *surface_);
  AppServices services{SystemClock(), *files_, SystemWallClock(), &ExplainOpenFailure, dialogHost_.get()};
  logic_ = std::make_unique<CAppWindow>(*link_, *surface_, services);
  link_->AttachHost(logic_.get());
  app_ = std::make_unique<CApplication>(*link_, *logic_);
  if (!demoPortName_.empty()) logic_->SetPortOverride(demoPortName_.c_str());

  started_ = true;
  // A port that cannot be opened warns before the main window appears.
  logic_->StartUp();
  ShowWindow(window_, SW_SHOW);
  logic_->InitializeWindow();
  queue_.Drain();
  UpdateWindow(window_);
  app_->StartWorker();
  SetTimer(window_, kOfferTimerId, kOfferPeriodMs, nullptr);
  return true;
}

int Win32Program::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (TakeEnterKey(msg)) continue;
    if (window_ != nullptr && IsDialogMessageW(window_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Shutdown();
  return static_cast<int>(msg.wParam);
}

bool Win32Program::TakeEnterKey(const MSG& msg) {
  if (window_ == nullptr || msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
  if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
  if (!shutDown_) logic_->OnEnterKey();
  // A push button with the focus is still pressed by its Enter.
  return !IsPushButton(msg.hwnd);
}

INT_PTR CALLBACK Win32Program::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    return TRUE;
  }
  auto* self = reinterpret_cast<Win32Program*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr || self->window_ != window) return FALSE;
  return self->HandleMessage(message, wParam, lParam);
}

INT_PTR Win32Program::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case Win32UiPump::kWakeMessage: pump_.OnWakeMessage(); return TRUE;
    case WM_TIMER:
      if (wParam == Win32UiPump::kAppendTimerId) {
        pump_.OnAppendTimer();
      } else if (wParam == kOfferTimerId) {
        // A read whose escape went unanswered offers the search for the unit's line settings.
        if (logic_ && !shutDown_ && modalDialog_ == nullptr && dialogHost_->OpenDialog() == nullptr &&
            logic_->OfferLineDetection()) {
          ShowSerialPortDialog(true);
        }
      } else if (logic_ && !shutDown_) {
        logic_->OnTimer(static_cast<int>(wParam));
      }
      return TRUE;
    case WM_COMMAND: OnControlCommand(wParam, lParam); return TRUE;
    case WM_LBUTTONDBLCLK:
      OnStatusPanelDoubleClick({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return TRUE;
    case WM_CONTEXTMENU: return OnStatusPanelContextMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) ? TRUE : FALSE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window_, &paint);
      Paint(dc);
      EndPaint(window_, &paint);
      return TRUE;
    }
    case WM_PRINTCLIENT:
      // A themed group box draws its parent's background behind itself this way.
      Paint(reinterpret_cast<HDC>(wParam));
      return TRUE;
    case WM_CLOSE: Close(); return TRUE;
    case WM_DPICHANGED:
      // The dialog manager rescales the dialog and its controls to the new screen's DPI
      // (per-monitor aware, version 2); the menu bar's new height is given back to the
      // client area once it has.
      PostMessageW(window_, kRefitMessage, 0, 0);
      return FALSE;
    case kRefitMessage: FitClientToTemplate(false); return TRUE;
    case WM_QUERYENDSESSION:
      // The session may end: WM_ENDSESSION returns the unit. That can take longer than the
      // few seconds Windows gives a program before it offers to end it, so until then the
      // logoff screen says what this one is doing instead of counting it as hung.
      if (started_ && !shutDown_) ::ShutdownBlockReasonCreate(window_, kEndSessionReason);
      ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != 0 && surface_) {
        // Nobody is there to answer a box while the session ends: a question keeps what
        // is on disk, and the unit is still returned to transparent mode.
        surface_->SetMessageBoxAnswerer([](const Win32WindowSurface::MessageBoxRecord& box) {
          return box.buttons == MessageButtons::YesNo ? kAnswerYes : kAnswerOk;
        });
        Shutdown();
      }
      // Done, or the end was called off: nothing holds the session any longer.
      if (window_ != nullptr) ::ShutdownBlockReasonDestroy(window_);
      return TRUE;
    case WM_DESTROY:
      window_ = nullptr;
      pump_.Attach(nullptr);
      PostQuitMessage(0);
      return TRUE;
    default: return FALSE;
  }
}

void Win32Program::OnControlCommand(WPARAM wParam, LPARAM lParam) {
  if (const auto command = RouteCommand(wParam, lParam, surface_ && surface_->InProgrammaticChange())) {
    OnCommand(command->id, command->code);
  }
}

void Win32Program::OnCommand(int id, int notificationCode) {
  if (shutDown_ || !logic_) return;
  switch (logic_->OnCommand(id, notificationCode)) {
    case CommandOutcome::Quit: Close(); break;
    case CommandOutcome::ShowSerialPortDialog: ShowSerialPortDialog(); break;
    case CommandOutcome::Handled:
    case CommandOutcome::HandledReturnOne: break;
  }
}

void Win32Program::ShowSerialPortDialog(bool detectAtOnce) {
  if (!logic_->BeginSerialPortDialog()) return;
  const PreferencesBlock prefs = logic_->GetPreferences();
  HostSerialChoice stored;
  stored.portName = logic_->PortNameInUse();
  stored.baudRate = prefs.baudRate;
  stored.dataBits = prefs.dataBits;
  stored.stopBits = prefs.stopBits;
  stored.parity = prefs.parity;
  SerialPortDialogHooks hooks;
  hooks.portsFound = SerialPortNamesToOffer();
  bool choiceOpened = false;
  hooks.apply = [this, &choiceOpened](const HostSerialChoice& choice) {
    choiceOpened = logic_->ApplySerialPortChoice(choice.portName.c_str(), choice.baudRate, choice.dataBits,
                                                 choice.stopBits, choice.parity);
    return choiceOpened;
  };
  hooks.startDetection = [this](const std::string& portName) { StartDetection(portName); };
  hooks.cancelDetection = [this] { detectCancel_ = true; };
  hooks.detectAtOnce = detectAtOnce;
  hooks.opened = [this](HWND dialog) {
    modalDialog_ = dialog;
    surface_->SetModalDialog(dialog);
  };
  hooks.closed = [this] {
    // A search still running ends before the dialog's window is gone.
    WaitForDetectionEnd();
    modalDialog_ = nullptr;
    surface_->SetModalDialog(nullptr);
  };
  RunSerialPortDialog(window_, stored, std::move(hooks));
  WaitForDetectionEnd();
  logic_->EndSerialPortDialog();
  if (workerPausedForDetection_) {
    // The search had the port: without a new choice opened, the stored one comes back.
    workerPausedForDetection_ = false;
    if (!choiceOpened && !shutDown_) logic_->ReopenStoredPort();
    if (!shutDown_) app_->StartWorker();
  }
}

void Win32Program::StopWorkerServing() {
  // The worker may be waiting for this thread to read a control: serve it until it is out.
  app_->RequestStop();
  while (!app_->WorkerEnded()) {
    queue_.Drain();
    queue_.WaitForWork(std::chrono::milliseconds(2));
  }
  app_->JoinWorker();
  queue_.Drain();
}

void Win32Program::StartDetection(const std::string& portName) {
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
        if (modalDialog_ != nullptr) ShowDetectionProgress(modalDialog_, text);
      });
    });
    const DetectionResult result = detector.Run(portName, false);
    queue_.Post([this, result, portName] { FinishDetection(result, portName); });
  });
}

void Win32Program::FinishDetection(const DetectionResult& result, const std::string& portName) {
  if (detectThread_.joinable()) detectThread_.join();
  detectPort_.reset();
  detecting_ = false;
  if (modalDialog_ == nullptr) return;
  const std::string unsure = result.unitLeft == UnitLeft::NotConfirmed ? " It may be in command mode." : "";
  switch (result.outcome) {
    case DetectionOutcome::Found: {
      HostSerialChoice found;
      found.portName = portName;
      found.baudRate = result.settings.baudRate;
      found.dataBits = result.settings.dataBits;
      found.stopBits = result.settings.stopBits;
      found.parity = result.settings.parity;
      DetectionEnded(modalDialog_, &found, "Found at " + LineSettingsText(result.settings) + ". OK stores it." + unsure);
      break;
    }
    case DetectionOutcome::NotFound:
      DetectionEnded(modalDialog_, nullptr,
                     "Nothing answered at the " + std::to_string(result.triesMade) + " settings tried." + unsure);
      break;
    case DetectionOutcome::Cancelled: DetectionEnded(modalDialog_, nullptr, "Search stopped." + unsure); break;
    case DetectionOutcome::PortProblem:
      DetectionEnded(modalDialog_, nullptr,
                     result.openResult.ok ? "The serial port was lost."
                                          : DescribePortOpenFailure(portName, result.openResult));
      break;
  }
}

void Win32Program::WaitForDetectionEnd() {
  if (!detecting_) return;
  detectCancel_ = true;
  // The search ends within a reply time-out and its TRANs; its end is posted here.
  while (detecting_) {
    queue_.Drain();
    queue_.WaitForWork(std::chrono::milliseconds(10));
  }
}

void Win32Program::OnStatusPanelDoubleClick(POINT where) {
  const RECT area = StatusPanelArea(window_);
  if (shutDown_ || !logic_ || !PtInRect(&area, where)) return;
  if (logic_->CanNameThisUnit()) OnCommand(ids::kMenuNameThisUnit, kBnClicked);
}

bool Win32Program::OnStatusPanelContextMenu(POINT screenPoint) {
  if (shutDown_ || !logic_) return false;
  POINT where = screenPoint;
  ScreenToClient(window_, &where);
  const RECT area = StatusPanelArea(window_);
  if (!PtInRect(&area, where)) return false;
  const HMENU menu = CreatePopupMenu();
  if (logic_->CanNameThisUnit()) AppendMenuW(menu, MF_STRING, ids::kMenuNameThisUnit, L"Name this unit...");
  AppendMenuW(menu, MF_STRING, ids::kMenuRemoteConnections, L"Remote Connections...");
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screenPoint.x,
                                    screenPoint.y, 0, window_, nullptr);
  DestroyMenu(menu);
  if (chosen != 0) OnCommand(chosen, kBnClicked);
  return true;
}

bool Win32Program::StartDemoUnit(std::string* error) {
  // Windows has no pseudo-terminals: the simulated unit serves an in-process line, and
  // the program's port is one that reaches it by the line's name.
  demo_ = std::make_unique<sim::SimRunner>(sim::SimConfig{});
  std::string why;
  if (!demo_->Start(&why)) {
    if (error) *error = "The simulated VQX-2 could not be started: " + why;
    demo_.reset();
    return false;
  }
  port_ = demo_->CreateHostPort();
  demoPortName_ = demo_->SlavePath();
  return true;
}

void Win32Program::Close() {
  const bool dialogOpen = (dialogHost_ && dialogHost_->OpenDialog() != nullptr) || modalDialog_ != nullptr;
  if (dialogOpen && surface_ && surface_->ShowingMessageBox()) {
    // A warning is up over the dialog and the dialog's logic waits in it: a Cancel now
    // would run that logic inside itself, and a close posted again at once would come
    // straight back through the box's own loop, again and again. The close waits for
    // the box to be answered.
    closeAfterMessageBox_ = true;
    return;
  }
  if (dialogHost_ && dialogHost_->OpenDialog() != nullptr) {
    // The same for a remote connection dialog: its logic takes the Cancel.
    PostMessageW(dialogHost_->OpenDialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  if (modalDialog_ != nullptr) {
    // A close that arrives while the dialog is open (the session ends, another program
    // asks): the dialog ends as by Cancel first, then the window closes.
    EndDialog(modalDialog_, IDCANCEL);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  Shutdown();
  if (window_ != nullptr) DestroyWindow(window_);
}

void Win32Program::Paint(HDC dc) {
  if (!logic_) return;
  PaintStatusPanel(window_, dc, logic_->StatusSentence(), logic_->StatusNameLine());
}

void Win32Program::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (!started_) return;
  if (window_ != nullptr) ::KillTimer(window_, kOfferTimerId);
  WaitForDetectionEnd();
  // The worker first, so that nothing new starts.
  StopWorkerServing();
  // Then this thread returns the unit to transparent mode (or warns that it could not).
  logic_->Shutdown();
  queue_.Drain();
  link_->Close();
}

}  // namespace vqx::win32
