#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "window/dialog_template.h"

namespace vqx::win32 {

// An in-memory extended dialog template (DLGTEMPLATEEX and one DLGITEMTEMPLATEEX per
// control, in template order, which is the Tab order) for CreateDialogIndirectParamW and
// DialogBoxIndirectParamW. The dialog manager then places every control at its dialog
// units converted with the font's base units, exactly as MapDialogRect does. The buffer
// is DWORD-aligned as the functions require.
// The dialog's font is the template's own ("MS Sans Serif" 8): its coordinates are that
// font's dialog units, and its labels and boxes were sized to that font's text. The shell
// dialog font ("MS Shell Dlg", Tahoma on many systems) draws the same labels wider than
// their rectangles. On Windows "MS Sans Serif" is a bitmap face in the sizes 8 to 24
// points, so at 150 % the dialog manager takes its 12-point cut, as crisp as at 100 %.
std::vector<DWORD> BuildDialogTemplate(const DialogTemplate& dialog, DWORD dialogStyle);

// What a built template holds, read back (for tests and checks): the header and each
// item's class atom, styles, rectangle and id.
struct ParsedItem {
  DWORD style, exStyle;
  short x, y, cx, cy;
  DWORD id;
  WORD classAtom;
  std::wstring title;
};
struct ParsedDialog {
  DWORD style;
  short cx, cy;
  std::wstring caption;
  WORD pointSize;
  std::wstring fontName;
  std::vector<ParsedItem> items;
};
ParsedDialog ParseDialogTemplate(const std::vector<DWORD>& buffer);

}  // namespace vqx::win32
