#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "dialog_builder.h"
#include "window/dialog_template.h"

namespace vqx::win32::testing {

// A modeless dialog built from a template, hidden, with a procedure the test supplies
// (messages it does not take go to the dialog manager).
class TestDialog {
 public:
  using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;

  explicit TestDialog(const DialogTemplate& dialog, Handler handler = {})
      : layout_(BuildDialogTemplate(dialog, WS_POPUP | WS_CAPTION | WS_SYSMENU)), handler_(std::move(handler)) {
    window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout_.data()),
                                         nullptr, &Proc, reinterpret_cast<LPARAM>(this));
  }
  ~TestDialog() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  TestDialog(const TestDialog&) = delete;
  TestDialog& operator=(const TestDialog&) = delete;

  HWND Window() const { return window_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  void SetHandler(Handler handler) { handler_ = std::move(handler); }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      return TRUE;
    }
    auto* self = reinterpret_cast<TestDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self != nullptr && self->handler_ && self->handler_(message, wParam, lParam)) return TRUE;
    return FALSE;
  }

  std::vector<DWORD> layout_;
  Handler handler_;
  HWND window_ = nullptr;
};

// Dispatches this thread's messages until done() or the time is up; returns done().
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
  const ULONGLONG end = GetTickCount64() + limitMs;
  while (!done()) {
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

}  // namespace vqx::win32::testing
