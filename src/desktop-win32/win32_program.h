#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <memory>
#include <string>

#include "app/app_window.h"
#include "app/application.h"
#include "link/line_candidates.h"
#include "link/line_detector.h"
#include "link/serial_comm.h"
#include "ui_call_queue.h"
#include "ui_pump_win32.h"
#include "win32_dialog_host.h"
#include "win32_window_surface.h"

namespace vqx::sim {
class SimRunner;
}  // namespace vqx::sim

namespace vqx::win32 {

struct ProgramOptions {
  // Talk to a simulated VQX-2 inside the program, for this run only (the stored port is kept).
  bool demo = false;
  // Where the preferences, communication logs and History.txt live; empty: the working directory.
  std::string dataDirectory;
};

// The Windows desktop program: the link, the window logic and the worker thread over the
// main dialog built from template 101, in the order the program starts and stops them.
// The user-interface thread is the thread that constructs it.
class Win32Program {
 public:
  explicit Win32Program(ProgramOptions options);
  ~Win32Program();
  Win32Program(const Win32Program&) = delete;
  Win32Program& operator=(const Win32Program&) = delete;

  // The window (hidden), the port (its warning comes before the window shows), the stored
  // view and lists, then the worker. False only when the program cannot start (error).
  bool Start(std::string* error);
  // The message loop, until the main window is gone. Returns the exit code.
  int Run();
  // The orderly stop, once: the worker out (its pending calls served meanwhile), the unit
  // returned to transparent mode from this thread (a warning box when it did not
  // confirm), then the port closed.
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
  void OnCommand(int id, int notificationCode);
  // detectAtOnce: the search for the unit's line settings starts as it opens (the answer
  // to a read whose escape went unanswered).
  void ShowSerialPortDialog(bool detectAtOnce = false);
  void StopWorkerServing();
  // Detect: the worker stops and the port is handed over (once per dialog), then the
  // search runs on its own thread and port; its progress and end come back here.
  void StartDetection(const std::string& portName);
  void FinishDetection(const DetectionResult& result, const std::string& portName);
  void WaitForDetectionEnd();
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
  std::unique_ptr<ISerialPort> port_;
  std::unique_ptr<IFileStore> files_;
  std::unique_ptr<CSerialComm> link_;
  HWND window_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::unique_ptr<Win32WindowSurface> surface_;
  std::unique_ptr<Win32DialogHost> dialogHost_;  // the remote connection dialogs
  std::unique_ptr<CAppWindow> logic_;
  std::unique_ptr<CApplication> app_;
  bool started_ = false;
  bool shutDown_ = false;
  std::string demoPortName_;  // the simulated unit's port, for this run only
  HWND modalDialog_ = nullptr;  // the serial port dialog while it is open
  bool closeAfterMessageBox_ = false;  // a close came while a box was up over a dialog
  std::unique_ptr<ISerialPort> detectPort_;
  std::thread detectThread_;
  std::atomic<bool> detectCancel_{false};
  bool detecting_ = false;
  bool workerPausedForDetection_ = false;
};

}  // namespace vqx::win32
