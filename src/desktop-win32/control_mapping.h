#pragma once

#include <windows.h>

#include <string>

#include "window/dialog_template.h"

namespace vqx::win32 {

// One control of a template as the dialog manager creates it: the predefined window
// class (as its atom), the window styles and the extended styles.
struct Win32ControlStyle {
  WORD classAtom;  // 0x0080 button, 0x0081 edit, 0x0082 static, 0x0083 list box, 0x0085 combo box
  DWORD style;
  DWORD exStyle;
};

inline constexpr WORD kButtonAtom = 0x0080;
inline constexpr WORD kEditAtom = 0x0081;
inline constexpr WORD kStaticAtom = 0x0082;
inline constexpr WORD kListBoxAtom = 0x0083;
inline constexpr WORD kComboBoxAtom = 0x0085;

// The template's kind and style flags in Win32 terms. Every control is a visible child;
// a bordered edit or list gets the sunken client edge a dialog gives it.
Win32ControlStyle MapControl(const ControlTemplate& control);

// Window texts for the wide-character functions, and back (a character Latin-1 cannot
// hold reads as '?'): the templates' words and the unit's bytes, one byte one character
// as the Qt program shows them (common/text_kinds.h). Never a path, an argument or an
// environment value: those are UTF-8 and go through win32/wide_text.h.
std::wstring WidenLatin1(const char* text);
std::string NarrowToLatin1(const std::wstring& text);

}  // namespace vqx::win32
