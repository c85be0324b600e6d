// The status panel's state and sentences, the Attention button and the reboot wait.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app_window.h"
#include "app/text_fields.h"
#include "common/assertion.h"
#include "window/control_ids.h"

namespace vqx {

void CAppWindow::SetStatusState(StatusState state) {
  statusState_.store(state);
  surface_.Invalidate(true);
}

void CAppWindow::Attention() {
  const StatusState state = statusState_.load();
  if (state < kStatusPortNotOpen || state > kStatusRebootWait) VQX_IMPOSSIBLE("cappwindow");
  if (PortNotOpen()) {
    // No read can start without a port; the panel must not promise one. A running reboot
    // wait says so when it ends.
    if (state != kStatusPortNotOpen && state != kStatusRebootWait) SetStatusState(kStatusPortNotOpen);
    ShowBox(MessageOwner::None, kPortNotOpenText, MessageIcon::Warning);
    return;
  }
  switch (state) {
    case kStatusTransparent:
    case kStatusDisconnected:
    case kStatusConnected:
    case kStatusNotResponding:
    case kStatusQuerying:
      // The device logic enters command mode at its next pass and repaints then.
      statusState_.store(kStatusCommunicating);
      queryStep_.store(kNothingPending);
      break;
    default: break;  // entering, attempting, communicating, rebooting: already under way
  }
}

void CAppWindow::StartRebootWait() {
  // What was read no longer stands once the unit restarts: a reply to the burst (the
  // STAT after an ERR) may make the unit look idle during the wait, and nothing may be
  // updated on the strength of the old read. The read after the wait starts afresh.
  fullReadActive_.store(false);
  ClearSettingReadState();
  // SAVE or REBOOT went out: the unit starts up again in transparent mode.
  NoteUnitTransparent();
  queryStep_.store(kNothingPending);
  statusState_.store(kStatusRebootWait);
  surface_.StartTimer(ids::kRebootTimer, kRebootWaitMs);
  surface_.Invalidate(false);
}

void CAppWindow::StopRebootWait() {
  surface_.KillTimer(ids::kRebootTimer);
  // A port that could not be reopened meanwhile has nothing to read the unit with.
  statusState_.store(link_.GetState() == LinkState::Closed ? kStatusPortNotOpen : kStatusCommunicating);
  surface_.Invalidate(false);
}

bool CAppWindow::IsUnitIdle() const {
  const StatusState state = statusState_.load();
  return state == kStatusDisconnected || state == kStatusAttempting || state == kStatusConnected;
}

bool CAppWindow::IsReadFinished() const {
  if (!IsUnitIdle() || fullReadActive_.load()) return false;
  for (const auto& state : settingReadState_) {
    if (state.load() == ReadMark::NotRead) return false;
  }
  return true;
}

bool CAppWindow::PortNotOpen() const {
  return statusState_.load() == kStatusPortNotOpen || link_.GetState() == LinkState::Closed;
}

void CAppWindow::WaitForRebootIfIdle() {
  if (IsUnitIdle()) StartRebootWait();
}

std::string CAppWindow::StatusSentence() const {
  char text[256];
  const StatusState state = statusState_.load();
  switch (state) {
    case kStatusPortNotOpen: return "Serial port not open";
    case kStatusTransparent: return "VQX-2 in transparent mode";
    case kStatusEnteringCommand: return "Entering VQX-2 command mode (please wait)";
    case kStatusDisconnected: {
      int32_t mode;
      {
        std::lock_guard lock(stateMutex_);
        mode = currentSettings_.connectionMode;
      }
      if (mode == 2) return "VQX-2 in Connectionless mode";
      if (mode == 3) return "VQX-2 in Multicast mode";
      return "VQX-2 disconnected";  // 0, 1, and any mode the unit should not report
    }
    case kStatusAttempting:
    case kStatusConnected: {
      const char* lead = state == kStatusConnected ? "VQX-2 connected to" : "VQX-2 attempting connection to";
      char description[64];
      if (FindConnectionName(description, sizeof(description))) {
        std::snprintf(text, sizeof(text), "%s %s", lead, description);
      } else {
        const std::array<uint8_t, 4> peer = GetPeerAddress();
        std::snprintf(text, sizeof(text), "%s %d.%d.%d.%d", lead, peer[0], peer[1], peer[2], peer[3]);
      }
      return text;
    }
    case kStatusNotResponding: return "VQX-2 not responding";
    case kStatusQuerying: return "Querying VQX-2 status (please wait)";
    case kStatusCommunicating: return "Communicating with VQX-2 (please wait)";
    case kStatusRebootWait: return "Waiting for VQX-2 to reboot (please wait)";
    default: VQX_IMPOSSIBLE("cappwindow");
  }
}

std::string CAppWindow::StatusNameLine() const {
  std::lock_guard lock(stateMutex_);
  const size_t length = FieldLength(currentSettings_.name);
  if (length == 0) return {};
  return "Name: " + std::string(currentSettings_.name, length);
}

std::string CAppWindow::StatusPortLine() const {
  // With units behind serial servers, the port tells them apart.
  const std::string port = PortNameInUse();
  if (port.empty()) return {};
  return "Port: " + port;
}

bool CAppWindow::FindConnectionName(char* description, size_t size) const {
  // A damaged preferences file may hold any count.
  const int32_t count = std::clamp(prefs_->connectionCount, int32_t{0}, kRemoteConnectionCapacity);
  const std::array<uint8_t, 4> peer = GetPeerAddress();
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const auto& address = prefs_->connectionAddresses[i];
    int32_t numbers[4];
    if (!ParseFourDecimals(address, FieldLength(address), numbers)) continue;
    if (!std::equal(peer.begin(), peer.end(), numbers,
                    [](uint8_t octet, int32_t number) { return number == int32_t{octet}; })) {
      continue;
    }
    if (description != nullptr && size > 0) {
      const auto& found = prefs_->connectionDescriptions[i];
      const size_t length = std::min(FieldLength(found), size - 1);
      std::memcpy(description, found, length);
      description[length] = '\0';
    }
    return true;
  }
  return false;
}

}  // namespace vqx
