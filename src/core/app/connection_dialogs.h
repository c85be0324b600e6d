#pragma once

// The logic of the remote connection dialogs: the list ("Remote Connections") and the
// entry dialogs ("Add Connection", "Edit Connection"). They read and check what the user
// typed and hand each change to the window logic, which stores and saves it at once.

#include <cstdint>
#include <optional>
#include <string>

#include "app/remote_connections.h"
#include "window/dialog_host.h"

namespace vqx {

class CAppWindow;

// The line the list shows for an entry: the address, two spaces, the description, and a
// note for an entry the status panel never uses.
std::string ConnectionListLine(const RemoteConnection& entry, bool unreadableAddress, bool shadowed);

class ConnectionEntryDialog final : public IDialogLogic {
 public:
  // Add: index -1, address empty or filled in (the peer of "Name this unit..."). Edit:
  // the entry at index, as the list showed it.
  static ConnectionEntryDialog ForAdd(CAppWindow& window, std::optional<Ipv4> address);
  static ConnectionEntryDialog ForEdit(CAppWindow& window, int32_t index, const RemoteConnection& entry);

  const DialogTemplate& Template() const override;
  void OnInit(IWindowSurface& dialog) override;
  bool OnCommand(IWindowSurface& dialog, int id, int notificationCode) override;
  bool Stored() const { return stored_; }

 private:
  ConnectionEntryDialog(CAppWindow& window, int32_t index, RemoteConnection original, std::optional<Ipv4> address);
  bool Accept(IWindowSurface& dialog);

  CAppWindow& window_;
  int32_t index_;               // -1: a new entry
  RemoteConnection original_;   // the entry as it was when the dialog opened
  std::optional<Ipv4> address_; // what the address boxes start with
  bool stored_ = false;
};

class ConnectionListDialog final : public IDialogLogic {
 public:
  ConnectionListDialog(CAppWindow& window, IDialogHost& host) : window_(window), host_(host) {}

  const DialogTemplate& Template() const override;
  void OnInit(IWindowSurface& dialog) override;
  bool OnCommand(IWindowSurface& dialog, int id, int notificationCode) override;

 private:
  // Fills the list from the window logic's list and selects select (-1: none).
  void Refill(IWindowSurface& dialog, int select);
  void EnableButtons(IWindowSurface& dialog);
  void Add(IWindowSurface& dialog);
  void Edit(IWindowSurface& dialog);
  void Remove(IWindowSurface& dialog);

  CAppWindow& window_;
  IDialogHost& host_;
};

}  // namespace vqx
