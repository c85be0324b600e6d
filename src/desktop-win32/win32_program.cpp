#include "win32_program.h"

#include <windowsx.h>

#include <chrono>

#include "command_routing.h"
#include "control_mapping.h"
#include "dialog_builder.h"
#include "runner/sim_runner.h"
#include "serial_port_decoration.h"
#include "serial_port_dialog_logic.h"
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
  // The host stops and lets go of the surface, the window logic and the link before the
  // window goes.
  host_.reset();
  if (window_ != nullptr) DestroyWindow(window_);
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
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
  if (host_ && host_->Started()) return true;
  std::unique_ptr<ISerialPort> port;
  if (options_.demo) {
    if (!StartDemoUnit(error)) return false;
    port = demo_->CreateHostPort();
  } else {
    port = CreateSystemSerialPort();
  }
  if (!CreateMainWindow(error)) return false;
  desktop::HostServices services{SystemClock(), *files_, SystemWallClock(), &ExplainOpenFailure,
                                 &CreateSystemSerialPort, &SerialPortNamesToOffer};
  host_ = std::make_unique<desktop::DesktopHost>(static_cast<desktop::IDesktopFrontEnd&>(*this), queue_,
                                                 std::move(services));
  host_->Build(std::move(port));
  if (!demoPortName_.empty()) host_->Logic().SetPortOverride(demoPortName_.c_str());
  host_->Start();
  return true;
}

std::unique_ptr<IWindowSurface> Win32Program::CreateSurface(desktop::UiCallQueue& queue) {
  auto surface = std::make_unique<Win32WindowSurface>(queue, window_);
  surface->SetAfterMessageBox([this] {
    // Posted, not called: the logic that showed the box goes on first.
    if (closeAfterMessageBox_ && window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    closeAfterMessageBox_ = false;
  });
  surface_ = surface.get();
  return surface;
}

std::unique_ptr<IDialogHost> Win32Program::CreateDialogHost(IWindowSurface&) {
  auto dialogs = std::make_unique<Win32DialogHost>(window_, *surface_);
  dialogHost_ = dialogs.get();
  return dialogs;
}

void Win32Program::ShowMainWindow() { ShowWindow(window_, SW_SHOW); }

void Win32Program::MainWindowFilled() { UpdateWindow(window_); }

void Win32Program::CloseMainWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void Win32Program::StartPeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick) {
  offerTick_ = std::move(tick);
  SetTimer(window_, kOfferTimerId, static_cast<UINT>(period.count()), nullptr);
}

void Win32Program::StopPeriodicTimer() {
  if (window_ != nullptr) ::KillTimer(window_, kOfferTimerId);
}

bool Win32Program::OtherDialogOpen() const { return dialogHost_ != nullptr && dialogHost_->OpenDialog() != nullptr; }

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
  if (host_) host_->OnEnterKey();
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
        if (offerTick_) offerTick_();
      } else if (host_) {
        host_->OnTimer(static_cast<int>(wParam));
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
      if (host_ && host_->Started() && !host_->IsShutDown()) ::ShutdownBlockReasonCreate(window_, kEndSessionReason);
      ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != 0 && surface_ != nullptr) {
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
  if (const auto command = RouteCommand(wParam, lParam, surface_ != nullptr && surface_->InProgrammaticChange())) {
    if (host_) host_->OnCommand(command->id, command->code);
  }
}

void Win32Program::RunSerialPortDialog(desktop::SerialPortDialogRun& run) {
  desktop::SerialPortDialogLogic logic(run);
  dialogHost_->RunModal(logic, [this, &run](HWND dialog) {
    modalDialog_ = dialog;
    DecorateSerialPortDialog(dialog, run.portsFound);
  });
  modalDialog_ = nullptr;
}

void Win32Program::OnStatusPanelDoubleClick(POINT where) {
  const RECT area = StatusPanelArea(window_);
  if (host_ && PtInRect(&area, where)) host_->OnStatusPanelDoubleClick();
}

bool Win32Program::OnStatusPanelContextMenu(POINT screenPoint) {
  if (!host_ || host_->IsShutDown()) return false;
  POINT where = screenPoint;
  ScreenToClient(window_, &where);
  const RECT area = StatusPanelArea(window_);
  if (!PtInRect(&area, where)) return false;
  const HMENU menu = CreatePopupMenu();
  for (const desktop::StatusMenuItem& item : host_->StatusPanelMenu()) {
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id), WidenLatin1(item.text).c_str());
  }
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screenPoint.x,
                                    screenPoint.y, 0, window_, nullptr);
  DestroyMenu(menu);
  if (chosen != 0) host_->OnCommand(chosen, kBnClicked);
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
  demoPortName_ = demo_->SlavePath();
  return true;
}

void Win32Program::Close() {
  const bool dialogOpen = OtherDialogOpen() || modalDialog_ != nullptr;
  if (dialogOpen && surface_ != nullptr && surface_->ShowingMessageBox()) {
    // A warning is up over the dialog and the dialog's logic waits in it: a Cancel now
    // would run that logic inside itself, and a close posted again at once would come
    // straight back through the box's own loop, again and again. The close waits for
    // the box to be answered.
    closeAfterMessageBox_ = true;
    return;
  }
  if (modalDialog_ != nullptr) {
    // A close that arrives while the serial port dialog is open (the session ends,
    // another program asks): the dialog ends as by Cancel first, then the window closes.
    // A search still running ends as the dialog goes, not waiting for a second Cancel.
    EndDialog(modalDialog_, IDCANCEL);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  if (OtherDialogOpen()) {
    // A remote connection dialog: its logic takes the Cancel.
    PostMessageW(dialogHost_->OpenDialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  Shutdown();
  if (window_ != nullptr) DestroyWindow(window_);
}

void Win32Program::Paint(HDC dc) {
  if (!host_) return;
  PaintStatusPanel(window_, dc, host_->Logic().StatusSentence(), host_->Logic().StatusNameLine(),
                   host_->Logic().StatusPortLine());
}

void Win32Program::Shutdown() {
  if (host_) host_->Shutdown();
}

}  // namespace vqx::win32
