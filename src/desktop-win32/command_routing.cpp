#include "command_routing.h"

#include "win32_window_surface.h"
#include "window/control_ids.h"

namespace vqx::win32 {

std::optional<RoutedCommand> RouteCommand(WPARAM wParam, LPARAM lParam, bool programmaticChange) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  const auto control = reinterpret_cast<HWND>(lParam);
  if (control == nullptr) {
    if (id == IDOK || id == IDCANCEL) return std::nullopt;
    return RoutedCommand{id, kBnClicked};
  }
  if (HasWindowClass(control, L"Button")) {
    if (code == BN_CLICKED) return RoutedCommand{id, kBnClicked};
  } else if (HasWindowClass(control, L"ListBox")) {
    if (code == LBN_SELCHANGE) return RoutedCommand{id, kLbnSelChange};
  } else if (HasWindowClass(control, L"Edit")) {
    if (code == EN_CHANGE && !programmaticChange) return RoutedCommand{id, kEnChange};
    if (code == EN_MAXTEXT) return RoutedCommand{id, kEnMaxText};
  }
  return std::nullopt;
}

}  // namespace vqx::win32
