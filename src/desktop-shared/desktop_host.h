#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_window.h"
#include "app/application.h"
#include "host_serial_choice.h"
#include "link/line_detector.h"
#include "link/serial_comm.h"
#include "status_panel_menu.h"
#include "ui_call_queue.h"
#include "window/dialog_host.h"
#include "window/window_surface.h"

namespace vqx::desktop {

// Where an open serial port dialog shows the search for the unit's line settings.
class ISerialPortDialogView {
 public:
  virtual ~ISerialPortDialogView() = default;
  virtual void ShowDetectionProgress(const std::string& text) = 0;
  // The search ended: found settings (when given) are selected; text says how it ended.
  virtual void DetectionEnded(const HostSerialChoice* found, const std::string& text) = 0;
};

// One showing of the serial port dialog, as the host hands it to the front-end.
struct SerialPortDialogRun {
  HostSerialChoice stored;
  std::vector<std::string> portsFound;  // offered under the name box; any name may be typed
  bool detectAtOnce = false;            // the search starts as the dialog opens
  // OK: stores, saves and reopens; the dialog ends only when the port opened.
  std::function<bool(const HostSerialChoice&)> apply;
  std::function<void(const std::string& portName)> startDetection;  // Detect
  std::function<void()> cancelDetection;  // Cancel or Esc while the search runs
  // The front-end's dialog is up (the view), or about to go (null): a search still running
  // ends first, so that its end never reaches a dialog that is gone.
  std::function<void(ISerialPortDialogView* view)> viewChanged;
};

// What a desktop program's window system does for the host; user-interface thread.
class IDesktopFrontEnd {
 public:
  IDesktopFrontEnd() = default;
  virtual ~IDesktopFrontEnd() = default;
  // A front-end owns its windows and the host: it is never copied.
  IDesktopFrontEnd(const IDesktopFrontEnd&) = delete;
  IDesktopFrontEnd& operator=(const IDesktopFrontEnd&) = delete;
  // The surface over the main window's controls and the dialog host for the core's
  // dialogs; created once, in that order, after the link and before the window logic.
  virtual std::unique_ptr<IWindowSurface> CreateSurface(UiCallQueue& queue) = 0;
  virtual std::unique_ptr<IDialogHost> CreateDialogHost(IWindowSurface& surface) = 0;
  // Centred and shown (its controls still empty); then, once filled, painted.
  virtual void ShowMainWindow() = 0;
  virtual void MainWindowFilled() {}
  // File/Exit after the orderly stop: the window goes and the message loop ends.
  virtual void CloseMainWindow() = 0;
  virtual void StartPeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick) = 0;
  virtual void StopPeriodicTimer() = 0;
  // Modal over the main window; returns when the dialog has ended.
  virtual void RunSerialPortDialog(SerialPortDialogRun& run) = 0;
  // One of the core's other dialogs is open (the offer of a search waits for it).
  virtual bool OtherDialogOpen() const = 0;
};

// What the platform gives the host.
struct HostServices {
  IClock& clock;
  IFileStore& files;
  IWallClock& wallClock;
  // Why a port did not open, in the platform's words; may be null.
  std::string (*explainOpenFailure)(const char* portName, const PortOpenResult& result) = nullptr;
  // A port of its own for each search for the unit's line settings.
  std::function<std::unique_ptr<ISerialPort>()> createDetectionPort;
  // The machine's serial ports, offered in the serial port dialog.
  std::function<std::vector<std::string>()> listPorts;
};

// Both desktop programs' orchestration, without a toolkit: the link, the window logic and
// the worker thread in the order they are built, started and stopped; the routing of the
// logic's command outcomes; the serial port dialog's search for the unit's line settings
// and the offer of it after an unanswered read; and the orderly stop that returns the unit
// to transparent mode. The user-interface thread is the thread that builds it.
class DesktopHost {
 public:
  static constexpr std::chrono::milliseconds kOfferPeriod{250};

  DesktopHost(IDesktopFrontEnd& frontEnd, UiCallQueue& queue, HostServices services);
  // The orderly stop, then users before what they use: the worker and the window logic,
  // the dialog host and the surface, then the link and its port.
  ~DesktopHost();
  DesktopHost(const DesktopHost&) = delete;
  DesktopHost& operator=(const DesktopHost&) = delete;

  // The link over port, the surface and dialog host, the window logic, the worker.
  void Build(std::unique_ptr<ISerialPort> port);
  // The port's warning (before the window shows), the window shown and filled, the
  // worker started, the offer's timer running. Once; after Build.
  void Start();
  bool Started() const { return started_; }

  // A menu item or control of the main window, after the logic: Quit stops and closes,
  // the serial port dialog opens.
  void OnCommand(int id, int notificationCode);
  void OnTimer(int timerId);
  void OnEnterKey();
  // File/Select Serial Port...: modal, returns when the dialog has ended. detectAtOnce:
  // the search starts as it opens (the answer to the offer after "not responding").
  void ShowSerialPortDialog(bool detectAtOnce = false);
  bool SerialPortDialogOpen() const { return serialDialogOpen_; }
  // Every offer period: a read whose escape went unanswered offers the search.
  void CheckDetectionOffer();

  std::vector<StatusMenuItem> StatusPanelMenu() const;
  void OnStatusPanelDoubleClick();

  // The worker out (its calls served meanwhile), so this thread owns the link.
  void StopWorkerServing();
  // The orderly stop, once: the search ended, the worker out with its calls served, the
  // unit returned to transparent mode from this thread (a warning box when it did not
  // confirm), the calls that left for the window served, then the port closed.
  void Shutdown();
  bool IsShutDown() const { return shutDown_; }
  bool Detecting() const { return detecting_; }

  CAppWindow& Logic() { return *logic_; }
  CSerialComm& Link() { return *link_; }
  CApplication& Worker() { return *app_; }
  IWindowSurface& Surface() { return *surface_; }
  IDialogHost& Dialogs() { return *dialogHost_; }

 private:
  void ServeCalls(std::chrono::milliseconds wait);
  // Detect: the worker stops and the port is handed over (once per dialog), then the
  // search runs on a thread of its own with a port of its own.
  void StartDetection(const std::string& portName);
  // Runs on this thread once the search has ended.
  void FinishDetection(const DetectionResult& result, const std::string& portName);
  void WaitForDetectionEnd();

  IDesktopFrontEnd& frontEnd_;
  UiCallQueue& queue_;
  HostServices services_;
  std::unique_ptr<ISerialPort> port_;
  std::unique_ptr<CSerialComm> link_;
  std::unique_ptr<IWindowSurface> surface_;
  std::unique_ptr<IDialogHost> dialogHost_;
  std::unique_ptr<CAppWindow> logic_;
  std::unique_ptr<CApplication> app_;
  ISerialPortDialogView* view_ = nullptr;
  bool serialDialogOpen_ = false;
  std::unique_ptr<ISerialPort> detectPort_;
  std::thread detectThread_;
  std::atomic<bool> detectCancel_{false};
  bool detecting_ = false;
  bool workerPausedForDetection_ = false;
  bool started_ = false;
  bool shutDown_ = false;
};

}  // namespace vqx::desktop
