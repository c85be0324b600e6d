#include "window/connection_dialog_templates.h"

#include <array>

#include "window/control_ids.h"

namespace vqx {
namespace {

using K = ControlKind;
using V = ControlView;

constexpr uint32_t kPush = kStylePushButton | kStyleTabStop;
constexpr uint32_t kEditBox = kStyleAutoHScroll | kStyleBorder | kStyleTabStop;
constexpr uint32_t kOctet = kStyleDigitsOnly | kEditBox;
constexpr uint32_t kLabelRightV = kStyleAlignRight | kStyleVCenter;
constexpr uint32_t kLabelCenterV = kStyleAlignCenter | kStyleVCenter;

constexpr std::array<ControlTemplate, 6> kListControls{{
    {ids::kConnectionList, K::ListBox, "", 7, 7, 196, 140,
     kStyleNotify | kStyleNoIntegralHeight | kStyleVScroll | kStyleBorder | kStyleTabStop, V::All},
    {ids::kConnectionAdd, K::Button, "Add...", 210, 7, 50, 14, kPush, V::All},
    {ids::kConnectionEdit, K::Button, "Edit...", 210, 25, 50, 14, kPush, V::All},
    {ids::kConnectionRemove, K::Button, "Remove", 210, 43, 50, 14, kPush, V::All},
    {ids::kDialogClose, K::Button, "Close", 210, 133, 50, 14, kPush, V::All},
    {ids::kConnectionCountLabel, K::Static, "", 7, 151, 196, 10, kStyleAlignLeft | kStyleVCenter, V::All},
}};
constexpr DialogTemplate kListDialog{ids::kConnectionsDialog, "Remote Connections", "MS Sans Serif", 8, 267, 166,
                                     kListControls};

// The same controls for both: the address on top (what a technician reads off the
// status panel), then the name to show for it.
constexpr std::array<ControlTemplate, 12> kEntryControls{{
    {ids::kConnectionIp1, K::Edit, "", 62, 7, 22, 14, kOctet, V::All},
    {ids::kConnectionIp2, K::Edit, "", 90, 7, 22, 14, kOctet, V::All},
    {ids::kConnectionIp3, K::Edit, "", 118, 7, 22, 14, kOctet, V::All},
    {ids::kConnectionIp4, K::Edit, "", 146, 7, 22, 14, kOctet, V::All},
    {ids::kConnectionDescription, K::Edit, "", 62, 27, 128, 14, kEditBox, V::All},
    {ids::kDialogOk, K::Button, "OK", 42, 50, 50, 14, kStyleDefaultPushButton | kStyleTabStop, V::All},
    {ids::kDialogCancel, K::Button, "Cancel", 105, 50, 50, 14, kPush, V::All},
    {-1, K::Static, "IP Address", 7, 7, 50, 14, kLabelRightV, V::All},
    {-1, K::Static, ".", 84, 7, 6, 14, kLabelCenterV, V::All},
    {-1, K::Static, ".", 112, 7, 6, 14, kLabelCenterV, V::All},
    {-1, K::Static, ".", 140, 7, 6, 14, kLabelCenterV, V::All},
    {-1, K::Static, "Description", 7, 27, 50, 14, kLabelRightV, V::All},
}};
constexpr DialogTemplate kAddDialog{ids::kAddConnectionDialog, "Add Connection", "MS Sans Serif", 8, 197, 71,
                                    kEntryControls};
constexpr DialogTemplate kEditDialog{ids::kEditConnectionDialog, "Edit Connection", "MS Sans Serif", 8, 197, 71,
                                     kEntryControls};

}  // namespace

const DialogTemplate& ConnectionListDialogTemplate() { return kListDialog; }
const DialogTemplate& AddConnectionDialogTemplate() { return kAddDialog; }
const DialogTemplate& EditConnectionDialogTemplate() { return kEditDialog; }

}  // namespace vqx
