#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vqx::win32 {

// What the serial port dialog's template cannot say, added to its built controls before
// its logic fills them: the machine's serial ports, offered under the name box as the user
// types (where COM runs on the thread) and shown as its tip, and the name's length, which
// the preferences file holds. Any name can still be typed.
void DecorateSerialPortDialog(HWND dialog, const std::vector<std::string>& portsFound);

}  // namespace vqx::win32
