#include "digit_edit.h"

#include <commctrl.h>

#include <string>

#include "digit_filter.h"

namespace vqx::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x5644;  // any number unique to this filter

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(owner)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

LRESULT CALLBACK DigitsOnlyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_CHAR:
      if (!AcceptsTypedCharacter(static_cast<wchar_t>(wParam))) {
        MessageBeep(MB_OK);
        return 0;
      }
      break;
    case WM_PASTE: {
      const std::wstring digits = DigitsOf(ClipboardText(hwnd));
      SendMessageW(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(digits.c_str()));
      return 0;
    }
    case WM_NCDESTROY: RemoveWindowSubclass(hwnd, &DigitsOnlyProc, kSubclassId); break;
    default: break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

void MakeDigitsOnly(HWND edit) { SetWindowSubclass(edit, &DigitsOnlyProc, kSubclassId, 0); }

}  // namespace vqx::win32
