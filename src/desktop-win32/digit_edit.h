#pragma once

#include <windows.h>

namespace vqx::win32 {

// Makes an edit control take digits only, also from the clipboard (ES_NUMBER alone lets
// a paste through). The filter stays with the control until it is destroyed.
void MakeDigitsOnly(HWND edit);

}  // namespace vqx::win32
