// Which of the main window's WM_COMMANDs reach the window logic, and the logic's answer to
// the user's typing in an address box.

#include <gtest/gtest.h>

#include <windows.h>

#include "app/app_window.h"
#include "command_routing.h"
#include "link/serial_comm.h"
#include "support/fake_link_parts.h"
#include "support/memory_files.h"
#include "test_dialog.h"
#include "ui_call_queue.h"
#include "win32_window_surface.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

using testing::TestDialog;

LPARAM Handle(HWND control) { return reinterpret_cast<LPARAM>(control); }

TEST(CommandRoutingTest, ClicksSelectionsMenusAndTheUsersEditsPassNothingElseDoes) {
  TestDialog dialog(MainDialogTemplate());
  const auto route = [&](int id, int code, bool programmatic = false) {
    return RouteCommand(MAKEWPARAM(id, code), Handle(dialog.Control(id)), programmatic);
  };
  const auto routed = [](std::optional<RoutedCommand> r, int id, int code) {
    return r.has_value() && r->id == id && r->code == code;
  };
  EXPECT_TRUE(routed(route(ids::kUpdateSettings, BN_CLICKED), ids::kUpdateSettings, kBnClicked));
  EXPECT_TRUE(routed(route(ids::kViewTerminal, BN_CLICKED), ids::kViewTerminal, kBnClicked));
  EXPECT_FALSE(route(ids::kViewTerminal, BN_SETFOCUS)) << "a notifying button's focus notice";
  EXPECT_FALSE(route(ids::kViewTerminal, BN_DOUBLECLICKED)) << "the first click of it acted already";
  EXPECT_TRUE(routed(route(ids::kHistoryList, LBN_SELCHANGE), ids::kHistoryList, kLbnSelChange));
  EXPECT_FALSE(route(ids::kHistoryList, LBN_DBLCLK));
  EXPECT_FALSE(route(ids::kVocoder, CBN_SELCHANGE)) << "a drop-down's change is not a History selection";
  EXPECT_TRUE(routed(route(ids::kIp1, EN_CHANGE), ids::kIp1, kEnChange));
  EXPECT_FALSE(route(ids::kIp1, EN_CHANGE, true)) << "the program's own change";
  EXPECT_TRUE(routed(route(ids::kCommandEntry, EN_MAXTEXT), ids::kCommandEntry, kEnMaxText));
  EXPECT_FALSE(route(ids::kCommandEntry, EN_SETFOCUS));
  EXPECT_FALSE(route(ids::kName, EN_UPDATE));

  // Menus and the dialog manager's keys come without a control.
  EXPECT_TRUE(routed(RouteCommand(MAKEWPARAM(ids::kMenuSelectSerialPort, 0), 0, false), ids::kMenuSelectSerialPort,
                     kBnClicked));
  EXPECT_TRUE(routed(RouteCommand(MAKEWPARAM(ids::kMenuExit, 0), 0, false), ids::kMenuExit, kBnClicked));
  EXPECT_FALSE(RouteCommand(MAKEWPARAM(IDOK, 0), 0, false)) << "Enter goes to the command entry instead";
  EXPECT_FALSE(RouteCommand(MAKEWPARAM(IDCANCEL, 0), 0, false)) << "Esc does not close the window";
}

TEST(CommandRoutingTest, ThreeDigitsTypedInAnAddressBoxMoveTheFocusToTheNextBoxWithItsTextSelected) {
  vqx::testing::FakeClock clock;
  vqx::testing::FakeSerialPort port;
  vqx::testing::MemoryFileStore files;
  vqx::testing::FixedWallClock wallClock;
  CSerialComm link(port, clock);
  desktop::UiCallQueue queue([] {});
  std::unique_ptr<Win32WindowSurface> surface;
  std::unique_ptr<CAppWindow> logic;
  TestDialog dialog(MainDialogTemplate(), [&](UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND || !logic) return false;
    if (const auto command = RouteCommand(wParam, lParam, surface->InProgrammaticChange())) {
      logic->OnCommand(command->id, command->code);
    }
    return true;
  });
  PrepareMainWindowControls(dialog.Window());
  surface = std::make_unique<Win32WindowSurface>(queue, dialog.Window());
  logic = std::make_unique<CAppWindow>(link, *surface, AppServices{clock, files, wallClock});
  link.AttachHost(logic.get());
  logic->Create();
  ShowWindow(dialog.Window(), SW_SHOW);
  SetForegroundWindow(dialog.Window());
  SetWindowTextW(dialog.Control(ids::kIp2), L"168");
  SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.Control(ids::kIp1)), TRUE);
  ASSERT_EQ(GetFocus(), dialog.Control(ids::kIp1));

  for (const wchar_t c : std::wstring(L"19")) SendMessageW(dialog.Control(ids::kIp1), WM_CHAR, c, 1);
  EXPECT_EQ(GetFocus(), dialog.Control(ids::kIp1)) << "two digits stay";
  SendMessageW(dialog.Control(ids::kIp1), WM_CHAR, L'2', 1);
  EXPECT_EQ(GetFocus(), dialog.Control(ids::kIp2)) << "the third digit moves on";
  DWORD start = 0, end = 0;
  SendMessageW(dialog.Control(ids::kIp2), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 3u) << "the next box's text is selected, so typing replaces it";

  // Tab leaves the command entry, a multi-line edit, as it leaves any other box (the
  // dialog manager's way), and types no tab character into the line for the unit.
  const HWND entry = dialog.Control(ids::kCommandEntry);
  logic->SwitchView(kViewTerminal);
  SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(entry), TRUE);
  ASSERT_EQ(GetFocus(), entry);
  MSG tab{entry, WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {}};
  EXPECT_TRUE(IsDialogMessageW(dialog.Window(), &tab));
  EXPECT_NE(GetFocus(), entry);
  EXPECT_EQ(GetWindowTextLengthW(entry), 0);
  logic->SwitchView(kViewSettings);

  // The program filling the box (a read) moves nothing.
  SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.Control(ids::kIp3)), TRUE);
  surface->SetText(ids::kIp3, "100");
  EXPECT_EQ(GetFocus(), dialog.Control(ids::kIp3));
  link.AttachHost(nullptr);
}

}  // namespace
}  // namespace vqx::win32
