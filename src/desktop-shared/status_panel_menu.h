#pragma once

#include <vector>

namespace vqx::desktop {

// The status panel's context menu: naming the unit shown there (only while it may be
// named), and the remote connection list.
struct StatusMenuItem {
  int id = 0;
  const char* text = nullptr;
};

std::vector<StatusMenuItem> StatusPanelMenu(bool canNameThisUnit);

}  // namespace vqx::desktop
