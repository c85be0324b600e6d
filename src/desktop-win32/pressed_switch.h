#pragma once

#include <windows.h>

namespace vqx::win32 {

// Makes a push-like radio or check button (the view switches) look as Windows draws it
// with visual styles while it is checked: a pressed button. Without a theme (classic
// Windows, Wine) the button control fills a checked push-like button with a dithered
// highlight instead, which reads as a flat bright block rather than a switch that is down.
// Where the button has a theme, its own drawing is kept. Stays with the button until it is
// destroyed.
void DrawPressedWhileChecked(HWND button);

// Paints a button as a pressed push button with its text, focus rectangle included.
void PaintPressedButton(HWND button, HDC dc);

}  // namespace vqx::win32
