#pragma once

#include <windows.h>

#include <string>

namespace vqx::win32 {

// Where the panel is in dialog's client area (empty when the window has no "Status" box):
// a double-click or the context menu there offers to name the unit.
RECT StatusPanelArea(HWND dialog);

// text as it fits width pixels in dc's font: whole, or its middle replaced by an ellipsis,
// keeping as many characters of both ends as fit (as Qt's ElideMiddle does for vqxsu).
// DrawTextW's DT_END_ELLIPSIS would cut the host:port end of "rfc2217://host:4001"; its
// DT_PATH_ELLIPSIS drops the "Port:" label and then cuts into the host from the left when
// what follows the last '/' is long, and Windows documents it for '\' only.
std::wstring ElideMiddle(HDC dc, const std::wstring& text, int width);

// Paints the status panel inside the "Status" group box of dialog with GDI: the area
// cleared to the button face, the sentence in the upper half and, when not empty, the
// name line in the lower half, each in its status colour and clipped to its half; then
// the port line, when not empty, right-aligned in the lower half between the end of the
// name line and the right edge (ComputeStatusPortBox), shortened in the middle
// (ElideMiddle) so that its label and a serial server's host:port stay readable, and left
// out where there is no room.
void PaintStatusPanel(HWND dialog, HDC dc, const std::string& sentence, const std::string& nameLine,
                      const std::string& portLine);

}  // namespace vqx::win32
