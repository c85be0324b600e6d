// vqxsu_probe.exe: drives a running vqxsu.exe from outside, as a user would, for the
// end-to-end test and the screenshots. Runs its commands in order; the first that fails
// ends it with exit code 1.
//
//   wait-main MS                 the main window is there
//   wait-text ID TEXT MS         control ID of the main window shows TEXT
//   wait-gone MS                 the main window is gone
//   click ID                     the user clicks control ID (a button)
//   type ID TEXT                 the user types TEXT into control ID
//   enter ID                     the user presses Enter in control ID
//   select-list ID INDEX         the user selects line INDEX of list box ID
//   menu ID                      the user chooses menu item ID
//   wait-dialog CAPTION MS       a dialog with this caption is open
//   cancel-dialog CAPTION        its Cancel button
//   click-in CAPTION ID          the user clicks button ID of the dialog with this caption
//   set-in CAPTION ID TEXT       the user replaces the text of edit ID of that dialog
//   wait-closed CAPTION MS       no dialog with this caption is open any more
//   wait-box OWNER MS            a message box of the program is open, owned by the dialog
//                                with caption OWNER
//   ok-box                       its OK button
//   wait-question MS             a message box of the program is open
//   yes-box                      its Yes button
//   wait-dialog-text CAPTION ID PREFIX MS
//                                control ID of that dialog shows a text starting with PREFIX
//   dblclick-status              the user double-clicks the middle of the status panel
//   rect                         prints where the main window's menu and client area are on
//                                the screen: x y width height
//   rect-dialog CAPTION          the same for the dialog's client area
//   wait-list ID TEXT MS         a line of list box ID of the main window holds TEXT
//   print-list ID                prints each line of list box ID of the main window
//   close                        the close box (WM_CLOSE)
//   sysclose                     the window menu's Close (Alt+F4)
//   sleep MS
//
// For the suites that follow the Linux program's (the update, the history, the faults):
//   set-text ID TEXT             the user replaces the text of edit ID of the main window
//   choose ID ITEM               the user picks ITEM in combo box ID of the main window
//   wait-text-has ID TEXT MS     control ID of the main window shows a text holding TEXT
//   wait-text-length ID N MS     control ID of the main window holds at least N characters
//   wait-list-count ID N MS      list box ID of the main window has N lines
//   print-text ID                writes the text of control ID of the main window to the
//                                standard output, byte for byte (Latin-1)
//   wait-box-text TEXT MS        a message box of the program holding TEXT is open
//   no-box MS                    no message box of the program opens within MS
//   responsive MS                the main window answers a message within MS
//   no-main-shown                no main window is on the screen
//
// Texts on its command line and in what it prints are UTF-8 (print-text excepted); it
// reads its arguments from the wide command line, as Wine passes argv in its own code page.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kMainCaption = L"VQX Setup Utility";
constexpr const wchar_t* kDialogClass = L"#32770";

std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(length - 1));
  return narrow;
}

// The main window has a menu; a message box or dialog with the same caption has none.
HWND FindMain() {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, kDialogClass, kMainCaption)) != nullptr) {
    if (GetMenu(window) != nullptr) return window;
  }
  return nullptr;
}

HWND FindDialog(const std::wstring& caption) { return FindWindowExW(nullptr, nullptr, kDialogClass, caption.c_str()); }

// A message box of the program: the main window's caption, no menu.
HWND FindBox() {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, kDialogClass, kMainCaption)) != nullptr) {
    if (GetMenu(window) == nullptr && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

std::wstring ControlText(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
  return text;
}

std::vector<std::wstring> ListLines(HWND list) {
  std::vector<std::wstring> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT line = 0; line < count; ++line) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(line), 0);
    if (length < 0) continue;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    lines.push_back(text);
  }
  return lines;
}

