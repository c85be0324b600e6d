#include "control_mapping.h"

namespace vqx::win32 {
namespace {

bool Has(const ControlTemplate& c, uint32_t style) { return (c.style & style) != 0; }

// Vertical dialog units are eighths of the font's height.
constexpr int kTwoLinesOfText = 16;

DWORD CommonStyles(const ControlTemplate& c) {
  // Each control paints only where no sibling lies: under a theme, a box's edge was found
  // with a strip of another control's painting over it in the History view.
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  if (Has(c, kStyleTabStop)) style |= WS_TABSTOP;
  if (Has(c, kStyleGroupStart)) style |= WS_GROUP;
  if (Has(c, kStyleVScroll)) style |= WS_VSCROLL;
  if (Has(c, kStyleHScroll)) style |= WS_HSCROLL;
  return style;
}

Win32ControlStyle MapStatic(const ControlTemplate& c) {
  // Labels show the unit's texts (its MAC, firmware, a connection's count) as they are: an
  // & there is a character, not a mnemonic. No label of the templates has a mnemonic.
  DWORD style = CommonStyles(c) | SS_LEFT | SS_NOPREFIX;
  if (Has(c, kStyleAlignRight)) style |= SS_RIGHT;
  if (Has(c, kStyleAlignCenter)) style |= SS_CENTER;
  // A text static centres its single line vertically with this style, and then never
  // wraps. A label whose rectangle holds one line only is meant as one line: wrapped, its
  // end would vanish below the rectangle when a face draws wider than the template's.
  if (Has(c, kStyleVCenter) || c.height < kTwoLinesOfText) style |= SS_CENTERIMAGE;
  return {kStaticAtom, style, 0};
}

Win32ControlStyle MapEdit(const ControlTemplate& c) {
  DWORD style = CommonStyles(c) | ES_LEFT;
  if (Has(c, kStyleAutoHScroll)) style |= ES_AUTOHSCROLL;
  // Multi-line edits scroll to new lines themselves, or text past the last visible line
  // would be refused.
  if (Has(c, kStyleMultiLine)) style |= ES_MULTILINE | ES_AUTOVSCROLL;
  if (Has(c, kStyleReadOnly)) style |= ES_READONLY;
  if (Has(c, kStyleDigitsOnly)) style |= ES_NUMBER;
  return {kEditAtom, style, Has(c, kStyleBorder) ? DWORD{WS_EX_CLIENTEDGE} : DWORD{0}};
}

Win32ControlStyle MapButton(const ControlTemplate& c) {
  DWORD style = CommonStyles(c);
  if (Has(c, kStyleGroupBox)) {
    style |= BS_GROUPBOX;
  } else if (Has(c, kStyleAutoCheckBox)) {
    style |= BS_AUTOCHECKBOX;
  } else if (Has(c, kStyleAutoRadioButton)) {
    style |= BS_AUTORADIOBUTTON;
    if (Has(c, kStylePushLike)) style |= BS_PUSHLIKE;
  } else if (Has(c, kStyleDefaultPushButton)) {
    style |= BS_DEFPUSHBUTTON;
  } else {
    style |= BS_PUSHBUTTON;
  }
  if (Has(c, kStyleNotify)) style |= BS_NOTIFY;
  // A group box lies above the controls that follow it in the template (the dialog
  // manager stacks each new control below the last): drawn only after them, it never
  // paints over them.
  return {kButtonAtom, style, Has(c, kStyleGroupBox) ? DWORD{WS_EX_TRANSPARENT} : DWORD{0}};
}

Win32ControlStyle MapComboBox(const ControlTemplate& c) {
  DWORD style = CommonStyles(c);
  style |= Has(c, kStyleDropDownList) ? DWORD{CBS_DROPDOWNLIST} : DWORD{CBS_DROPDOWN};
  return {kComboBoxAtom, style, 0};
}

Win32ControlStyle MapListBox(const ControlTemplate& c) {
  DWORD style = CommonStyles(c);
  if (Has(c, kStyleNotify)) style |= LBS_NOTIFY;
  if (Has(c, kStyleNoIntegralHeight)) style |= LBS_NOINTEGRALHEIGHT;
  return {kListBoxAtom, style, Has(c, kStyleBorder) ? DWORD{WS_EX_CLIENTEDGE} : DWORD{0}};
}

}  // namespace

Win32ControlStyle MapControl(const ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::Static: return MapStatic(control);
    case ControlKind::Edit: return MapEdit(control);
    case ControlKind::Button: return MapButton(control);
    case ControlKind::ComboBox: return MapComboBox(control);
    case ControlKind::ListBox: return MapListBox(control);
  }
  return MapStatic(control);
}

std::wstring WidenLatin1(const char* text) {
  std::wstring wide;
  if (text == nullptr) return wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
  return wide;
}

std::string NarrowToLatin1(const std::wstring& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (const wchar_t c : text) narrow.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  return narrow;
}

}  // namespace vqx::win32
