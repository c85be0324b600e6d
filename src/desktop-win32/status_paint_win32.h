#pragma once

#include <windows.h>

#include <string>

namespace vqx::win32 {

// Paints the status panel inside the "Status" group box of dialog with GDI: the area
// cleared to the button face, the sentence in the upper half and, when not empty, the
// name line in the lower half, each in its status colour and clipped to its half; then
// the port line, when not empty, right-aligned in the lower half between the end of the
// name line and the right edge (ComputeStatusPortBox), shortened before its last '/' so
// that a serial server's host:port stays readable, and left out where there is no room.
// Where the panel is in dialog's client area (empty when the window has no "Status" box):
// a double-click or the context menu there offers to name the unit.
RECT StatusPanelArea(HWND dialog);

void PaintStatusPanel(HWND dialog, HDC dc, const std::string& sentence, const std::string& nameLine,
                      const std::string& portLine);

}  // namespace vqx::win32
