// The "Select Serial Port" dialog, built from DLGSERIAL and run modally as the program
// runs it (its logic through the dialog host, decorated for Windows); the test acts
// through the dialog's own messages.

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <string>
#include <vector>

#include "serial_port_decoration.h"
#include "serial_port_dialog_logic.h"
#include "test_dialog.h"
#include "ui_call_queue.h"
#include "win32_dialog_host.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

using desktop::HostSerialChoice;
using desktop::kPortNameCapacity;

// What a test hears of the dialog and answers for the program.
struct SerialPortDialogHooks {
  std::vector<std::string> portsFound;
  std::function<bool(const HostSerialChoice&)> apply;
  std::function<void(HWND dialog)> created;  // its controls built, still empty
  std::function<void(HWND dialog)> opened;   // once filled
  std::function<void()> closed;             // the host's search hears the dialog go
  std::function<void(const std::string& portName)> startDetection;
  std::function<void()> cancelDetection;
  bool detectAtOnce = false;
};

desktop::SerialPortDialogLogic* openLogic = nullptr;

// Hands the open dialog's filled-in hook the window as soon as the logic has filled it.
class Observed final : public IDialogLogic {
 public:
  Observed(desktop::SerialPortDialogLogic& inner, const SerialPortDialogHooks& hooks, const HWND& window)
      : inner_(inner), hooks_(hooks), window_(window) {}
  const DialogTemplate& Template() const override { return inner_.Template(); }
  void OnInit(IWindowSurface& dialog) override {
    inner_.OnInit(dialog);
    if (hooks_.opened) hooks_.opened(window_);
  }
  bool OnCommand(IWindowSurface& dialog, int id, int code) override { return inner_.OnCommand(dialog, id, code); }
  void OnClosed(IWindowSurface& dialog) override { inner_.OnClosed(dialog); }

 private:
  desktop::SerialPortDialogLogic& inner_;
  const SerialPortDialogHooks& hooks_;
  const HWND& window_;
};

// Modal over a main window, as the program shows it; returns whether OK ended it.
bool RunSerialPortDialog(const HostSerialChoice& stored, SerialPortDialogHooks hooks) {
  testing::TestDialog main(MainDialogTemplate());
  desktop::UiCallQueue queue([] {});
  Win32WindowSurface mainSurface(queue, main.Window());
  Win32DialogHost host(main.Window(), mainSurface);
  desktop::SerialPortDialogRun run;
  run.stored = stored;
  run.portsFound = hooks.portsFound;
  run.detectAtOnce = hooks.detectAtOnce;
  bool accepted = false;
  run.apply = [&](const HostSerialChoice& choice) {
    accepted = !hooks.apply || hooks.apply(choice);
    return accepted;
  };
  run.startDetection = hooks.startDetection;
  run.cancelDetection = hooks.cancelDetection;
  run.viewChanged = [&](desktop::ISerialPortDialogView* view) {
    if (view == nullptr && hooks.closed) hooks.closed();
  };
  desktop::SerialPortDialogLogic logic(run);
  HWND window = nullptr;
  Observed observed(logic, hooks, window);
  openLogic = &logic;
  host.RunModal(observed, [&](HWND dialog) {
    window = dialog;
    if (hooks.created) hooks.created(dialog);
    DecorateSerialPortDialog(dialog, run.portsFound);
  });
  openLogic = nullptr;
  return accepted;
}

// What the dialog's controls hold now, read as OK reads them.
HostSerialChoice ReadSerialPortChoice(HWND) { return openLogic->CurrentChoice(); }

// The host's search ended, as the program tells the open dialog.
void DetectionEnded(HWND, const HostSerialChoice* found, const std::string& text) {
  openLogic->DetectionEnded(found, text);
}

std::wstring Text(HWND dialog, int id) {
  wchar_t text[300] = {};
  GetDlgItemTextW(dialog, id, text, 300);
  return text;
}

void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

