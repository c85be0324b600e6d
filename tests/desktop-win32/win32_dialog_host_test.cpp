// The core's dialogs run modally by the Win32 dialog host: the logic gets the user's
// clicks, typing, list double-clicks and Esc, and decides itself when the dialog ends.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "test_dialog.h"
#include "ui_call_queue.h"
#include "win32_dialog_host.h"
#include "window/connection_dialog_templates.h"
#include "window/control_ids.h"

namespace vqx::win32 {
namespace {

using Command = std::pair<int, int>;

// The dialog of this thread that holds control id (a dialog is not active yet while it starts).
HWND FindWithControl(int id) {
  std::pair<int, HWND> want{id, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM lParam) -> BOOL {
        auto* w = reinterpret_cast<std::pair<int, HWND>*>(lParam);
        if (GetDlgItem(window, w->first) == nullptr) return TRUE;
        w->second = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&want));
  return want.second;
}


class RecordingLogic final : public IDialogLogic {
 public:
  using OnInitFn = std::function<void(IWindowSurface&, HWND)>;
  using EndsFn = std::function<bool(IWindowSurface&, int id, int code)>;
  RecordingLogic(const DialogTemplate& layout, OnInitFn init, EndsFn ends)
      : layout_(layout), init_(std::move(init)), ends_(std::move(ends)) {}

  const DialogTemplate& Template() const override { return layout_; }
  void OnInit(IWindowSurface& dialog) override {
    window = FindWithControl(layout_.controls.front().id);
    if (init_) init_(dialog, window);
  }
  bool OnCommand(IWindowSurface& dialog, int id, int code) override {
    commands.emplace_back(id, code);
    return ends_(dialog, id, code);
  }

  HWND window = nullptr;
  std::vector<Command> commands;

