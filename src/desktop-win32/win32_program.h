#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "desktop_host.h"
#include "program_options.h"
#include "ui_call_queue.h"
#include "ui_pump_win32.h"
#include "win32_dialog_host.h"
#include "win32_window_surface.h"

namespace vqx::sim {
class SimRunner;
}  // namespace vqx::sim

namespace vqx::win32 {

using ProgramOptions = desktop::RunOptions;

// The Windows desktop program: the shared host (link, window logic, worker, their order)
// over the main dialog built from template 101. The user-interface thread is the thread
// that constructs it.
class Win32Program : private desktop::IDesktopFrontEnd {
 public:
  explicit Win32Program(ProgramOptions options);
  ~Win32Program() override;

  // The window (hidden), the port (its warning comes before the window shows), the stored
  // view and lists, then the worker. False only when the program cannot start (error).
  bool Start(std::string* error);
  // The message loop, until the main window is gone. Returns the exit code.
  int Run();
  // The orderly stop (DesktopHost::Shutdown), once.
  void Shutdown();

  HWND MainWindow() const { return window_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool CreateMainWindow(std::string* error);
  void BuildMenu();
  // Sizes the window so that its client area is the template's size below the menu bar.
  void FitClientToTemplate(bool centre);
  void OnControlCommand(WPARAM wParam, LPARAM lParam);
  // The host's hooks.
  std::unique_ptr<IWindowSurface> CreateSurface(desktop::UiCallQueue& queue) override;
  std::unique_ptr<IDialogHost> CreateDialogHost(IWindowSurface& surface) override;
  void ShowMainWindow() override;
  void MainWindowFilled() override;
  void CloseMainWindow() override;
  void StartPeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick) override;
  void StopPeriodicTimer() override;
  void RunSerialPortDialog(desktop::SerialPortDialogRun& run) override;
  bool OtherDialogOpen() const override;
  // A double-click on the status panel names the unit shown there; its context menu offers
  // that and the remote connection list. where: client coordinates.
  void OnStatusPanelDoubleClick(POINT where);
  bool OnStatusPanelContextMenu(POINT screenPoint);
  bool StartDemoUnit(std::string* error);
  void Close();
  void Paint(HDC dc);
  // The message loop hands every Enter key of this window to the command entry's handler
  // first, whichever control has the focus; true when the key is used up.
  bool TakeEnterKey(const MSG& msg);

  ProgramOptions options_;
  desktop::UiCallQueue queue_;
  Win32UiPump pump_;
  std::unique_ptr<sim::SimRunner> demo_;  // --demo: the simulated unit on its in-process line
  std::unique_ptr<IFileStore> files_;
  HWND window_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  Win32WindowSurface* surface_ = nullptr;   // owned by the host
  Win32DialogHost* dialogHost_ = nullptr;   // the remote connection dialogs; owned by the host
  std::function<void()> offerTick_;
  std::string demoPortName_;  // the simulated unit's port, for this run only
  HWND modalDialog_ = nullptr;  // the serial port dialog while it is open
  bool closeAfterMessageBox_ = false;  // a close came while a box was up over a dialog
  std::unique_ptr<desktop::DesktopHost> host_;
};

}  // namespace vqx::win32
