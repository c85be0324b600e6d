#include <cstring>

#include "app/app_window.h"
#include "common/assertion.h"
#include "protocol/command_table.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx {

namespace {

int ViewButton(int32_t view) {
  switch (view) {
    case kViewSettings: return ids::kViewSettings;
    case kViewTerminal: return ids::kViewTerminal;
    case kViewHistory: return ids::kViewHistory;
    default: VQX_IMPOSSIBLE("cappwindow");
  }
}

}  // namespace

bool CAppWindow::StartUp() {
  idlePasses_.store(0);
  queryStep_.store(kNothingPending);
  ownCommand_.store(true);
  fullReadActive_.store(false);
  {
    std::lock_guard lock(stateMutex_);
    currentSettings_.name[0] = '\0';
    currentSettings_.webPassword[0] = '\0';
    currentSettings_.firmwareVersion[0] = '\0';
  }
  {
    std::lock_guard lock(outputMutex_);
    outputLog_[0] = '\0';
    outputLogLength_ = 0;
  }
  statusState_.store(kStatusPortNotOpen);

  LoadPreferences();

  if (OpenPortFromPreferences(MessageOwner::None)) {
    statusState_.store(kStatusCommunicating);
    return true;
  }
  ShowPortOpenFailure(MessageOwner::None);
  return false;
}

void CAppWindow::InitializeWindow() {
  // Only a damaged preferences file holds another view; it opens the Settings view.
  int32_t stored = prefs_->view;
  if (stored != kViewSettings && stored != kViewTerminal && stored != kViewHistory) stored = kViewSettings;
  prefs_->view = 0;  // so that the switch is never skipped
  SwitchView(stored);
  prefs_->view = stored;
  surface_.SetChecked(ViewButton(stored), true);

  for (const ControlTemplate& control : MainDialogTemplate().controls) {
    for (const char* item : InitialListItems(control.id)) surface_.AddItem(control.id, item);
  }
  RefillHistoryList();
}

bool CAppWindow::Create() {
  const bool opened = StartUp();
  InitializeWindow();
  return opened;
}

}  // namespace vqx