 private:
  const DialogTemplate& layout_;
  OnInitFn init_;
  EndsFn ends_;
};

class DialogHostTest : public ::testing::Test {
 protected:
  testing::TestDialog main_{MainDialogTemplate()};
  desktop::UiCallQueue queue_{[] {}};
  Win32WindowSurface mainSurface_{queue_, main_.Window()};
  Win32DialogHost host_{main_.Window(), mainSurface_};
};

TEST_F(DialogHostTest, ListDoubleClickAndEscReachTheLogicWhichAloneEndsTheDialog) {
  int cancels = 0;
  RecordingLogic list(
      ConnectionListDialogTemplate(),
      [](IWindowSurface& dialog, HWND) {
        dialog.AddItem(ids::kConnectionList, "10.1.2.3 Relay hill");
        const HWND window = FindWithControl(ids::kConnectionList);
        const HWND box = GetDlgItem(window, ids::kConnectionList);
        // The user double-clicks the first line, presses Esc, and later Esc again.
        PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PostMessageW(box, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      },
      [&](IWindowSurface&, int id, int) {
        // The first Esc is refused (a question the user answers No to, say).
        return id == ids::kDialogCancel && ++cancels == 2;
      });
  host_.RunModal(list);

  const std::vector<Command>& seen = list.commands;
  EXPECT_NE(std::find(seen.begin(), seen.end(), Command{ids::kConnectionList, kLbnDblClk}), seen.end())
      << "the double-click on the list";
  EXPECT_EQ(cancels, 2) << "Esc as Cancel, the first one refused by the logic";
  EXPECT_EQ(host_.OpenDialog(), nullptr);
  EXPECT_FALSE(IsWindow(list.window));
}

TEST_F(DialogHostTest, AnInnerDialogIsOwnedByTheOuterAndOnlyTheUsersTypingIsAnEdit) {
  HWND outerWindow = nullptr, innerOwner = nullptr, openWhileInner = nullptr, openAfterInner = nullptr;
  std::string typed;
  RecordingLogic add(
      AddConnectionDialogTemplate(),
      [&](IWindowSurface& dialog, HWND) {
        dialog.SetText(ids::kConnectionIp1, "10");  // the program's own text: no edit
        const HWND window = FindWithControl(ids::kConnectionIp4);
        innerOwner = GetWindow(window, GW_OWNER);
        openWhileInner = host_.OpenDialog();
        const HWND octet = GetDlgItem(window, ids::kConnectionIp4);
        for (const wchar_t c : std::wstring(L"3x0")) PostMessageW(octet, WM_CHAR, c, 1);
        PostMessageW(GetDlgItem(window, ids::kDialogOk), BM_CLICK, 0, 0);
      },
      [&](IWindowSurface& dialog, int id, int) {
        if (id != ids::kDialogOk) return false;
        char text[16] = {};
        dialog.GetText(ids::kConnectionIp4, text, sizeof text);
        typed = text;
        return true;
      });
  RecordingLogic list(
      ConnectionListDialogTemplate(),
      [&](IWindowSurface&, HWND) {
        outerWindow = FindWithControl(ids::kConnectionList);
        PostMessageW(GetDlgItem(outerWindow, ids::kConnectionAdd), BM_CLICK, 0, 0);
      },
      [&](IWindowSurface&, int id, int) {
        if (id == ids::kConnectionAdd) {
          host_.RunModal(add);
          openAfterInner = host_.OpenDialog();
          PostMessageW(GetDlgItem(outerWindow, ids::kDialogClose), BM_CLICK, 0, 0);
        }
        return id == ids::kDialogClose;
      });
  host_.RunModal(list);

  EXPECT_EQ(innerOwner, outerWindow) << "Add Connection over the list, the list over the main window";
  EXPECT_NE(openWhileInner, outerWindow);
  EXPECT_EQ(openAfterInner, outerWindow);
  EXPECT_EQ(typed, "30") << "the octet box takes digits only";
  const std::vector<Command> edits = [&] {
    std::vector<Command> e;
    for (const Command& c : add.commands) {
      if (c.second == kEnChange) e.push_back(c);
    }
    return e;
  }();
  ASSERT_EQ(edits.size(), 2u) << "one edit per digit typed, none for the program's text or the refused letter";
  EXPECT_EQ(edits[0].first, ids::kConnectionIp4);
  EXPECT_EQ(host_.OpenDialog(), nullptr);
}

// Answers the first message box of this thread with OK, from a thread timer that the
// box's own message loop runs; records whether the surface knew a box was up.
struct BoxAnswerer {
  static inline Win32WindowSurface* surface = nullptr;
  static inline bool sawBoxUp = false;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
          wchar_t caption[64] = {};
          GetWindowTextW(window, caption, 64);
          if (std::wstring(caption) != L"Box test" || !IsWindowVisible(window)) return TRUE;
          *reinterpret_cast<HWND*>(lParam) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) return;
    sawBoxUp = surface->ShowingMessageBox();
    KillTimer(nullptr, timer);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
};

TEST_F(DialogHostTest, ACancelPostedWhileTheLogicWarnsNeverRunsTheLogicInsideItsWarning) {
  int afterBox = 0;
  mainSurface_.SetAfterMessageBox([&] { ++afterBox; });
  BoxAnswerer::surface = &mainSurface_;
  bool reentered = false, inLogic = false, boxUpAfter = false;
  HWND window = nullptr;
  RecordingLogic add(
      AddConnectionDialogTemplate(),
      [&](IWindowSurface&, HWND) {
        window = FindWithControl(ids::kConnectionIp4);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(ids::kDialogOk, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, ids::kDialogOk)));
      },
      [&](IWindowSurface&, int id, int) {
        if (inLogic) reentered = true;
        if (id != ids::kDialogOk) return id == ids::kDialogCancel;
        inLogic = true;
        // A close arrives as a Cancel while the logic warns over its dialog.
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        SetTimer(nullptr, 0, 100, &BoxAnswerer::Tick);
        mainSurface_.ShowMessageBox(MessageOwner::Dialog, "An octet is out of range", "Box test", MessageIcon::Warning,
                                    MessageButtons::Ok);
        boxUpAfter = mainSurface_.ShowingMessageBox();
        inLogic = false;
        // The user's own Cancel once the warning is answered ends the dialog.
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return false;
      });
  host_.RunModal(add);

  EXPECT_FALSE(reentered) << "the posted Cancel ran the logic inside its own warning";
  EXPECT_TRUE(BoxAnswerer::sawBoxUp);
  EXPECT_FALSE(boxUpAfter) << "the box is over once answered";
  EXPECT_EQ(afterBox, 1);
  ASSERT_EQ(add.commands.size(), 2u);
  EXPECT_EQ(add.commands[1], (Command{ids::kDialogCancel, kBnClicked}));
  EXPECT_EQ(host_.OpenDialog(), nullptr);
}

TEST(DialogCommandRoutingTest, EnterEscAndListDoubleClicksReachTheLogicOfADialog) {
  testing::TestDialog dialog(ConnectionListDialogTemplate());
  const HWND list = dialog.Control(ids::kConnectionList);
  const auto dbl = RouteDialogCommand(MAKEWPARAM(ids::kConnectionList, LBN_DBLCLK), reinterpret_cast<LPARAM>(list), false);
  ASSERT_TRUE(dbl.has_value());
  EXPECT_EQ(dbl->code, kLbnDblClk);
  const auto esc = RouteDialogCommand(MAKEWPARAM(IDCANCEL, 0), 0, false);
  ASSERT_TRUE(esc.has_value());
  EXPECT_EQ(esc->id, ids::kDialogCancel);
  EXPECT_EQ(esc->code, kBnClicked);
  const auto enter = RouteDialogCommand(MAKEWPARAM(IDOK, 0), 0, false);
  ASSERT_TRUE(enter.has_value());
  EXPECT_EQ(enter->id, ids::kDialogOk);
  EXPECT_FALSE(RouteDialogCommand(MAKEWPARAM(ids::kConnectionList, LBN_SETFOCUS), reinterpret_cast<LPARAM>(list), false))
      << "focus notices are not the user's choices";
}

}  // namespace
}  // namespace vqx::win32
