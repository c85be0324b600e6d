#pragma once

#include <windows.h>

#include <optional>

namespace vqx::win32 {

// A WM_COMMAND of the main window as the window logic takes it: a control or menu id and
// a notification code.
struct RoutedCommand {
  int id;
  int code;
};

// Which WM_COMMANDs reach the window logic: a menu choice (as a click); a button's click;
// the History list's selection; an edit's change the user made (not the program's own,
// programmaticChange) and its full-box notice. The dialog manager's Enter and Esc
// (IDOK, IDCANCEL without a control), focus notices and drop-down lists' own
// notifications do not: a drop-down's CBN_SELCHANGE has the value of LBN_SELCHANGE and
// would otherwise pass for a History selection.
std::optional<RoutedCommand> RouteCommand(WPARAM wParam, LPARAM lParam, bool programmaticChange);

}  // namespace vqx::win32
