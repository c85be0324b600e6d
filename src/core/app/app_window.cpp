#include "app/app_window.h"

#include <cstring>

#include "protocol/command_table.h"
#include "window/control_ids.h"

namespace vqx {

const std::array<int32_t, kSettingCount> kFullReadOrder = [] {
  std::array<int32_t, kSettingCount> order{};
  for (size_t i = 0; i < order.size(); ++i) order[i] = SettingRows()[i].commandId;
  return order;
}();

CAppWindow::CAppWindow(CSerialComm& link, IWindowSurface& surface, const AppServices& services)
    : link_(link), surface_(surface), services_(services), prefs_(std::make_unique<PreferencesBlock>()) {
  std::memset(prefs_.get(), 0, sizeof(PreferencesBlock));
}

CAppWindow::~CAppWindow() = default;

std::array<uint8_t, 4> CAppWindow::GetPeerAddress() const {
  const uint32_t packed = peerAddress_.load();
  return {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8), static_cast<uint8_t>(packed >> 16),
          static_cast<uint8_t>(packed >> 24)};
}

DeviceSettings CAppWindow::GetCurrentSettings() const {
  std::lock_guard lock(stateMutex_);
  return currentSettings_;
}

std::string CAppWindow::GetOutputLog() const {
  std::lock_guard lock(outputMutex_);
  return std::string(outputLog_, outputLogLength_);
}

PreferencesBlock CAppWindow::GetPreferences() const {
  std::lock_guard lock(stateMutex_);
  return *prefs_;
}

void CAppWindow::SetHostSerialSettings(const char* portName, int32_t baudRate, int32_t dataBits, int32_t stopBits,
                                       char parity) {
  std::lock_guard lock(stateMutex_);
  std::strncpy(prefs_->portName, portName, sizeof(prefs_->portName) - 1);
  prefs_->portName[sizeof(prefs_->portName) - 1] = '\0';
  prefs_->baudRate = baudRate;
  prefs_->dataBits = dataBits;
  prefs_->stopBits = stopBits;
  prefs_->parity = parity;
}

int CAppWindow::ShowBox(MessageOwner owner, const char* text, MessageIcon icon) {
  return surface_.ShowMessageBox(owner, text, kProgramCaption, icon, MessageButtons::Ok);
}

void CAppWindow::ShowPortOpenFailure(MessageOwner owner) {
  std::string text = kPortOpenFailedText;
  if (services_.explainOpenFailure != nullptr) {
    std::string portName;
    {
      std::lock_guard lock(stateMutex_);
      portName = prefs_->portName;
    }
    const std::string why = services_.explainOpenFailure(portName.c_str(), link_.LastOpenResult());
    if (!why.empty()) text += "\r" + why;
  }
  ShowBox(owner, text.c_str(), MessageIcon::Warning);
}

void CAppWindow::ShowLostPortWarning() {
  surface_.KillTimer(ids::kPortLostTimer);
  // A Reset or a new port chosen since the loss has made the warning stale.
  if (statusState_.load() != kStatusPortNotOpen || !link_.PortLost()) return;
  const std::string text = "The serial port " + PortNameInUse() +
                           " was lost (adapter unplugged or line hung up).\r"
                           "Reconnect it, then choose File/Reset or File/Select Serial Port.";
  ShowBox(MessageOwner::None, text.c_str(), MessageIcon::Warning);
}

bool CAppWindow::OpenPortFromPreferences(MessageOwner owner) {
  char portName[sizeof(PreferencesBlock::portName)];
  int32_t baudRate, dataBits, stopBits;
  char parity;
  {
    std::lock_guard lock(stateMutex_);
    if (!portOverride_.empty() && portOverride_.size() < sizeof(portName)) {
      std::memcpy(portName, portOverride_.c_str(), portOverride_.size() + 1);
    } else {
      std::memcpy(portName, prefs_->portName, sizeof(portName));
      portName[sizeof(portName) - 1] = '\0';
    }
    baudRate = prefs_->baudRate;
    dataBits = prefs_->dataBits;
    stopBits = prefs_->stopBits;
    parity = prefs_->parity;
  }
  if (!link_.Open(portName, baudRate, parity, dataBits, stopBits)) return false;
  const PortOpenResult opened = link_.LastOpenResult();
  if (opened.settingsRefused) {
    const std::string text = DescribeRefusedLineSettings(portName, LineSettings{baudRate, parity, dataBits, stopBits},
                                                         opened.lineInEffect);
    if (!text.empty()) ShowBox(owner, text.c_str(), MessageIcon::Warning);
  }
  // A serial server that keeps its own line settings: the unit may stay silent, and the
  // technician needs to know where to look.
  if (!opened.warning.empty()) ShowBox(owner, (opened.warning + ".").c_str(), MessageIcon::Warning);
  return true;
}

}  // namespace vqx
