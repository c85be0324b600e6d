#pragma once

#include "window/dialog_template.h"
#include "window/window_surface.h"

namespace vqx {

// The logic of one modal dialog. It lives in the core; a front-end only renders the
// template and passes the user's actions on, so every front-end behaves the same.
class IDialogLogic {
 public:
  virtual ~IDialogLogic() = default;
  virtual const DialogTemplate& Template() const = 0;
  // The dialog's controls exist and are empty: fill them (WM_INITDIALOG).
  virtual void OnInit(IWindowSurface& dialog) = 0;
  // A click or notification of a control (WM_COMMAND); Esc and the close box arrive as
  // Cancel (id 2). Returns true when the dialog ends.
  virtual bool OnCommand(IWindowSurface& dialog, int id, int notificationCode) = 0;
  // The dialog is going, however it ended (the logic, or a close of the whole program):
  // its controls still exist, and after this the logic no longer writes to them.
  virtual void OnClosed(IWindowSurface& /*dialog*/) {}
};

// Runs dialogs for the window logic. Message boxes that the logic shows with
// MessageOwner::Dialog while a dialog runs belong to the innermost dialog open.
class IDialogHost {
 public:
  virtual ~IDialogHost() = default;
  // Renders the template, runs it modally over the window or dialog open now, and
  // returns when the logic has ended it. User-interface thread.
  virtual void RunModal(IDialogLogic& logic) = 0;
};

}  // namespace vqx
