#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "window/dialog_template.h"

namespace vqx::win32 {

// The font every window of the program uses: the dialog manager's "MS Shell Dlg" at the
// template's size. The templates name "MS Sans Serif", a bitmap face that cannot scale;
// "MS Shell Dlg" maps to its scalable successor with the same metrics, so the dialog
// units come out as the template expects and stay crisp at 150 %.
inline constexpr const wchar_t* kDialogFontName = L"MS Shell Dlg";

// An in-memory extended dialog template (DLGTEMPLATEEX and one DLGITEMTEMPLATEEX per
// control, in template order, which is the Tab order) for CreateDialogIndirectParamW and
// DialogBoxIndirectParamW. The dialog manager then places every control at its dialog
// units converted with the font's base units, exactly as MapDialogRect does. The buffer
// is DWORD-aligned as the functions require.
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
