#include "app/app_window.h"

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
  // Long names are real on Linux (/dev/serial/by-id/...): the preferences hold 255.
  SetHostSerialSettings(portName, baudRate > 0 ? baudRate : storedBaud, dataBits, stopBits, parity);
  SavePreferences();
  link_.Close();
  if (OpenPortFromPreferences()) {
    SetStatusState(kStatusCommunicating);
    return true;
  }
  ShowPortOpenFailure(MessageOwner::Dialog);
  return false;
}

}  // namespace vqx
