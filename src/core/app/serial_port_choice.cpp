#include "app/app_window.h"

#include <cstring>

namespace vqx {

bool CAppWindow::BeginSerialPortDialog() {
  if (modalDialogOpen_) return false;
  modalDialogOpen_ = true;
  return true;
}

bool CAppWindow::ApplySerialPortChoice(const char* portName, int32_t baudRate, int32_t dataBits, int32_t stopBits,
                                       char parity) {
  int32_t storedBaud;
  {
    std::lock_guard lock(stateMutex_);
    storedBaud = prefs_->baudRate;
  }
  {
    std::lock_guard lock(stateMutex_);
    portOverride_.clear();  // the user's choice replaces the run's own port
  }
  // Long names are real on Linux (/dev/serial/by-id/...): the preferences hold 255.
  SetHostSerialSettings(portName, baudRate > 0 ? baudRate : storedBaud, dataBits, stopBits, parity);
  // The panel names the port: it must show the new one even where the status stays as it
  // was (a choice that fails during the reboot wait).
  surface_.Invalidate(false);
  SavePreferences(MessageOwner::Dialog);
  const bool rebooting = statusState_.load() == kStatusRebootWait;
  link_.Close();
  if (OpenPortFromPreferences(MessageOwner::Dialog)) {
    // A unit that is rebooting would miss the escape: it is read when its wait ends.
    SetStatusState(rebooting ? kStatusRebootWait : kStatusCommunicating);
    return true;
  }
  // The port is closed now, whatever the dialog does next: the panel says so (a running
  // reboot wait says it when it ends), and Update and Attention refuse instead of
  // waiting for a unit they cannot reach.
  queryStep_.store(kNothingPending);
  if (statusState_.load() != kStatusRebootWait) SetStatusState(kStatusPortNotOpen);
  ShowPortOpenFailure(MessageOwner::Dialog);
  return false;
}

void CAppWindow::ReleasePortForDetection() {
  if (LeaveCommandMode() == LeaveOutcome::NotConfirmed) {
    ShowBox(MessageOwner::Dialog, kStillInCommandModeText, MessageIcon::Warning);
  }
  link_.Close();
  queryStep_.store(kNothingPending);
  SetStatusState(kStatusPortNotOpen);
}

bool CAppWindow::ReopenStoredPort() {
  link_.Close();
  if (OpenPortFromPreferences(MessageOwner::MainWindow)) {
    SetStatusState(kStatusCommunicating);
    return true;
  }
  SetStatusState(kStatusPortNotOpen);
  ShowPortOpenFailure(MessageOwner::MainWindow);
  return false;
}

std::string OfferDetectionText(const std::string& portName) {
  return "The VQX-2 is not responding on " + portName +
         ".\r\rIts serial settings may differ from this computer's. Try every baud rate, data bits, parity and "
         "stop bits the VQX-2 offers until it answers?";
}

bool CAppWindow::OfferLineDetection() {
  // The escape's probes went unanswered: the read never began.
  const bool escapeUnanswered =
      statusState_.load() == kStatusNotResponding && queryStep_.load() == kAwaitCommandMode;
  if (!escapeUnanswered) {
    detectionOffered_.store(false);
    return false;
  }
  if (modalDialogOpen_ || detectionOffered_.exchange(true)) return false;
  const std::string text = OfferDetectionText(PortNameInUse());
  return surface_.ShowMessageBox(MessageOwner::MainWindow, text.c_str(), kProgramCaption, MessageIcon::Warning,
                                 MessageButtons::YesNo) == kAnswerYes;
}

void CAppWindow::SetPortOverride(const char* portName) {
  std::lock_guard lock(stateMutex_);
  portOverride_ = portName ? portName : "";
}

std::string CAppWindow::PortNameInUse() const {
  std::lock_guard lock(stateMutex_);
  if (!portOverride_.empty()) return portOverride_;
  return std::string(prefs_->portName, strnlen(prefs_->portName, sizeof(prefs_->portName)));
}

}  // namespace vqx
