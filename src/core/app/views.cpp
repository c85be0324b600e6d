#include <cstring>
#include <string>

#include "app/app_window.h"
#include "common/assertion.h"
#include "common/text_kinds.h"
#include "protocol/command_table.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx {

namespace {

// The first three boxes of each address row and the box that follows each.
struct AdvanceStep {
  int from;
  int to;
};
constexpr AdvanceStep kIpAdvance[] = {
    {ids::kIp1, ids::kIp2},           {ids::kIp2, ids::kIp3},           {ids::kIp3, ids::kIp4},
    {ids::kServerIp1, ids::kServerIp2}, {ids::kServerIp2, ids::kServerIp3}, {ids::kServerIp3, ids::kServerIp4},
    {ids::kGateway1, ids::kGateway2}, {ids::kGateway2, ids::kGateway3}, {ids::kGateway3, ids::kGateway4},
    {ids::kSubnet1, ids::kSubnet2},   {ids::kSubnet2, ids::kSubnet3},   {ids::kSubnet3, ids::kSubnet4},
};

}  // namespace

void CAppWindow::SwitchView(int32_t view) {
  if (view == prefs_->view) return;
  int focus = 0;
  switch (view) {
    case kViewSettings: focus = ids::kUpdateSettings; break;
    case kViewTerminal: focus = ids::kCommandEntry; break;
    case kViewHistory: focus = ids::kSerialNumberEntry; break;
    default: VQX_IMPOSSIBLE("cappwindow");
  }
  prefs_->view = view;

  for (int id : SettingsViewControls()) surface_.ShowControl(id, view == kViewSettings);
  bool dhcp;
  {
    std::lock_guard lock(stateMutex_);
    dhcp = currentSettings_.dhcpAssigned != 0;
  }
  surface_.ShowControl(ids::kViaDhcp, view == kViewSettings && dhcp);
  for (int id : TerminalViewControls()) surface_.ShowControl(id, view == kViewTerminal);
  for (int id : HistoryViewControls()) surface_.ShowControl(id, view == kViewHistory);

  surface_.SetFocus(focus);
  surface_.Invalidate(true);
}

void CAppWindow::MarkSettingRead() { MarkPendingSetting(ReadMark::Read); }

void CAppWindow::MarkSettingUnsupported() { MarkPendingSetting(ReadMark::Refused); }

// A refused setting's controls are disabled, so it can be neither edited nor sent; a
// setting read enables them again.
void CAppWindow::MarkPendingSetting(ReadMark mark) {
  const int index = ReadIndexOf(pendingQuery_.load());
  if (index < 0) return;
  settingReadState_[static_cast<size_t>(index)].store(mark);
  const SettingRow& row = SettingRows()[static_cast<size_t>(index)];
  if (row.staysEnabled) return;
  for (int id : row.controls) {
    if (id != 0) surface_.EnableControl(id, mark == ReadMark::Read);
  }
}

void CAppWindow::AdvanceIpFocus(int id) {
  for (const AdvanceStep& step : kIpAdvance) {
    if (step.from != id) continue;
    char text[256];
    surface_.GetText(id, text, sizeof(text));
    const size_t firstLine = std::strcspn(text, "\r\n");
    if (firstLine == 3) {
      surface_.SetFocus(step.to);
      surface_.SelectAllText(step.to);
    }
    return;
  }
}

CommandOutcome CAppWindow::OnCommand(int id, int notificationCode) {
  // After the orderly stop nothing more goes to the unit (a click still queued, say).
  if (shutDown_.load()) return CommandOutcome::Handled;
  idlePasses_.store(0);

  // First pass: by notification and control.
  if (notificationCode == kEnChange) AdvanceIpFocus(id);
  if (id == ids::kCommandEntry && notificationCode == kEnMaxText) SubmitCommandEntry();
  if (id == ids::kHistoryList && notificationCode == kLbnSelChange) {
    ShowSettingsReport();
    return CommandOutcome::HandledReturnOne;
  }

  // Second pass: only clicks and menu choices (code 0) act.
  if (notificationCode != kBnClicked) return CommandOutcome::Handled;
  switch (id) {
    case ids::kSend: SubmitCommandEntry(); break;
    case ids::kViewSettings: SwitchView(kViewSettings); break;
    case ids::kViewTerminal: SwitchView(kViewTerminal); break;
    case ids::kViewHistory: SwitchView(kViewHistory); break;
    case ids::kUpdateSettings: UpdateSettings(); break;
    case ids::kSaveCommunication: SaveCommunication(); break;
    case ids::kAttention: Attention(); break;
    case ids::kAddCurrent: AddCurrentToHistory(); break;
    case ids::kRemove: RemoveHistoryEntry(); break;
    case ids::kSaveHistory: SaveHistoryReport(); break;
    // The front-end ends its worker first: the orderly stop drives the link itself.
    case ids::kMenuExit: return CommandOutcome::Quit;
    case ids::kMenuSelectSerialPort: return CommandOutcome::ShowSerialPortDialog;
    case ids::kMenuAbout:
      surface_.ShowMessageBox(MessageOwner::MainWindow, AboutText().c_str(), kProgramCaption,
                              MessageIcon::Information, MessageButtons::Ok);
      break;
    case ids::kMenuManual: break;  // greyed; does nothing if it arrives anyway
    case ids::kMenuReset: ResetSerialLink(); break;
    case ids::kMenuRemoteConnections: ShowRemoteConnectionsDialog(); break;
    case ids::kMenuNameThisUnit: NameThisUnit(); break;
    default: break;
  }
  return CommandOutcome::Handled;
}

// The three lines, then where the preferences are kept: the working directory's file,
// which a user who started the program from a menu may not know is the home folder. The
// path is a system text, the box a window text (common/text_kinds.h).
std::string CAppWindow::AboutText() const {
  return std::string(kAboutText) + "\r\rPreferences file:\r" +
         SystemTextForDisplay(services_.files.FullPath(kPreferencesFileName));
}

void CAppWindow::OnTimer(int timerId) {
  if (timerId == ids::kPortLostTimer) {
    ShowLostPortWarning();
    return;
  }
  if (!shutDown_.load()) StopRebootWait();
}

}  // namespace vqx
