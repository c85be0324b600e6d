#include "app/connection_dialogs.h"

#include <array>
#include <vector>

#include "app/app_window.h"
#include "window/connection_dialog_templates.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

constexpr std::array<int, 4> kOctetBoxes{ids::kConnectionIp1, ids::kConnectionIp2, ids::kConnectionIp3,
                                         ids::kConnectionIp4};

// Longer than any description that fits, so that a long one is refused, not cut.
std::string TextOf(IWindowSurface& dialog, int id) {
  char buffer[1024];
  const size_t length = dialog.GetText(id, buffer, sizeof(buffer));
  return std::string(buffer, length);
}

}  // namespace

std::string ConnectionListLine(const RemoteConnection& entry, bool unreadableAddress, bool shadowed) {
  std::string line = entry.address + "  " + entry.description;
  if (unreadableAddress) line += "  (not an IP address: never used)";
  if (shadowed) line += "  (not used: an earlier entry has this address)";
  return line;
}

// ---- Add Connection, Edit Connection -----------------------------------------------------

ConnectionEntryDialog::ConnectionEntryDialog(CAppWindow& window, int32_t index, RemoteConnection original,
                                             std::optional<Ipv4> address)
    : window_(window), index_(index), original_(std::move(original)), address_(address) {}

ConnectionEntryDialog ConnectionEntryDialog::ForAdd(CAppWindow& window, std::optional<Ipv4> address) {
  return ConnectionEntryDialog(window, -1, {}, address);
}

ConnectionEntryDialog ConnectionEntryDialog::ForEdit(CAppWindow& window, int32_t index, const RemoteConnection& entry) {
  return ConnectionEntryDialog(window, index, entry, window.RemoteConnectionAddress(index));
}

const DialogTemplate& ConnectionEntryDialog::Template() const {
  return index_ < 0 ? AddConnectionDialogTemplate() : EditConnectionDialogTemplate();
}

void ConnectionEntryDialog::OnInit(IWindowSurface& dialog) {
  if (address_) {
    for (size_t i = 0; i < 4; ++i) dialog.SetText(kOctetBoxes[i], std::to_string((*address_)[i]).c_str());
  }
  dialog.SetText(ids::kConnectionDescription, original_.description.c_str());
  // With the address known, what is left to type is the name.
  const int first = address_ ? ids::kConnectionDescription : ids::kConnectionIp1;
  dialog.SetFocus(first);
  dialog.SelectAllText(first);
}

bool ConnectionEntryDialog::OnCommand(IWindowSurface& dialog, int id, int notificationCode) {
  if (notificationCode == kEnChange) {
    // As in the main window's address rows: the third digit moves on to the next box.
    for (size_t i = 0; i + 1 < kOctetBoxes.size(); ++i) {
      if (kOctetBoxes[i] == id && TextOf(dialog, id).size() == 3) {
        dialog.SetFocus(kOctetBoxes[i + 1]);
        dialog.SelectAllText(kOctetBoxes[i + 1]);
      }
    }
    return false;
  }
  if (notificationCode != kBnClicked) return false;
  if (id == ids::kDialogCancel) return true;
  if (id == ids::kDialogOk) return Accept(dialog);
  return false;
}

bool ConnectionEntryDialog::Accept(IWindowSurface& dialog) {
  std::array<std::string, 4> octets;
  for (size_t i = 0; i < 4; ++i) octets[i] = TextOf(dialog, kOctetBoxes[i]);
  std::string error;
  const std::optional<Ipv4> address = AddressFromOctetTexts(octets, &error);
  if (!address) {
    window_.ShowDialogBox(error, MessageIcon::Warning, MessageButtons::Ok);
    for (size_t i = 0; i < 4; ++i) {
      std::string ignored;
      std::array<std::string, 4> one{octets[i], "0", "0", "0"};
      if (!AddressFromOctetTexts(one, &ignored)) {
        dialog.SetFocus(kOctetBoxes[i]);
        dialog.SelectAllText(kOctetBoxes[i]);
        break;
      }
    }
    return false;
  }
  const std::string description = TextOf(dialog, ids::kConnectionDescription);
  if (!CheckConnectionDescription(description, &error)) {
    window_.ShowDialogBox(error, MessageIcon::Warning, MessageButtons::Ok);
    dialog.SetFocus(ids::kConnectionDescription);
    dialog.SelectAllText(ids::kConnectionDescription);
    return false;
  }
  const std::string duplicate = window_.DuplicateConnectionWarning(*address, index_);
  if (!duplicate.empty() &&
      window_.ShowDialogBox(duplicate + "\rStore this entry anyway?", MessageIcon::Warning, MessageButtons::YesNo) !=
          kAnswerYes) {
    dialog.SetFocus(kOctetBoxes[0]);
    return false;
  }
  stored_ = window_.StoreConnection(index_, original_, *address, description);
  // A refusal that the user cannot mend here (the list changed meanwhile) ends it too.
  return true;
}

