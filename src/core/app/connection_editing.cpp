// The window logic's side of the remote connection dialogs: the list lives in the
// preferences block, and every change is saved at once.

#include <cstring>
#include <memory>

#include "app/app_window.h"
#include "app/connection_dialogs.h"

namespace vqx {

namespace {

constexpr const char* kListChangedText =
    "The remote connection list was changed by another program meanwhile, and this entry is no longer "
    "where it was. Nothing was changed; look at the list again.";

}  // namespace

void CAppWindow::ShowRemoteConnectionsDialog() {
  if (services_.dialogs == nullptr || modalDialogOpen_) return;
  modalDialogOpen_ = true;
  ConnectionListDialog dialog(*this, *services_.dialogs);
  services_.dialogs->RunModal(dialog);
  modalDialogOpen_ = false;
}

bool CAppWindow::CanNameThisUnit() const {
  const StatusState state = statusState_.load();
  if (state != kStatusAttempting && state != kStatusConnected) return false;
  return !FindConnectionName(nullptr, 0);
}

void CAppWindow::NameThisUnit() {
  // The state may have moved on since the menu was shown.
  if (services_.dialogs == nullptr || modalDialogOpen_ || !CanNameThisUnit()) return;
  if (RemoteConnectionListFull()) {
    ShowBox(MessageOwner::MainWindow, ConnectionListFullText().c_str(), MessageIcon::Warning);
    return;
  }
  modalDialogOpen_ = true;
  ConnectionEntryDialog dialog = ConnectionEntryDialog::ForAdd(*this, GetPeerAddress());
  services_.dialogs->RunModal(dialog);
  modalDialogOpen_ = false;
}

std::vector<RemoteConnection> CAppWindow::RemoteConnectionList() const { return ConnectionsOf(*prefs_); }

std::optional<Ipv4> CAppWindow::RemoteConnectionAddress(int32_t index) const {
  return StoredConnectionAddress(*prefs_, index);
}

std::string CAppWindow::DuplicateConnectionWarning(const Ipv4& address, int32_t except) const {
  return DuplicateAddressWarning(*prefs_, address, except);
}

bool CAppWindow::RemoteConnectionListFull() const { return ConnectionCount(*prefs_) >= kRemoteConnectionCapacity; }

int CAppWindow::ShowDialogBox(const std::string& text, MessageIcon icon, MessageButtons buttons) {
  return surface_.ShowMessageBox(MessageOwner::Dialog, text.c_str(), kProgramCaption, icon, buttons);
}

bool CAppWindow::ConnectionStillThere(int32_t index, const RemoteConnection& expected) {
  // Another program's save is looked at first: the user's answer decides which list the
  // change applies to.
  SyncWithPreferencesFile(MessageOwner::Dialog);
  if (index < 0) return true;
  const std::vector<RemoteConnection> list = ConnectionsOf(*prefs_);
  if (static_cast<size_t>(index) < list.size() && list[static_cast<size_t>(index)].address == expected.address &&
      list[static_cast<size_t>(index)].description == expected.description) {
    return true;
  }
  ShowDialogBox(kListChangedText, MessageIcon::Warning, MessageButtons::Ok);
  return false;
}

bool CAppWindow::SaveConnectionChange(const RemoteConnectionListCopy& before) {
  // The list shows what the file holds, as the History does: a change that could not be
  // saved is taken back.
  const bool saved = SavePreferences(MessageOwner::Dialog, "The remote connection list was left as it was.");
  if (!saved) {
    std::lock_guard lock(stateMutex_);
    RestoreConnectionList(*prefs_, before);
  }
  // The panel names the peer from the list: redraw it.
  surface_.Invalidate(true);
  return saved;
}

bool CAppWindow::StoreConnection(int32_t index, const RemoteConnection& expected, const Ipv4& address,
                                 const std::string& description) {
  if (!ConnectionStillThere(index, expected)) return false;
  std::string error;
  bool changed;
  const std::unique_ptr<RemoteConnectionListCopy> before = CopyOfConnectionList(*prefs_);
  {
    std::lock_guard lock(stateMutex_);
    changed = index < 0 ? AddConnection(*prefs_, address, description, &error)
                        : EditConnection(*prefs_, index, address, description, &error);
  }
  if (!changed) {
    ShowDialogBox(error, MessageIcon::Warning, MessageButtons::Ok);
    return false;
  }
  return SaveConnectionChange(*before);
}

bool CAppWindow::DeleteConnection(int32_t index, const RemoteConnection& expected) {
  if (!ConnectionStillThere(index, expected)) return false;
  const std::unique_ptr<RemoteConnectionListCopy> before = CopyOfConnectionList(*prefs_);
  {
    std::lock_guard lock(stateMutex_);
    if (!RemoveConnection(*prefs_, index)) return false;
  }
  return SaveConnectionChange(*before);
}

}  // namespace vqx
