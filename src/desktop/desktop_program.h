#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "desktop_host.h"
#include "dialog_units.h"
#include "link/serial_comm.h"
#include "main_window.h"
#include "program_options.h"
#include "qt_dialog_host.h"
#include "qt_window_surface.h"
#include "serial_port_dialog_logic.h"
#include "ui_call_queue.h"
#include "ui_pump.h"

class QTimer;

namespace vqx::sim {
class SimRunner;
struct SimConfig;
}  // namespace vqx::sim

namespace vqx::desktop {

struct ProgramOptions : RunOptions {
  // Tests: the simulated unit's behaviour in demo mode (shorter reboot, faults).
  std::function<void(sim::SimConfig&)> tuneDemoUnit;
  // Tests: the serial ports the dialog offers; by default those found on the machine.
  std::function<std::vector<std::string>()> listPorts;
};

// The desktop program: the shared host (link, window logic, worker, their order) over the
// Qt main window. The user-interface thread is the thread that constructs it.
class DesktopProgram : private IDesktopFrontEnd {
 public:
  explicit DesktopProgram(ProgramOptions options);
  ~DesktopProgram() override;

  // Demo unit, preferences and port (its warning comes before the window), the window,
  // the stored view and lists, then the worker. False only when the demo unit cannot
  // start (error says why).
  bool Start(std::string* error);
  // The orderly stop (DesktopHost::Shutdown), once.
  void Shutdown() { host_->Shutdown(); }
  bool IsShutDown() const { return host_->IsShutDown(); }

  // File/Select Serial Port...: modal; returns when the dialog has ended. With
  // detectAtOnce the search for the unit's line settings starts as it opens (the answer
  // to the offer after "not responding").
  void ShowSerialPortDialog(bool detectAtOnce = false) { host_->ShowSerialPortDialog(detectAtOnce); }
  // The serial port dialog while it is open, and its logic (tests, screenshots).
  QDialog* OpenSerialPortDialog() const { return serialLogic_ != nullptr ? dialogHost_->OpenDialog() : nullptr; }
  SerialPortDialogLogic* SerialDialogLogic() const { return serialLogic_; }

  MainWindow& Window() { return *window_; }
  QtWindowSurface& Surface() { return *surface_; }
  QtDialogHost& Dialogs() { return *dialogHost_; }
  CAppWindow& Logic() { return host_->Logic(); }
  CSerialComm& Link() { return host_->Link(); }
  UiCallQueue& Queue() { return queue_; }
  DesktopHost& Host() { return *host_; }
  sim::SimRunner* DemoUnit() { return demo_.get(); }

 private:
  std::unique_ptr<IWindowSurface> CreateSurface(UiCallQueue& queue) override;
  std::unique_ptr<IDialogHost> CreateDialogHost(IWindowSurface& surface) override;
  void ShowMainWindow() override;
  void CloseMainWindow() override;
  void StartPeriodicTimer(std::chrono::milliseconds period, std::function<void()> tick) override;
  void StopPeriodicTimer() override;
  void RunSerialPortDialog(SerialPortDialogRun& run) override;
  bool OtherDialogOpen() const override;

  ProgramOptions options_;
  DialogUnits units_;
  std::unique_ptr<UiPump> pump_;
  UiCallQueue queue_;
  std::unique_ptr<sim::SimRunner> demo_;
  std::unique_ptr<IFileStore> files_;
  std::unique_ptr<MainWindow> window_;
  QtWindowSurface* surface_ = nullptr;    // owned by the host
  QtDialogHost* dialogHost_ = nullptr;    // owned by the host
  QTimer* offerTimer_ = nullptr;          // a child of the window
  SerialPortDialogLogic* serialLogic_ = nullptr;
  std::unique_ptr<DesktopHost> host_;
};

}  // namespace vqx::desktop
