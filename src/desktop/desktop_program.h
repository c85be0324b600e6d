#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "app/application.h"
#include "dialog_units.h"
#include "link/line_detector.h"
#include "link/serial_comm.h"
#include "main_window.h"
#include "qt_dialog_host.h"
#include "qt_window_surface.h"
#include "serial_port_dialog.h"
#include "ui_call_queue.h"
#include "ui_pump.h"

namespace vqx::sim {
class SimRunner;
struct SimConfig;
}  // namespace vqx::sim

namespace vqx::desktop {

struct ProgramOptions {
  // Start the simulated unit in this process on a pseudo-terminal and use it as the
  // port for this run only (never saved as the stored port).
  bool demo = false;
  // Where the preferences, communication logs and History.txt live; empty: the working
  // directory.
  std::string dataDirectory;
  // Tests: the simulated unit's behaviour in demo mode (shorter reboot, faults).
  std::function<void(sim::SimConfig&)> tuneDemoUnit;
  // Tests: the serial ports the dialog offers; by default those found on the machine.
  std::function<std::vector<std::string>()> listPorts;
};

// The desktop program: the link, the window logic and the worker thread over the Qt
// main window, in the order the program starts and stops them. The user-interface
// thread is the thread that constructs it.
class DesktopProgram {
 public:
  explicit DesktopProgram(ProgramOptions options);
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  // Demo unit, preferences and port (its warning comes before the window), the window,
  // the stored view and lists, then the worker. False only when the demo unit cannot
  // start (error says why).
  bool Start(std::string* error);
  // The orderly stop, once: the worker out (its pending calls served meanwhile), the unit
  // returned to transparent mode from this thread (a warning box when it did not confirm),
  // then the port closed.
  void Shutdown();
  bool IsShutDown() const { return shutDown_; }

  // File/Select Serial Port...: modal; returns when the dialog has ended. With
  // detectAtOnce the search for the unit's line settings starts as it opens (the answer
  // to the offer after "not responding").
  void ShowSerialPortDialog(bool detectAtOnce = false);
  SerialPortDialog* OpenSerialPortDialog() const { return dialog_; }

  MainWindow& Window() { return *window_; }
  QtWindowSurface& Surface() { return *surface_; }
  QtDialogHost& Dialogs() { return *dialogHost_; }
  CAppWindow& Logic() { return *logic_; }
  CSerialComm& Link() { return *link_; }
  UiCallQueue& Queue() { return queue_; }
  sim::SimRunner* DemoUnit() { return demo_.get(); }

 private:
  void OnCommand(int id, int notificationCode);
  // The worker out (its calls served meanwhile), so this thread owns the link.
  void StopWorkerServing();
  // Detect: the worker stops and the port is handed over (once per dialog), then the
  // search runs on a thread of its own with a port of its own.
  void StartDetection(const std::string& portName);
  // Runs on this thread once the search has ended.
  void FinishDetection(const DetectionResult& result, const std::string& portName);
  void WaitForDetectionEnd();

  ProgramOptions options_;
  DialogUnits units_;
  std::unique_ptr<UiPump> pump_;
  UiCallQueue queue_;
  std::unique_ptr<sim::SimRunner> demo_;
  std::unique_ptr<ISerialPort> port_;
  std::unique_ptr<IFileStore> files_;
  std::unique_ptr<CSerialComm> link_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QtWindowSurface> surface_;
  std::unique_ptr<QtDialogHost> dialogHost_;
  std::unique_ptr<CAppWindow> logic_;
  std::unique_ptr<CApplication> app_;
  SerialPortDialog* dialog_ = nullptr;
  std::unique_ptr<ISerialPort> detectPort_;
  std::thread detectThread_;
  std::atomic<bool> detectCancel_{false};
  bool detecting_ = false;
  bool workerPausedForDetection_ = false;
  bool started_ = false;
  bool shutDown_ = false;
};

}  // namespace vqx::desktop
