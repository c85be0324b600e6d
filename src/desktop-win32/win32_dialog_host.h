#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

#include "command_routing.h"
#include "win32_window_surface.h"
#include "window/dialog_host.h"

namespace vqx::win32 {

// Runs the dialogs written once for both programs (the serial port dialog, the remote
// connection list and its entry dialogs) as modal Win32 dialogs built from their
// templates: every click, edit and list notification (a double-click too) goes to the
// dialog's logic, and Esc, Enter and the close box ask the logic instead of ending the
// dialog themselves. While a dialog runs, the message boxes the logic shows over "the
// dialog" belong to the innermost one open.
class Win32DialogHost final : public IDialogHost {
 public:
  Win32DialogHost(HWND mainWindow, Win32WindowSurface& mainSurface)
      : mainWindow_(mainWindow), mainSurface_(mainSurface) {}

  void RunModal(IDialogLogic& logic) override { RunModal(logic, {}); }
  // What the template cannot say (a tip, suggestions, a length limit), added to the built
  // controls before the logic fills them.
  using Decorate = std::function<void(HWND dialog)>;
  void RunModal(IDialogLogic& logic, const Decorate& decorate);

  // The innermost dialog open now (a close of the main window ends it first, tests).
  HWND OpenDialog() const { return open_.empty() ? nullptr : open_.back(); }

 private:
  HWND mainWindow_;
  Win32WindowSurface& mainSurface_;
  std::vector<HWND> open_;
};

// Which WM_COMMANDs of a core dialog reach its logic: those of the main window's routing,
// a list's double-click, and the dialog manager's Enter (IDOK) and Esc or close box
// (IDCANCEL) without a control, as clicks of those buttons.
std::optional<RoutedCommand> RouteDialogCommand(WPARAM wParam, LPARAM lParam, bool programmaticChange);

}  // namespace vqx::win32