// ---- Remote Connections ---------------------------------------------------------------------

const DialogTemplate& ConnectionListDialog::Template() const { return ConnectionListDialogTemplate(); }

void ConnectionListDialog::OnInit(IWindowSurface& dialog) {
  Refill(dialog, -1);
  dialog.SetFocus(ids::kConnectionList);
}

void ConnectionListDialog::Refill(IWindowSurface& dialog, int select) {
  while (dialog.ItemCount(ids::kConnectionList) > 0) {
    if (dialog.DeleteItem(ids::kConnectionList, 0) < 0) break;
  }
  const std::vector<RemoteConnection> list = window_.RemoteConnectionList();
  for (size_t i = 0; i < list.size(); ++i) {
    const auto index = static_cast<int32_t>(i);
    const std::optional<Ipv4> address = window_.RemoteConnectionAddress(index);
    bool shadowed = false;
    if (address) {
      for (int32_t earlier = 0; earlier < index && !shadowed; ++earlier) {
        shadowed = window_.RemoteConnectionAddress(earlier) == address;
      }
    }
    dialog.AddItem(ids::kConnectionList, ConnectionListLine(list[i], !address, shadowed).c_str());
  }
  const int count = static_cast<int>(list.size());
  dialog.SetCurrentSelection(ids::kConnectionList, select < count ? select : count - 1);
  const std::string counted = std::to_string(count) + " of " + std::to_string(kRemoteConnectionCapacity) +
                              " entries";
  dialog.SetText(ids::kConnectionCountLabel, counted.c_str());
  EnableButtons(dialog);
}

void ConnectionListDialog::EnableButtons(IWindowSurface& dialog) {
  const bool selected = dialog.CurrentSelection(ids::kConnectionList) >= 0;
  dialog.EnableControl(ids::kConnectionEdit, selected);
  dialog.EnableControl(ids::kConnectionRemove, selected);
}

bool ConnectionListDialog::OnCommand(IWindowSurface& dialog, int id, int notificationCode) {
  if (id == ids::kConnectionList) {
    if (notificationCode == kLbnSelChange) EnableButtons(dialog);
    if (notificationCode == kLbnDblClk) Edit(dialog);
    return false;
  }
  if (notificationCode != kBnClicked) return false;
  switch (id) {
    case ids::kConnectionAdd: Add(dialog); break;
    case ids::kConnectionEdit: Edit(dialog); break;
    case ids::kConnectionRemove: Remove(dialog); break;
    case ids::kDialogClose: return true;
    default: break;
  }
  return false;
}

void ConnectionListDialog::Add(IWindowSurface& dialog) {
  if (window_.RemoteConnectionListFull()) {
    window_.ShowDialogBox(ConnectionListFullText(), MessageIcon::Warning, MessageButtons::Ok);
    return;
  }
  ConnectionEntryDialog entry = ConnectionEntryDialog::ForAdd(window_, std::nullopt);
  host_.RunModal(entry);
  const int last = static_cast<int>(window_.RemoteConnectionList().size()) - 1;
  Refill(dialog, entry.Stored() ? last : dialog.CurrentSelection(ids::kConnectionList));
}

void ConnectionListDialog::Edit(IWindowSurface& dialog) {
  const int index = dialog.CurrentSelection(ids::kConnectionList);
  const std::vector<RemoteConnection> list = window_.RemoteConnectionList();
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
  ConnectionEntryDialog entry = ConnectionEntryDialog::ForEdit(window_, index, list[static_cast<size_t>(index)]);
  host_.RunModal(entry);
  Refill(dialog, index);
}

void ConnectionListDialog::Remove(IWindowSurface& dialog) {
  const int index = dialog.CurrentSelection(ids::kConnectionList);
  const std::vector<RemoteConnection> list = window_.RemoteConnectionList();
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
  const RemoteConnection& entry = list[static_cast<size_t>(index)];
  const std::string question =
      "Remove the remote connection " + entry.address + " (\"" + entry.description + "\")?";
  if (window_.ShowDialogBox(question, MessageIcon::Warning, MessageButtons::YesNo) != kAnswerYes) return;
  window_.DeleteConnection(index, entry);
  Refill(dialog, index);
}

}  // namespace vqx