TEST(SerialPortDialogTest, ShowsTheStoredChoiceAndEndsOnOkOnlyOnceTheChosenPortOpened) {
  HostSerialChoice stored;
  stored.portName = "COM3";
  stored.baudRate = 19200;
  stored.dataBits = 7;
  stored.stopBits = 2;
  stored.parity = 'E';
  std::vector<HostSerialChoice> applied;
  std::wstring shownName;
  HostSerialChoice shown;
  LRESULT limit = 0;
  BOOL detectEnabled = TRUE;
  bool closed = false;
  SerialPortDialogHooks hooks;
  hooks.portsFound = {"COM1", "COM3"};
  hooks.apply = [&](const HostSerialChoice& choice) {
    applied.push_back(choice);
    return applied.size() == 2;  // the first choice does not open: the dialog stays
  };
  hooks.opened = [&](HWND dialog) {
    shownName = Text(dialog, ids::kSerialPortName);
    shown = ReadSerialPortChoice(dialog);
    limit = SendDlgItemMessageW(dialog, ids::kSerialPortName, EM_GETLIMITTEXT, 0, 0);
    detectEnabled = IsWindowEnabled(GetDlgItem(dialog, ids::kSerialDetect));
    SetDlgItemTextW(dialog, ids::kSerialPortName, L"COM9");
    SendDlgItemMessageW(dialog, ids::kSerialParity, CB_SETCURSEL, 1, 0);  // "Odd"
    Press(dialog, IDOK);
    Press(dialog, IDOK);
  };
  hooks.closed = [&] { closed = true; };

  EXPECT_TRUE(RunSerialPortDialog(stored, std::move(hooks)));
  EXPECT_EQ(shownName, L"COM3");
  EXPECT_EQ(shown.baudRate, 19200);
  EXPECT_EQ(shown.dataBits, 7);
  EXPECT_EQ(shown.stopBits, 2);
  EXPECT_EQ(shown.parity, 'E');
  EXPECT_EQ(limit, kPortNameCapacity);
  EXPECT_FALSE(detectEnabled) << "Detect is greyed when the program offers no search";
  ASSERT_EQ(applied.size(), 2u) << "OK again after a port that did not open";
  EXPECT_EQ(applied.back().portName, "COM9");
  EXPECT_EQ(applied.back().baudRate, 19200);
  EXPECT_EQ(applied.back().parity, 'O') << "the dialog lists None, Odd, Even";
  EXPECT_TRUE(closed);
}

bool IsListBox(HWND window) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  return lstrcmpiW(name, L"ListBox") == 0;
}

// How many suggestions the system shows under a box now: the lines of its list (a list
// box, or one inside a pop-up of its own), 0 while none shows.
int ShownSuggestions() {
  HWND list = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM lParam) -> BOOL {
        auto* found = reinterpret_cast<HWND*>(lParam);
        if (!IsWindowVisible(window)) return TRUE;
        if (IsListBox(window)) *found = window;
        EnumChildWindows(
            window,
            [](HWND child, LPARAM inner) -> BOOL {
              if (!IsListBox(child) || !IsWindowVisible(child)) return TRUE;
              *reinterpret_cast<HWND*>(inner) = child;
              return FALSE;
            },
            lParam);
        return *found == nullptr;
      },
      reinterpret_cast<LPARAM>(&list));
  return list == nullptr ? 0 : static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

// Watches from the dialog's own loop until suggestions show or time runs out; then the
// user walks down them with the arrow key, which puts each into the box, and cancels.
struct SuggestionWatch {
  static inline HWND dialog = nullptr;
  static inline int shown = 0;
  static inline std::vector<std::wstring> walked;
  static inline int ticks = 0;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    shown = ShownSuggestions();
    if (shown == 0 && ++ticks < 200) return;
    KillTimer(nullptr, timer);
    const HWND name = GetDlgItem(dialog, ids::kSerialPortName);
    for (int i = 0; i < shown; ++i) {
      SendMessageW(name, WM_KEYDOWN, VK_DOWN, 0x01500001);
      walked.push_back(Text(dialog, ids::kSerialPortName));
    }
    Press(dialog, IDCANCEL);
  }
};

