#include "win32_window_surface.h"

#include <algorithm>
#include <vector>

#include "control_mapping.h"
#include "digit_edit.h"
#include "pressed_switch.h"
#include "window/dialog_template.h"
#include "window/control_text.h"

namespace vqx::win32 {
namespace {

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(0, copied)));
  return text;
}

std::wstring ComboItemText(HWND combo, int index) {
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

std::wstring ListItemText(HWND list, int index) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

bool IsMultiLineEdit(HWND window) {
  return HasWindowClass(window, L"Edit") && (GetWindowLongW(window, GWL_STYLE) & ES_MULTILINE) != 0;
}

UINT IconFlags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Error: return MB_ICONERROR;
    case MessageIcon::None: break;
  }
  return 0;
}

}  // namespace

bool HasWindowClass(HWND window, const wchar_t* className) {
  wchar_t name[32] = {};
  if (window == nullptr || GetClassNameW(window, name, 32) == 0) return false;
  return lstrcmpiW(name, className) == 0;
}

void PrepareMainWindowControls(HWND dialog) { PrepareDialogControls(dialog, MainDialogTemplate()); }

void PrepareDialogControls(HWND dialog, const DialogTemplate& layout) {
  for (const ControlTemplate& c : layout.controls) {
    const HWND control = c.id == -1 ? nullptr : GetDlgItem(dialog, c.id);
    if (control == nullptr) continue;
    if ((c.style & kStyleDigitsOnly) != 0) MakeDigitsOnly(control);
    if ((c.style & kStylePushLike) != 0) DrawPressedWhileChecked(control);
    if ((c.style & kStyleReadOnly) != 0 && (c.style & kStyleMultiLine) != 0) {
      SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
    }
  }
}

Win32WindowSurface::Win32WindowSurface(desktop::UiCallQueue& queue, HWND dialog) : queue_(queue), dialog_(dialog) {
  queue_.SetAppendSink([this](int id, const std::string& text) { ApplyAppend(id, text); });
}

Win32WindowSurface::~Win32WindowSurface() { queue_.SetAppendSink(nullptr); }

template <typename R, typename F>
R Win32WindowSurface::Read(F&& fn) {
  R result{};
  queue_.Call([&] { result = fn(); });
  return result;
}

// ---- Texts ------------------------------------------------------------------------

std::string Win32WindowSurface::TextOf(int id) const {
  const HWND control = Control(id);
  if (control == nullptr) return {};
  if (HasWindowClass(control, L"ComboBox")) {
    const int selected = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    return selected < 0 ? std::string() : NarrowToLatin1(ComboItemText(control, selected));
  }
  return NarrowToLatin1(WindowText(control));
}

void Win32WindowSurface::ApplyText(int id, const std::string& text) {
  const HWND control = Control(id);
  if (control == nullptr) return;
  ++programmaticChange_;
  if (IsMultiLineEdit(control)) outputFilters_.erase(id);
  SetWindowTextW(control, WidenLatin1(text.c_str()).c_str());
  --programmaticChange_;
}

