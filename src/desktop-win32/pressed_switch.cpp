#include "pressed_switch.h"

#include <commctrl.h>

#include <string>

namespace vqx::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x5653;  // any number unique to this drawing

using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);

// uxtheme.dll is looked up, not imported: the program imports only the DLLs every Windows
// has loaded anyway, and where it is missing no button has a theme to take off.
void TakeThemeOff(HWND button) {
  static const SetWindowThemeFn setWindowTheme = [] {
    const HMODULE uxtheme = LoadLibraryW(L"uxtheme.dll");
    return uxtheme == nullptr ? nullptr
                              : reinterpret_cast<SetWindowThemeFn>(
                                    reinterpret_cast<void*>(GetProcAddress(uxtheme, "SetWindowTheme")));
  }();
  // A class list that names no class of any theme: no visual style for this window. (Wine
  // takes empty names for "no names given" and keeps the button's own class.)
  if (setWindowTheme != nullptr) setWindowTheme(button, L" ", L" ");
}

bool DrawnHere(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The button control draws these changes at once, outside WM_PAINT (focus, the mouse's
// press and release, a new check or text): over a checked switch that drawing is redone.
bool DrawsDirectly(UINT message) {
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_UPDATEUISTATE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case BM_SETSTATE:
    case BM_SETCHECK:
    case BM_CLICK: return true;
    default: return false;
  }
}

LRESULT CALLBACK PressedSwitchProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_PAINT:
      if (DrawnHere(button)) {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(button, &paint);
        PaintPressedButton(button, dc);
        EndPaint(button, &paint);
        return 0;
      }
      break;
    case WM_PRINTCLIENT:
      if (DrawnHere(button)) {
        PaintPressedButton(button, reinterpret_cast<HDC>(wParam));
        return 0;
      }
      break;
    case WM_NCDESTROY: RemoveWindowSubclass(button, &PressedSwitchProc, kSubclassId); break;
    default: break;
  }
  const LRESULT result = DefSubclassProc(button, message, wParam, lParam);
  // A move of the mouse redraws only while the button holds it (pressed and dragged).
  const bool drew = message == WM_MOUSEMOVE ? GetCapture() == button : DrawsDirectly(message);
  if (drew && DrawnHere(button)) RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  return result;
}

}  // namespace

void PaintPressedButton(HWND button, HDC dc) {
  RECT area;
  GetClientRect(button, &area);
  // Sunken edges on the plain button face.
  DrawFrameControl(dc, &area, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);

  const int length = GetWindowTextLengthW(button);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(button, text.data(), length + 1)));
  const auto font = reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0));
  const HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour =
      SetTextColor(dc, GetSysColor(IsWindowEnabled(button) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  const LRESULT uiState = SendMessageW(button, WM_QUERYUISTATE, 0, 0);
  // A pressed button's text sits a pixel down and to the right.
  RECT textArea = area;
  OffsetRect(&textArea, 1, 1);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textArea,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | ((uiState & UISF_HIDEACCEL) != 0 ? DT_HIDEPREFIX : 0u));
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  if (oldFont != nullptr) SelectObject(dc, oldFont);

  if (GetFocus() == button && (uiState & UISF_HIDEFOCUS) == 0) {
    RECT focus = area;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
}

void DrawPressedWhileChecked(HWND button) {
  TakeThemeOff(button);
  SetWindowSubclass(button, &PressedSwitchProc, kSubclassId, 0);
  InvalidateRect(button, nullptr, TRUE);
}

}  // namespace vqx::win32
