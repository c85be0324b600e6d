#pragma once

#include <windows.h>

namespace vqx::win32 {

// Makes a push-like radio or check button (the view switches) look like a switch that is
// down while it is checked: a pressed push button, sunken on the plain button face, as
// Windows draws one without visual styles. A theme draws a checked push-like button in its
// pressed colour instead (Wine's light theme a flat block of its highlight blue), and the
// button control alone fills it with a dithered highlight: neither reads as a switch that
// is down. So the switch goes without its theme, raised while it is up. Stays with the
// button until it is destroyed.
void DrawPressedWhileChecked(HWND button);

// Paints a button as a pressed push button with its text, focus rectangle included.
void PaintPressedButton(HWND button, HDC dc);

}  // namespace vqx::win32
