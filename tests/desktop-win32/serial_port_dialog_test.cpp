// The "Select Serial Port" dialog, built from DLGSERIAL and run modally as the program
// runs it; the test acts through the dialog's own messages.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "serial_port_dialog_win32.h"
#include "window/control_ids.h"

namespace vqx::win32 {
namespace {

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

  EXPECT_TRUE(RunSerialPortDialog(nullptr, stored, std::move(hooks)));
  EXPECT_EQ(shownName, L"COM3");
  EXPECT_EQ(shown.baudRate, 19200);
  EXPECT_EQ(shown.dataBits, 7);
  EXPECT_EQ(shown.stopBits, 2);
  EXPECT_EQ(shown.parity, 'E');
  EXPECT_EQ(limit, kPortNameCapacity);
  EXPECT_FALSE(detectEnabled) << "Detect is greyed: this program has no search for the line settings";
  ASSERT_EQ(applied.size(), 2u) << "OK again after a port that did not open";
  EXPECT_EQ(applied.back().portName, "COM9");
  EXPECT_EQ(applied.back().baudRate, 19200);
  EXPECT_EQ(applied.back().parity, 'O') << "the dialog lists None, Odd, Even";
  EXPECT_TRUE(closed);
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
  EXPECT_FALSE(RunSerialPortDialog(nullptr, stored, std::move(hooks)));
  EXPECT_EQ(shown.baudRate, 0) << "no rate selected: OK would keep the stored one";
  EXPECT_EQ(shown.parity, 'N');
  EXPECT_EQ(applies, 0);
}

}  // namespace
}  // namespace vqx::win32
