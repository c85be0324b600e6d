#include <cstdint>
#include <memory>
#include <string>

#include "app/app_window.h"
#include "app/update_plan.h"
#include "protocol/command_table.h"

namespace vqx {

namespace {

constexpr const char* kNothingChangedText = "No settings have been changed";
constexpr const char* kReadNotFinishedText =
    "The VQX-2 settings are still being read. Please wait until the read has finished.";
constexpr const char* kMulticastWarning =
    "To enter multicast mode, the Server IP address must be a valid\r"
    "multicast address (224.0.0.0 - 239.255.255.255) or all zeros.";

}  // namespace

void CAppWindow::UpdateSettings() { RunUpdate(nullptr); }

void CAppWindow::UpdateSettingsTo(const DeviceSettings& target) {
  // After the orderly stop nothing more goes to the unit.
  if (shutDown_.load()) return;
  idlePasses_.store(0);
  RunUpdate(&target);
}

void CAppWindow::RunUpdate(const DeviceSettings* target) {
  if (PortNotOpen()) {
    ShowBox(MessageOwner::None, kPortNotOpenText, MessageIcon::Warning);
    return;
  }
  if (!IsReadFinished()) {
    // Until the read has ended the form is half filled and a status reply may already
    // have made the unit look idle: what would go out is not what the user changed.
    switch (statusState_.load()) {
      case kStatusEnteringCommand:
      case kStatusDisconnected:
      case kStatusAttempting:
      case kStatusConnected:
      case kStatusQuerying:
      case kStatusCommunicating:
      case kStatusRebootWait: ShowBox(MessageOwner::None, kReadNotFinishedText, MessageIcon::Warning); break;
      default: break;  // transparent or not responding: Attention starts a read
    }
    return;
  }

  const UpdatePlan plan = target != nullptr ? PlanUpdateTo(*target) : PlanUpdateFromForm();
  if (!plan.lineBreakLabels.empty()) {
    for (const char* label : plan.lineBreakLabels) {
      const std::string warning =
          std::string("The ") + label + " cannot be sent to the VQX-2 because it contains a line break.";
      ShowBox(MessageOwner::None, warning.c_str(), MessageIcon::Warning);
    }
    return;
  }
  for (const char* label : plan.refusedEdits) {
    const std::string warning = std::string("The VQX-2 does not support the ") + label + ", so it is not sent.";
    ShowBox(MessageOwner::None, warning.c_str(), MessageIcon::Warning);
  }

  bool changed = false;
  bool serialChanged = false;
  std::string unsent;
  for (const UpdateStep& step : plan.steps) {
    if (step.refusedMulticast) {
      ShowBox(MessageOwner::None, kMulticastWarning, MessageIcon::Warning);
      continue;
    }
    if (step.hostSerial) {
      std::lock_guard lock(stateMutex_);
      FollowHostLine(*RowOfCommand(step.record.commandId), plan.target, *prefs_);
      serialChanged = true;
    }
    if (!SendInBurst(step.record)) {
      if (!unsent.empty()) unsent += ", ";
      unsent += CommandKeywordTable[step.record.commandId];
    }
    changed = true;
  }

  if (!changed) {
    ShowBox(MessageOwner::None, kNothingChangedText, MessageIcon::Warning);
    return;
  }

  CommandRecord save;
  save.commandId = kCmdSave;
  save.value = -1;
  if (!SendInBurst(save)) unsent += unsent.empty() ? "SAVE" : ", SAVE";
  if (!unsent.empty()) {
    // The unit keeps its old values for these; the read after the reboot shows them.
    const std::string warning = "These commands could not be sent to the VQX-2 because the line was busy: " +
                                unsent + ". Check the settings after the VQX-2 has been read again.";
    ShowBox(MessageOwner::None, warning.c_str(), MessageIcon::Warning);
  }
  // The unit reboots once SAVE has reached it, and at a slow baud rate the burst is still
  // leaving the port when the last write returns: the reboot wait (and a reopen at new
  // line settings) must not start before it has left.
  link_.DrainOutput();
  SavePreferences();

  if (serialChanged) {
    // The unit speaks the new settings after its reboot; follow it.
    link_.Close();
    if (!OpenPortFromPreferences(MessageOwner::None)) {
      ShowPortOpenFailure(MessageOwner::None);
      SetStatusState(kStatusPortNotOpen);
      return;
    }
  }
  StartRebootWait();
}

RefusedSettings CAppWindow::RefusedByTheUnit() const {
  RefusedSettings refused;
  const auto rows = SettingRows();
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (settingReadState_[i].load() == ReadMark::Refused) {
      refused.byCommand[static_cast<size_t>(rows[i].commandId)] = true;
    }
  }
  return refused;
}

UpdatePlan CAppWindow::PlanUpdateFromForm() {
  const RefusedSettings refused = RefusedByTheUnit();
  // Read the whole form first: the surface is never called under stateMutex_.
  auto texts = std::make_unique<UpdateFormTexts>();
  ReadUpdateForm(surface_, *texts);
  // The fallbacks decide only what is compared; currentSettings changes only by what
  // the unit reports.
  std::lock_guard lock(stateMutex_);
  const FormValues values = UnderstandForm(*texts, currentSettings_);
  return PlanUpdate(values.target, values.compared, refused);
}

UpdatePlan CAppWindow::PlanUpdateTo(const DeviceSettings& target) {
  const RefusedSettings refused = RefusedByTheUnit();
  std::lock_guard lock(stateMutex_);
  return PlanUpdate(target, currentSettings_, refused);
}

bool CAppWindow::SendInBurst(const CommandRecord& record) {
  // A reply the worker has not taken yet, or a line the worker is writing, holds the
  // link for a moment; a setting must not be dropped for that. The worker takes the reply
  // on its next pass, but a machine that is busy elsewhere can hold the worker back for
  // a second or more: the wait is measured on the clock, up to the reply time-out, the
  // longest the link itself waits on anything.
  const uint32_t start = services_.clock.NowMs();
  for (;;) {
    if (link_.SendCommand(record)) return true;
    const LinkState state = link_.GetState();
    if (state != LinkState::ReplyReady && state != LinkState::Sending) return false;
    if (ElapsedMs(services_.clock.NowMs(), start) >= kReplyTimeoutMs) return false;
    services_.clock.SleepMs(1);
  }
}

void CAppWindow::ResetSerialLink() {
  const bool rebooting = statusState_.load() == kStatusRebootWait;
  // Saved first: the file keeps the host serial settings in force before the reset.
  SavePreferences();
  link_.Close();
  {
    std::lock_guard lock(outputMutex_);
    outputLog_[0] = '\0';
    outputLogLength_ = 0;
  }
  queryStep_.store(kNothingPending);
  SetStatusState(kStatusPortNotOpen);
  ownCommand_.store(true);
  {
    std::lock_guard lock(stateMutex_);
    prefs_->baudRate = 9600;
    prefs_->dataBits = 8;
    prefs_->stopBits = 1;
    prefs_->parity = 'N';
  }
  if (!OpenPortFromPreferences(MessageOwner::None)) {
    ShowPortOpenFailure(MessageOwner::None);
    return;
  }
  // A unit that is rebooting would miss the escape: it is read when its wait ends.
  SetStatusState(rebooting ? kStatusRebootWait : kStatusCommunicating);
}

}  // namespace vqx