// The whole text, however long (a report, the output window).
std::wstring LongControlText(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

std::wstring BoxText(HWND box) { return ControlText(GetDlgItem(box, 0xFFFF)); }

template <typename F>
bool WaitFor(F done, DWORD limitMs) {
  const ULONGLONG end = GetTickCount64() + limitMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

// The client area in screen coordinates, with the menu bar above it when there is one:
// what the pictures show (the title bar is the system's, not the program's).
void PrintRect(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  long top = origin.y;
  MENUBARINFO bar{};
  bar.cbSize = sizeof(bar);
  if (GetMenu(window) != nullptr) {
    // Where the system does not tell where the bar is, it is one menu height tall.
    const bool told = GetMenuBarInfo(window, OBJID_MENU, 0, &bar) && bar.rcBar.bottom > bar.rcBar.top;
    top = told ? bar.rcBar.top : origin.y - GetSystemMetrics(SM_CYMENU);
  }
  if (std::getenv("VQXSU_PROBE_DEBUG") != nullptr) {
    RECT outer{};
    GetWindowRect(window, &outer);
    std::fprintf(stderr, "window %ld %ld %ld %ld, client origin %ld %ld, bar %ld %ld %ld %ld\n", outer.left, outer.top,
                 outer.right, outer.bottom, origin.x, origin.y, bar.rcBar.left, bar.rcBar.top, bar.rcBar.right,
                 bar.rcBar.bottom);
  }
  std::printf("%ld %ld %ld %ld\n", origin.x, top, client.right, origin.y + client.bottom - top);
  std::fflush(stdout);
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "vqxsu_probe: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (wide == nullptr) return Fail("the command line could not be read");
  std::vector<std::string> texts;
  for (int k = 0; k < argc; ++k) texts.push_back(Narrow(wide[k]));
  LocalFree(wide);
  std::vector<const char*> argv;
  for (const std::string& text : texts) argv.push_back(text.c_str());
  for (int i = 1; i < argc; ++i) {
    const std::string command = argv[i];
    const auto arg = [&](int k) -> const char* { return i + k < argc ? argv[i + k] : ""; };
    if (command == "wait-main") {
      if (!WaitFor([] { return FindMain() != nullptr; }, std::strtoul(arg(1), nullptr, 10))) {
        return Fail("the main window did not appear");
      }
      i += 1;
    } else if (command == "wait-text") {
      const int id = std::atoi(arg(1));
      const std::wstring want = Widen(arg(2));
      std::wstring seen;
      const bool shown = WaitFor(
          [&] {
            const HWND main = FindMain();
            seen = main == nullptr ? L"(no window)" : ControlText(GetDlgItem(main, id));
            return seen == want;
          },
          std::strtoul(arg(3), nullptr, 10));
      if (!shown) return Fail("control " + std::to_string(id) + " shows \"" + Narrow(seen) + "\", not \"" + arg(2) + "\"");
      i += 3;
    } else if (command == "wait-gone") {
      if (!WaitFor([] { return FindMain() == nullptr; }, std::strtoul(arg(1), nullptr, 10))) {
        return Fail("the main window is still there");
      }
      i += 1;
    } else if (command == "click") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to click in");
      PostMessageW(GetDlgItem(main, std::atoi(arg(1))), BM_CLICK, 0, 0);
      i += 1;
    } else if (command == "type") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to type in");
      const HWND control = GetDlgItem(main, std::atoi(arg(1)));
      for (const wchar_t c : Widen(arg(2))) SendMessageW(control, WM_CHAR, c, 1);
      i += 2;
    } else if (command == "enter") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window for the Enter key");
      // Posted, as the keyboard's are: it passes the program's message loop.
      const HWND control = GetDlgItem(main, std::atoi(arg(1)));
      PostMessageW(control, WM_KEYDOWN, VK_RETURN, 0x001C0001);
      PostMessageW(control, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u));
      i += 1;
    } else if (command == "select-list") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window");
      const int id = std::atoi(arg(1));
      const HWND list = GetDlgItem(main, id);
      SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(std::atoi(arg(2))), 0);
      PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
      i += 2;
    } else if (command == "menu") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window for the menu");
      PostMessageW(main, WM_COMMAND, MAKEWPARAM(std::atoi(arg(1)), 0), 0);
      i += 1;
    } else if (command == "wait-dialog") {
      const std::wstring caption = Widen(arg(1));
      // Shown: its controls are filled in by then.
      const auto shown = [&] {
        const HWND dialog = FindDialog(caption);
        return dialog != nullptr && IsWindowVisible(dialog);
      };
      if (!WaitFor(shown, std::strtoul(arg(2), nullptr, 10))) {
        return Fail(std::string("no dialog \"") + arg(1) + "\"");
      }
      i += 2;
    } else if (command == "cancel-dialog") {
      const HWND dialog = FindDialog(Widen(arg(1)));
      if (dialog == nullptr) return Fail(std::string("no dialog \"") + arg(1) + "\" to cancel");
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      i += 1;
    } else if (command == "click-in") {
      const HWND dialog = FindDialog(Widen(arg(1)));
      if (dialog == nullptr) return Fail(std::string("no dialog \"") + arg(1) + "\" to click in");
      // As the button tells its dialog of a click (BM_CLICK needs the button on the screen).
      const int id = std::atoi(arg(2));
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
      i += 2;
    } else if (command == "set-in") {
      const HWND dialog = FindDialog(Widen(arg(1)));
      if (dialog == nullptr) return Fail(std::string("no dialog \"") + arg(1) + "\" to type in");
      const std::wstring text = Widen(arg(3));
      DWORD_PTR result = 0;
      SendMessageTimeoutW(GetDlgItem(dialog, std::atoi(arg(2))), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                          SMTO_ABORTIFHUNG, 2000, &result);
      i += 3;
    } else if (command == "wait-closed") {
      const std::wstring caption = Widen(arg(1));
      if (!WaitFor([&] { return FindDialog(caption) == nullptr; }, std::strtoul(arg(2), nullptr, 10))) {
        return Fail(std::string("the dialog \"") + arg(1) + "\" is still open");
      }
      i += 2;
    } else if (command == "wait-box") {
      HWND box = nullptr;
      if (!WaitFor([&] { return (box = FindBox()) != nullptr; }, std::strtoul(arg(2), nullptr, 10))) {
        return Fail("no message box appeared");
      }
      const HWND owner = FindDialog(Widen(arg(1)));
      if (owner == nullptr || GetWindow(box, GW_OWNER) != owner) {
        return Fail(std::string("the message box is not owned by \"") + arg(1) + "\"");
      }
      i += 2;
    } else if (command == "print-box") {
      // For a failure's report: the text of the message box that is up, if any.
      const HWND box = FindBox();
      if (box == nullptr) return Fail("no message box is up");
      std::printf("message box: %s\n", Narrow(BoxText(box)).c_str());
    } else if (command == "ok-box") {
      const HWND box = FindBox();
      if (box == nullptr) return Fail("no message box to answer");
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else if (command == "wait-question") {
      if (!WaitFor([] { return FindBox() != nullptr; }, std::strtoul(arg(1), nullptr, 10))) {
        return Fail("no question was asked");
      }
      i += 1;
    } else if (command == "yes-box") {
      const HWND box = FindBox();
      if (box == nullptr) return Fail("no message box to answer Yes to");
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    } else if (command == "wait-dialog-text") {
      const std::wstring caption = Widen(arg(1));
      const int id = std::atoi(arg(2));
      const std::wstring prefix = Widen(arg(3));
      std::wstring seen;
      const bool shown = WaitFor(
          [&] {
            const HWND dialog = FindDialog(caption);
            seen = dialog == nullptr ? L"(no dialog)" : ControlText(GetDlgItem(dialog, id));
            return seen.rfind(prefix, 0) == 0;
          },
          std::strtoul(arg(4), nullptr, 10));
      if (!shown) return Fail("control " + std::to_string(id) + " shows \"" + Narrow(seen) + "\", not \"" + arg(3) + "...\"");
      i += 4;
    } else if (command == "dblclick-status") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to double-click");
      RECT box{};
      GetWindowRect(GetDlgItem(main, 1152), &box);  // the "Status" group box around the panel
      MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&box), 2);
      // The group box lets the mouse through to the window under it, as here.
      const LPARAM where = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
      PostMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, where);
      PostMessageW(main, WM_LBUTTONUP, 0, where);
      PostMessageW(main, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
      PostMessageW(main, WM_LBUTTONUP, 0, where);
    } else if (command == "rect") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window");
      PrintRect(main);
    } else if (command == "rect-dialog") {
      const HWND dialog = FindDialog(Widen(arg(1)));
      if (dialog == nullptr) return Fail(std::string("no dialog \"") + arg(1) + "\"");
      PrintRect(dialog);
      i += 1;
    } else if (command == "end-session") {
      // As Windows ends a session: asks, then tells; the unit must be back in transparent
      // mode by the time the program has answered the second message.
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to end the session of");
      DWORD_PTR answer = 0;
      if (!SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &answer)) {
        return Fail("WM_QUERYENDSESSION was not answered");
      }
      if (answer == 0) return Fail("the program refused to let the session end");
      if (!SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                               std::strtoul(arg(1), nullptr, 10), &answer)) {
        return Fail("WM_ENDSESSION was not answered in time");
      }
      i += 1;
    } else if (command == "wait-list") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window");
      const HWND list = GetDlgItem(main, std::atoi(arg(1)));
      const std::wstring want = Widen(arg(2));
      std::vector<std::wstring> seen;
      const bool shown = WaitFor(
          [&] {
            seen = ListLines(list);
            for (const std::wstring& line : seen) {
              if (line.find(want) != std::wstring::npos) return true;
            }
            return false;
          },
          std::strtoul(arg(3), nullptr, 10));
      if (!shown) {
        std::string lines;
        for (const std::wstring& line : seen) lines += "\n  " + Narrow(line);
        return Fail("no line of list " + std::string(arg(1)) + " holds \"" + arg(2) + "\":" + lines);
      }
      i += 3;
    } else if (command == "print-list") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window");
      for (const std::wstring& line : ListLines(GetDlgItem(main, std::atoi(arg(1))))) {
        std::printf("%s\n", Narrow(line).c_str());
      }
      std::fflush(stdout);
      i += 1;
    } else if (command == "close") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to close");
      PostMessageW(main, WM_CLOSE, 0, 0);
    } else if (command == "sysclose") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to close");
      PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (command == "set-text") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to type in");
      const std::wstring text = Widen(arg(2));
      DWORD_PTR result = 0;
      SendMessageTimeoutW(GetDlgItem(main, std::atoi(arg(1))), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                          SMTO_ABORTIFHUNG, 2000, &result);
      i += 2;
    } else if (command == "choose") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window to choose in");
      const int id = std::atoi(arg(1));
      const HWND combo = GetDlgItem(main, id);
      const std::wstring item = Widen(arg(2));
      const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(item.c_str()));
      if (index == CB_ERR) return Fail("combo box " + std::to_string(id) + " has no item \"" + arg(2) + "\"");
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
      i += 2;
    } else if (command == "wait-text-has") {
      const int id = std::atoi(arg(1));
      const std::wstring want = Widen(arg(2));
      std::wstring seen;
      const bool shown = WaitFor(
          [&] {
            const HWND main = FindMain();
            seen = main == nullptr ? L"(no window)" : LongControlText(GetDlgItem(main, id));
            return seen.find(want) != std::wstring::npos;
          },
          std::strtoul(arg(3), nullptr, 10));
      if (!shown) return Fail("control " + std::to_string(id) + " shows \"" + Narrow(seen) + "\", without \"" + arg(2) + "\"");
      i += 3;
    } else if (command == "wait-text-length") {
      const int id = std::atoi(arg(1));
      const size_t want = std::strtoul(arg(2), nullptr, 10);
      size_t seen = 0;
      const bool reached = WaitFor(
          [&] {
            const HWND main = FindMain();
            DWORD_PTR length = 0;
            if (main != nullptr) {
              SendMessageTimeoutW(GetDlgItem(main, id), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
            }
            seen = length;
            return seen >= want;
          },
          std::strtoul(arg(3), nullptr, 10));
      if (!reached) return Fail("control " + std::to_string(id) + " holds " + std::to_string(seen) + " characters");
      i += 3;
    } else if (command == "wait-list-count") {
      const int id = std::atoi(arg(1));
      const LRESULT want = std::atol(arg(2));
      LRESULT seen = -1;
      const bool reached = WaitFor(
          [&] {
            const HWND main = FindMain();
            DWORD_PTR count = static_cast<DWORD_PTR>(-1);
            if (main != nullptr) {
              SendMessageTimeoutW(GetDlgItem(main, id), LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
            }
            seen = static_cast<LRESULT>(count);
            return seen == want;
          },
          std::strtoul(arg(3), nullptr, 10));
      if (!reached) return Fail("list " + std::to_string(id) + " has " + std::to_string(seen) + " lines, not " + arg(2));
      i += 3;
    } else if (command == "print-text") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window");
      const std::wstring text = LongControlText(GetDlgItem(main, std::atoi(arg(1))));
      std::string bytes;
      for (const wchar_t c : text) bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
      std::fflush(stdout);
      _setmode(_fileno(stdout), _O_BINARY);
      std::fwrite(bytes.data(), 1, bytes.size(), stdout);
      std::fflush(stdout);
      i += 1;
    } else if (command == "wait-box-text") {
      const std::wstring want = Widen(arg(1));
      std::wstring seen = L"(no box)";
      const bool shown = WaitFor(
          [&] {
            const HWND box = FindBox();
            if (box == nullptr) return false;
            seen = BoxText(box);
            return seen.find(want) != std::wstring::npos;
          },
          std::strtoul(arg(2), nullptr, 10));
      if (!shown) return Fail("no message box says \"" + std::string(arg(1)) + "\"; the last seen: \"" + Narrow(seen) + "\"");
      i += 2;
    } else if (command == "no-box") {
      HWND box = nullptr;
      if (WaitFor([&] { return (box = FindBox()) != nullptr; }, std::strtoul(arg(1), nullptr, 10))) {
        return Fail("a message box opened: \"" + Narrow(BoxText(box)) + "\"");
      }
      i += 1;
    } else if (command == "responsive") {
      const HWND main = FindMain();
      if (main == nullptr) return Fail("no main window");
      DWORD_PTR result = 0;
      const ULONGLONG start = GetTickCount64();
      if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, std::strtoul(arg(1), nullptr, 10), &result)) {
        return Fail("the main window did not answer within " + std::string(arg(1)) + " ms");
      }
      std::fprintf(stderr, "vqxsu_probe: the main window answered in %llu ms\n", GetTickCount64() - start);
      i += 1;
    } else if (command == "no-main-shown") {
      const HWND main = FindMain();
      if (main != nullptr && IsWindowVisible(main)) return Fail("the main window is on the screen");
    } else if (command == "sleep") {
      Sleep(std::strtoul(arg(1), nullptr, 10));
      i += 1;
    } else {
      return Fail("unknown command " + command);
    }
  }
  return 0;
}