TEST(SerialPortDialogTest, TypingInTheNameBoxOffersTheMachinesPortsThatStartWithIt) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(SUCCEEDED(com));
  SerialPortDialogHooks hooks;
  hooks.portsFound = {"COM1", "COM3", "USB7"};
  hooks.opened = [](HWND dialog) {
    SuggestionWatch::dialog = dialog;
    const HWND name = GetDlgItem(dialog, ids::kSerialPortName);
    SetWindowTextW(name, L"");
    // Typed once the dialog shows, with the focus in the box.
    PostMessageW(name, WM_CHAR, L'c', 1);
    SetTimer(nullptr, 0, 50, &SuggestionWatch::Tick);
  };
  EXPECT_FALSE(RunSerialPortDialog(HostSerialChoice{}, std::move(hooks)));
  EXPECT_EQ(SuggestionWatch::shown, 2) << "COM1 and COM3 start with the c typed; USB7 does not";
  EXPECT_EQ(SuggestionWatch::walked, (std::vector<std::wstring>{L"COM1", L"COM3"}));
  CoUninitialize();
}

TEST(SerialPortDialogTest, ARateNotInTheListSelectsNoneAndCancelAppliesNothing) {
  HostSerialChoice stored;
  stored.portName = "COM1";
  stored.baudRate = 14400;
  HostSerialChoice shown;
  int applies = 0;
  SerialPortDialogHooks hooks;
  hooks.apply = [&](const HostSerialChoice&) {
    ++applies;
    return true;
  };
  hooks.opened = [&](HWND dialog) {
    shown = ReadSerialPortChoice(dialog);
    Press(dialog, IDCANCEL);
  };
  EXPECT_FALSE(RunSerialPortDialog(stored, std::move(hooks)));
  EXPECT_EQ(shown.baudRate, 0) << "no rate selected: OK would keep the stored one";
  EXPECT_EQ(shown.parity, 'N');
  EXPECT_EQ(applies, 0);
}

TEST(SerialPortDialogTest, DetectGreysOkUntilTheSearchEndsEscStopsItAndWhatWasFoundIsStoredByOk) {
  HostSerialChoice stored;
  stored.portName = "COM4";
  std::vector<std::string> searched;
  std::vector<HostSerialChoice> applied;
  int cancels = 0;
  BOOL okWhileSearching = TRUE, detectWhileSearching = TRUE, okAfter = FALSE;
  std::wstring progress, stopping, ended;
  HWND window = nullptr;
  SerialPortDialogHooks hooks;
  hooks.detectAtOnce = true;
  hooks.startDetection = [&](const std::string& portName) {
    searched.push_back(portName);
    okWhileSearching = IsWindowEnabled(GetDlgItem(window, IDOK));
    detectWhileSearching = IsWindowEnabled(GetDlgItem(window, ids::kSerialDetect));
    progress = Text(window, ids::kSerialDetectStatus);
    // OK is refused while the search holds the port; Esc asks it to stop and keeps the
    // dialog open until the search has ended.
    Press(window, IDOK);
    PostMessageW(GetDlgItem(window, ids::kSerialPortName), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  };
  hooks.cancelDetection = [&] {
    ++cancels;
    stopping = Text(window, ids::kSerialDetectStatus);
    HostSerialChoice found;
    found.portName = "COM4";
    found.baudRate = 19200;
    found.dataBits = 7;
    found.stopBits = 1;
    found.parity = 'E';
    DetectionEnded(window, &found, "Found at 19200 7E1. OK stores it.");
    ended = Text(window, ids::kSerialDetectStatus);
    okAfter = IsWindowEnabled(GetDlgItem(window, IDOK));
    Press(window, IDOK);
  };
  hooks.apply = [&](const HostSerialChoice& choice) {
    applied.push_back(choice);
    return true;
  };
  // The search starts as the dialog is filled: the test knows its window from the start.
  hooks.created = [&](HWND dialog) { window = dialog; };

  EXPECT_TRUE(RunSerialPortDialog(stored, std::move(hooks)));
  EXPECT_EQ(searched, std::vector<std::string>{"COM4"}) << "the search starts as the dialog opens";
  EXPECT_FALSE(okWhileSearching);
  EXPECT_FALSE(detectWhileSearching);
  EXPECT_EQ(progress, L"Looking for the VQX-2 on COM4...");
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(stopping, L"Stopping the search...");
  EXPECT_EQ(ended, L"Found at 19200 7E1. OK stores it.");
  EXPECT_TRUE(okAfter);
  ASSERT_EQ(applied.size(), 1u) << "the OK pressed during the search stored nothing";
  EXPECT_EQ(applied[0].baudRate, 19200);
  EXPECT_EQ(applied[0].dataBits, 7);
  EXPECT_EQ(applied[0].parity, 'E');
}

}  // namespace
}  // namespace vqx::win32
