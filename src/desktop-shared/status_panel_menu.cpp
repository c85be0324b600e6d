#include "status_panel_menu.h"

#include "window/control_ids.h"

namespace vqx::desktop {

std::vector<StatusMenuItem> StatusPanelMenu(bool canNameThisUnit) {
  std::vector<StatusMenuItem> items;
  if (canNameThisUnit) items.push_back({ids::kMenuNameThisUnit, "Name this unit..."});
  items.push_back({ids::kMenuRemoteConnections, "Remote Connections..."});
  return items;
}

}  // namespace vqx::desktop
