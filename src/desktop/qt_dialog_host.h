#pragma once

#include <functional>
#include <map>
#include <vector>

#include <QDialog>

#include "dialog_units.h"
#include "qt_window_surface.h"
#include "window/dialog_host.h"

namespace vqx::desktop {

// Runs the dialogs written once for both programs (the serial port dialog, the remote
// connection list and its entry dialogs) as Qt dialogs: the template's controls at their
// places, every click, edit and list notification handed to the dialog's logic, Esc and
// the close box as Cancel. Message boxes of the logic belong to the innermost dialog open.
class QtDialogHost final : public IDialogHost {
 public:
  QtDialogHost(const DialogUnits& units, QWidget* mainWindow, QtWindowSurface& mainSurface)
      : units_(units), mainWindow_(mainWindow), mainSurface_(mainSurface) {}

  void RunModal(IDialogLogic& logic) override { RunModal(logic, {}); }
  // What the template cannot say (a completer, a tip), added to the built controls before
  // the logic fills them.
  using Decorate = std::function<void(QDialog& dialog, const std::map<int, QWidget*>& controls)>;
  void RunModal(IDialogLogic& logic, const Decorate& decorate);

  // The innermost dialog open now, and one of its controls (tests, screenshots).
  QDialog* OpenDialog() const { return open_.empty() ? nullptr : open_.back().dialog; }
  QWidget* Control(int id) const;

 private:
  struct Open {
    QDialog* dialog;
    std::map<int, QWidget*> controls;
  };

  const DialogUnits& units_;
  QWidget* mainWindow_;
  QtWindowSurface& mainSurface_;
  std::vector<Open> open_;
};

}  // namespace vqx::desktop