void Win32WindowSurface::ApplyAppend(int id, const std::string& text) {
  const HWND edit = Control(id);
  if (edit == nullptr || !IsMultiLineEdit(edit)) return;
  const auto [at, fresh] = outputFilters_.try_emplace(id);
  OutputFilter& filter = at->second;
  size_t cut = 0;
  // Whatever the window held before its first append counts towards the scroll-back too.
  if (fresh) cut = filter.scrollBack.Append(desktop::ToDisplayLineEnds(NarrowToLatin1(WindowText(edit))));
  const std::string shown = filter.breaker.Break(filter.folder.Fold(text));
  if (shown.empty()) return;
  cut += filter.scrollBack.Append(shown);
  const size_t held = static_cast<size_t>(GetWindowTextLengthW(edit));
  ++programmaticChange_;
  if (cut >= held || shown.size() > kFloodShownCharacters) {
    // A flood far faster than any serial line: more text than the window lays out quickly
    // enough arrived since the last update. An edit control takes microseconds for each
    // character it receives or gives up, so a window that took all of a flood fell ever
    // further behind and stopped answering. The newest whole lines within
    // kFloodShownCharacters replace what is there (nobody reads a flood as it passes),
    // and the window fills up again from there.
    size_t from = shown.size() - std::min(filter.scrollBack.Characters(), shown.size());
    if (shown.size() - from > kFloodShownCharacters) {
      const size_t lineStart = shown.find('\n', shown.size() - kFloodShownCharacters);
      from = lineStart != std::string::npos && lineStart + 1 < shown.size() ? lineStart + 1
                                                                           : shown.size() - kFloodShownCharacters;
      filter.scrollBack.Reset();
      filter.scrollBack.Append(std::string_view(shown).substr(from));
    }
    const std::string_view kept = std::string_view(shown).substr(from);
    SetWindowTextW(edit, WidenLatin1(desktop::ToWindowsLineEnds(kept).c_str()).c_str());
  } else {
    const std::wstring wide = WidenLatin1(desktop::ToWindowsLineEnds(shown).c_str());
    // The oldest lines go first, so the window never holds more than its scroll-back.
    if (cut > 0) {
      SendMessageW(edit, EM_SETSEL, 0, static_cast<LPARAM>(cut));
      SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    const int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  const int newEnd = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(newEnd), newEnd);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  --programmaticChange_;
}

void Win32WindowSurface::SetText(int id, const char* text) {
  queue_.Post([this, id, copy = std::string(text ? text : "")] { ApplyText(id, copy); });
}

size_t Win32WindowSurface::GetText(int id, char* buffer, size_t size) {
  return CopyControlText(Read<std::string>([&] { return TextOf(id); }), buffer, size);
}

int Win32WindowSurface::LineCount(int id) {
  return Read<int>([&] {
    if (!IsMultiLineEdit(Control(id))) return 1;
    return static_cast<int>(SplitEditLines(TextOf(id)).size());
  });
}

size_t Win32WindowSurface::GetLine(int id, int line, char* buffer, size_t size) {
  const std::string text = Read<std::string>([&] {
    if (!IsMultiLineEdit(Control(id))) return line == 0 ? TextOf(id) : std::string();
    const auto lines = SplitEditLines(TextOf(id));
    return line >= 0 && static_cast<size_t>(line) < lines.size() ? lines[static_cast<size_t>(line)] : std::string();
  });
  return CopyControlText(text, buffer, size);
}

std::vector<std::string> Win32WindowSurface::GetLines(int id) {
  return Read<std::vector<std::string>>([&] {
    if (!IsMultiLineEdit(Control(id))) return std::vector<std::string>{TextOf(id)};
    return SplitEditLines(TextOf(id));
  });
}

void Win32WindowSurface::AppendToOutput(int id, const char* text) {
  // Never waits: the caller holds the lock that keeps the log in the window's order.
  if (text != nullptr) queue_.Append(id, text);
}

void Win32WindowSurface::SelectAllText(int id) {
  queue_.Post([this, id] {
    if (const HWND control = Control(id)) SendMessageW(control, EM_SETSEL, 0, -1);
  });
}

// ---- Lists ------------------------------------------------------------------------

int Win32WindowSurface::AddItem(int id, const char* text) {
  const std::wstring wide = WidenLatin1(text);
  return Read<int>([&] {
    const HWND control = Control(id);
    ++programmaticChange_;
    int index = -1;
    if (HasWindowClass(control, L"ComboBox")) {
      index = static_cast<int>(SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    } else if (HasWindowClass(control, L"ListBox")) {
      index = static_cast<int>(SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    --programmaticChange_;
    return index < 0 ? -1 : index;
  });
}

int Win32WindowSurface::DeleteItem(int id, int index) {
  return Read<int>([&] {
    const HWND control = Control(id);
    if (index < 0) return -1;
    ++programmaticChange_;
    LRESULT left = -1;
    if (HasWindowClass(control, L"ComboBox")) {
      left = SendMessageW(control, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    } else if (HasWindowClass(control, L"ListBox")) {
      left = SendMessageW(control, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    }
    --programmaticChange_;
    return left < 0 ? -1 : static_cast<int>(left);
  });
}

int Win32WindowSurface::ItemCount(int id) {
  return Read<int>([&] {
    const HWND control = Control(id);
    LRESULT count = 0;
    if (HasWindowClass(control, L"ComboBox")) count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    if (HasWindowClass(control, L"ListBox")) count = SendMessageW(control, LB_GETCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
  });
}

int Win32WindowSurface::CurrentSelection(int id) {
  return Read<int>([&] {
    const HWND control = Control(id);
    LRESULT selected = -1;
    if (HasWindowClass(control, L"ComboBox")) selected = SendMessageW(control, CB_GETCURSEL, 0, 0);
    if (HasWindowClass(control, L"ListBox")) selected = SendMessageW(control, LB_GETCURSEL, 0, 0);
    return selected < 0 ? -1 : static_cast<int>(selected);
  });
}

void Win32WindowSurface::SetCurrentSelection(int id, int index) {
  queue_.Post([this, id, index] {
    const HWND control = Control(id);
    ++programmaticChange_;
    // An index that does not exist clears the selection (-1 as WPARAM does that).
    if (HasWindowClass(control, L"ComboBox")) {
      const int count = static_cast<int>(SendMessageW(control, CB_GETCOUNT, 0, 0));
      SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
    } else if (HasWindowClass(control, L"ListBox")) {
      const int count = static_cast<int>(SendMessageW(control, LB_GETCOUNT, 0, 0));
      SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
    }
    --programmaticChange_;
  });
}

bool Win32WindowSurface::SelectItemByPrefix(int id, const char* text) {
  const std::string prefix(text ? text : "");
  return Read<bool>([&] {
    const HWND control = Control(id);
    const bool combo = HasWindowClass(control, L"ComboBox");
    const bool list = HasWindowClass(control, L"ListBox");
    if (!combo && !list) return false;
    const int count = static_cast<int>(SendMessageW(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      const std::wstring item = combo ? ComboItemText(control, i) : ListItemText(control, i);
      if (!StartsWithIgnoringAsciiCase(NarrowToLatin1(item), prefix)) continue;
      ++programmaticChange_;
      SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      --programmaticChange_;
      return true;
    }
    return false;
  });
}

// ---- Buttons, state, focus ----------------------------------------------------------

void Win32WindowSurface::SetChecked(int id, bool checked) {
  queue_.Post([this, id, checked] {
    if (const HWND control = Control(id)) {
      SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  });
}

bool Win32WindowSurface::IsChecked(int id) {
  return Read<bool>([&] {
    const HWND control = Control(id);
    return control != nullptr && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
  });
}

void Win32WindowSurface::EnableControl(int id, bool enabled) {
  queue_.Post([this, id, enabled] {
    if (const HWND control = Control(id)) EnableWindow(control, enabled ? TRUE : FALSE);
  });
}

void Win32WindowSurface::ShowControl(int id, bool visible) {
  queue_.Post([this, id, visible] {
    if (const HWND control = Control(id)) ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
  });
}

void Win32WindowSurface::SetFocus(int id) {
  queue_.Post([this, id] {
    // Through the dialog manager, so that the default button follows the focus.
    if (const HWND control = Control(id)) SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  });
}

void Win32WindowSurface::Invalidate(bool erase) {
  queue_.Post([this, erase] { InvalidateRect(dialog_, nullptr, erase ? TRUE : FALSE); });
}

void Win32WindowSurface::UpdateNow() {
  queue_.Post([this] { RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); });
}

int Win32WindowSurface::ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                                       MessageButtons buttons) {
  const MessageBoxRecord record{owner, text ? text : "", caption ? caption : "", icon, buttons};
  return Read<int>([&] {
    if (answerer_) return answerer_(record);
    HWND parent = nullptr;
    if (owner == MessageOwner::MainWindow) parent = dialog_;
    if (owner == MessageOwner::Dialog) parent = modalDialog_ != nullptr ? modalDialog_ : dialog_;
    std::string lines = record.text;
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    UINT flags = IconFlags(icon) | (parent == nullptr ? UINT{MB_TASKMODAL} : UINT{MB_APPLMODAL});
    // Enter keeps what the window holds: No is the default of a question.
    flags |= buttons == MessageButtons::YesNo ? UINT{MB_YESNO | MB_DEFBUTTON2} : UINT{MB_OK};
    ++messageBoxes_;
    const int answer = MessageBoxW(parent, WidenLatin1(lines.c_str()).c_str(),
                                   WidenLatin1(record.caption.c_str()).c_str(), flags);
    --messageBoxes_;
    if (afterMessageBox_) afterMessageBox_();
    if (buttons == MessageButtons::YesNo) return answer == IDYES ? kAnswerYes : kAnswerNo;
    return kAnswerOk;
  });
}

void Win32WindowSurface::StartTimer(int timerId, uint32_t periodMs) {
  // A second start replaces the period, as SetTimer does.
  queue_.Post([this, timerId, periodMs] { SetTimer(dialog_, static_cast<UINT_PTR>(timerId), periodMs, nullptr); });
}

void Win32WindowSurface::KillTimer(int timerId) {
  queue_.Post([this, timerId] { ::KillTimer(dialog_, static_cast<UINT_PTR>(timerId)); });
}

}  // namespace vqx::win32
