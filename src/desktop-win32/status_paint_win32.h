#pragma once

#include <windows.h>

#include <string>

namespace vqx::win32 {

// Paints the status panel inside the "Status" group box of dialog with GDI: the area
// cleared to the button face, the sentence in the upper half and, when not empty, the
// name line in the lower half, each in its status colour and clipped to its half.
// Where the panel is in dialog's client area (empty when the window has no "Status" box):
// a double-click or the context menu there offers to name the unit.
RECT StatusPanelArea(HWND dialog);

void PaintStatusPanel(HWND dialog, HDC dc, const std::string& sentence, const std::string& nameLine);

}  // namespace vqx::win32
