#pragma once

#include "window/dialog_template.h"

namespace vqx {

// Dialog DLGCONNECTIONS, "Remote Connections": the list of named peers with Add...,
// Edit..., Remove and Close (Close is id 2, so Esc and the close box close it too).
const DialogTemplate& ConnectionListDialogTemplate();
// Dialogs DLGADD ("Add Connection") and DLGEDIT ("Edit Connection"): the four boxes of
// the IP address (1036..1039, digits only) and the description (1035), OK and Cancel.
const DialogTemplate& AddConnectionDialogTemplate();
const DialogTemplate& EditConnectionDialogTemplate();

}  // namespace vqx
