// What a user sees of the windows built from the templates, measured in the fonts the
// controls really got: every label and the longest value a box or list can hold fit their
// control, the chosen view's switch is drawn as a pressed button, and no label covers a
// box's border.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "control_mapping.h"
#include "field_table.h"
#include "test_dialog.h"
#include "win32_window_surface.h"
#include "window/connection_dialog_templates.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

using testing::TestDialog;

// The controls vqxsu.exe gets through its manifest (common controls 6, themed where the
// system has a theme, as Wine has by default), for the windows built while this lives.
class CommonControls6 {
 public:
  CommonControls6() {
    ACTCTXW context{};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    context.hModule = GetModuleHandleW(nullptr);
    context.lpResourceName = MAKEINTRESOURCEW(2);
    context_ = CreateActCtxW(&context);
    if (context_ != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context_, &cookie_) != FALSE;
  }
  ~CommonControls6() {
    if (active_) DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  CommonControls6(const CommonControls6&) = delete;
  CommonControls6& operator=(const CommonControls6&) = delete;
  bool Active() const { return active_; }

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

SIZE TextExtent(HWND control, const std::wstring& text) {
  const HDC dc = GetDC(control);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  const HGDIOBJ old = SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size;
}

RECT ClientOf(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  return r;
}

// A button's text as drawn: an & marks the next letter and takes no room.
std::wstring WithoutMnemonic(const char* text) {
  std::wstring out;
  const std::wstring wide = WidenLatin1(text);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'&' && i + 1 < wide.size()) ++i;
    out.push_back(wide[i]);
  }
  return out;
}

std::string Longest(std::span<const char* const> items) {
  std::string longest;
  for (const char* item : items) {
    if (std::string(item).size() >= longest.size()) longest = item;
  }
  return longest;
}

// The largest value a digits-only box of the settings form takes, from the limits the
// settings carry (a port's 65535, a delay's 10000) or an octet's 255.
std::map<int, std::string> LongestNumbers() {
  using snapshot::detail::FindField;
  std::map<int, std::string> longest;
  const std::map<int, const char*> ranged{{ids::kVoipPort, "voipPort"}, {ids::kCommandPort, "commandPort"},
                                          {ids::kServerPort, "serverPort"}, {ids::kRxDelay, "rxDelay"},
                                          {ids::kTxDelay, "txDelay"}};
  for (const auto& [id, key] : ranged) {
    const auto* field = FindField(key);
    if (field == nullptr) {
      ADD_FAILURE() << "no setting " << key;
      continue;
    }
    longest[id] = std::to_string(std::max(field->high, -field->low));
  }
  for (const int id : {ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4, ids::kServerIp1, ids::kServerIp2, ids::kServerIp3,
                       ids::kServerIp4, ids::kGateway1, ids::kGateway2, ids::kGateway3, ids::kGateway4, ids::kSubnet1,
                       ids::kSubnet2, ids::kSubnet3, ids::kSubnet4, ids::kConnectionIp1, ids::kConnectionIp2,
                       ids::kConnectionIp3, ids::kConnectionIp4}) {
    longest[id] = "255";
  }
  return longest;
}

struct Layout {
  const DialogTemplate* dialog;
  std::span<const char* const> (*listItems)(int);
};

std::vector<Layout> AllLayouts() {
  return {{&MainDialogTemplate(), &InitialListItems},
          {&SerialPortDialogTemplate(), &SerialDialogListItems},
          {&ConnectionListDialogTemplate(), nullptr},
          {&AddConnectionDialogTemplate(), nullptr},
          {&EditConnectionDialogTemplate(), nullptr}};
}

std::wstring FaceOf(HWND window) {
  const HDC dc = GetDC(window);
  const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return face;
}

// The windows get the template's own face, not a stand-in of other widths.
TEST(TextFitTest, TheWindowsAreDrawnInTheTemplatesOwnFace) {
  for (const Layout& layout : AllLayouts()) {
    TestDialog dialog(*layout.dialog);
    EXPECT_EQ(FaceOf(dialog.Window()), WidenLatin1(layout.dialog->fontName))
        << layout.dialog->caption << ": under Wine, Wine's own fonts are missing from the prefix (scripts/wine-prefix "
        << "copies them from Debian's fonts-wine)";
  }
}

// Labels, check boxes, buttons and group box titles: their whole text inside the control,
// as the template's font draws it.
TEST(TextFitTest, EveryLabelAndButtonTextFitsItsControl) {
  const CommonControls6 commonControls;
  ASSERT_TRUE(commonControls.Active());
  const int checkBox = GetSystemMetrics(SM_CXMENUCHECK);
  for (const Layout& layout : AllLayouts()) {
    TestDialog dialog(*layout.dialog);
    ASSERT_NE(dialog.Window(), nullptr);
    int index = 0;
    for (const ControlTemplate& c : layout.dialog->controls) {
      const int at = index++;
      if (c.text == nullptr || c.text[0] == '\0') continue;
      // The serial port dialog's labels have no id: find them by their place in the
      // template, which is their place among the dialog's children.
      HWND control = c.id != -1 ? dialog.Control(c.id) : nullptr;
      if (control == nullptr) {
        control = GetWindow(dialog.Window(), GW_CHILD);
        for (int i = 0; i < at && control != nullptr; ++i) control = GetWindow(control, GW_HWNDNEXT);
      }
      ASSERT_NE(control, nullptr) << c.text;
      const RECT client = ClientOf(control);
      const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
      SCOPED_TRACE(std::string(layout.dialog->caption) + ": \"" + c.text + "\"");
      if (c.kind == ControlKind::Static) {
        const SIZE text = TextExtent(control, WidenLatin1(c.text));
        EXPECT_LE(text.cx, client.right) << "label wider than its control";
        EXPECT_LE(text.cy, client.bottom) << "label taller than its control";
        continue;
      }
      ASSERT_EQ(c.kind, ControlKind::Button);
      const SIZE text = TextExtent(control, WithoutMnemonic(c.text));
      const DWORD type = style & BS_TYPEMASK;
      if (type == BS_GROUPBOX) {
        // The title starts a character in and leaves the frame's corner visible.
        EXPECT_LE(text.cx + 2 * text.cy, client.right);
      } else if ((type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON) && (style & BS_PUSHLIKE) == 0) {
        // The box, the gap after it, the text.
        EXPECT_LE(checkBox + 4 + text.cx, client.right);
      } else {
        // A push button's edges and focus rectangle take a few pixels on each side.
        EXPECT_LE(text.cx + 8, client.right);
        EXPECT_LE(text.cy + 4, client.bottom);
      }
    }
  }
}

// The boxes for numbers show their largest value whole, inside the edit control's
// formatting rectangle (its client area less its margins); the drop-down lists show their
// longest entry inside the selection field beside the arrow.
TEST(TextFitTest, TheLongestValueOfEveryNumberBoxAndListFitsIt) {
  const CommonControls6 commonControls;
  ASSERT_TRUE(commonControls.Active());
  const std::map<int, std::string> numbers = LongestNumbers();
  int boxes = 0;
  int lists = 0;
  for (const Layout& layout : AllLayouts()) {
    TestDialog dialog(*layout.dialog);
    ASSERT_NE(dialog.Window(), nullptr);
    PrepareDialogControls(dialog.Window(), *layout.dialog);
    for (const ControlTemplate& c : layout.dialog->controls) {
      SCOPED_TRACE(std::string(layout.dialog->caption) + ": " + std::to_string(c.id));
      const HWND control = c.id == -1 ? nullptr : dialog.Control(c.id);
      if (c.kind == ControlKind::Edit && (c.style & kStyleDigitsOnly) != 0) {
        const auto longest = numbers.find(c.id);
        ASSERT_NE(longest, numbers.end()) << "a number box without a known largest value";
        RECT format{};
        SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        const SIZE text = TextExtent(control, WidenLatin1(longest->second.c_str()));
        EXPECT_LE(text.cx, format.right - format.left) << "\"" << longest->second << "\" is cut";
        EXPECT_LE(text.cy, ClientOf(control).bottom);
        ++boxes;
      } else if (c.kind == ControlKind::ComboBox && layout.listItems != nullptr) {
        const std::string longest = Longest(layout.listItems(c.id));
        if (longest.empty()) continue;
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(GetComboBoxInfo(control, &info));
        const SIZE text = TextExtent(control, WidenLatin1(longest.c_str()));
        // The selection is drawn a pixel inside the field.
        EXPECT_LE(text.cx + 2, info.rcItem.right - info.rcItem.left) << "\"" << longest << "\" is cut";
        ++lists;
      }
    }
  }
  EXPECT_EQ(boxes, 3 + 2 + 16 + 4 + 4) << "ports, delays, the form's and the connection dialogs' octets";
  EXPECT_EQ(lists, 14 + 4);
}

// ---- The view switches ------------------------------------------------------------------

struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> at;
  COLORREF Get(int x, int y) const { return at[static_cast<size_t>(y) * width + x]; }
};

// The control as it paints itself into a bitmap of its own (it need not be on screen).
Pixels Render(HWND control) {
  const RECT client = ClientOf(control);
  Pixels p;
  p.width = client.right;
  p.height = client.bottom;
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, p.width, p.height);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  p.at.resize(static_cast<size_t>(p.width) * p.height);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) p.at[static_cast<size_t>(y) * p.width + x] = GetPixel(dc, x, y);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return p;
}

// The chosen view's switch looks pressed, as Windows draws a push-like radio button that
// is checked: sunken (its top and left edges in shadow) on the plain button face, not the
// flat block of a theme's pressed colour. The others stand raised (top and left edges lit).
TEST(ViewSwitchLookTest, TheCheckedSwitchIsDrawnPressedAndTheOthersRaised) {
  const CommonControls6 commonControls;
  ASSERT_TRUE(commonControls.Active());
  TestDialog dialog(MainDialogTemplate());
  PrepareMainWindowControls(dialog.Window());
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
  for (const int chosen : {ids::kViewSettings, ids::kViewTerminal, ids::kViewHistory}) {
    for (const int id : {ids::kViewSettings, ids::kViewTerminal, ids::kViewHistory}) {
      SendMessageW(dialog.Control(id), BM_SETCHECK, id == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    for (const int id : {ids::kViewSettings, ids::kViewTerminal, ids::kViewHistory}) {
      SCOPED_TRACE(std::to_string(chosen) + " chosen, " + std::to_string(id));
      const Pixels p = Render(dialog.Control(id));
      ASSERT_GT(p.width, 8);
      ASSERT_GT(p.height, 8);
      // Along the top edge, a little in from the corners.
      const int mid = p.width / 2;
      const COLORREF topEdge = p.Get(mid, 0);
      // A row below the text and above the bottom edges: the face alone.
      int faceRow = 0;
      for (int x = 4; x < p.width - 4; ++x) faceRow += p.Get(x, p.height - 4) == face ? 1 : 0;
      if (id == chosen) {
        EXPECT_NE(topEdge, light) << "the chosen switch is raised";
        EXPECT_EQ(faceRow, p.width - 8) << "the chosen switch is not filled with the button face";
      } else {
        EXPECT_EQ(topEdge, light) << "an unchosen switch is not raised";
      }
    }
  }
}

// ---- Borders ----------------------------------------------------------------------------

RECT PlaceOf(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A box's border is drawn whole: no other control of the same view lies over it. Group
// boxes frame controls by design and draw nothing over them.
TEST(BorderTest, NoControlOfAViewLiesOverABorderedBoxOfThatView) {
  const CommonControls6 commonControls;
  TestDialog dialog(MainDialogTemplate());
  const auto& controls = MainDialogTemplate().controls;
  int bordered = 0;
  for (const ControlView view : {ControlView::Settings, ControlView::Terminal, ControlView::History}) {
    for (const ControlTemplate& box : controls) {
      if ((box.style & kStyleBorder) == 0 || (box.view != view && box.view != ControlView::All)) continue;
      ++bordered;
      const RECT boxPlace = PlaceOf(dialog.Control(box.id));
      for (const ControlTemplate& other : controls) {
        if (&other == &box || other.id == -1 || (other.style & kStyleGroupBox) != 0) continue;
        if (other.view != view && other.view != ControlView::All) continue;
        RECT overlap;
        const RECT otherPlace = PlaceOf(dialog.Control(other.id));
        EXPECT_FALSE(IntersectRect(&overlap, &boxPlace, &otherPlace))
            << other.id << " lies over the border of " << box.id << " (" << overlap.left << "," << overlap.top << ")-("
            << overlap.right << "," << overlap.bottom << ")";
      }
    }
  }
  EXPECT_GT(bordered, 20);
}

// The same on the screen, as the History view is painted: the dialog shown, the other
// views' controls hidden, a report long enough to scroll put into the report box. Every
// row and column of a box's edge is one colour from end to end: no neighbour painted a
// strip over it.
TEST(BorderTest, TheHistoryViewsBoxesShowTheirEdgesWholeOnTheScreen) {
  const CommonControls6 commonControls;
  ASSERT_TRUE(commonControls.Active());
  TestDialog dialog(MainDialogTemplate());
  PrepareMainWindowControls(dialog.Window());
  const auto showView = [&](ControlView view) {
    for (const ControlTemplate& c : MainDialogTemplate().controls) {
      if (c.id == -1 || c.view == ControlView::All) continue;
      ShowWindow(dialog.Control(c.id), c.view == view && c.id != ids::kViaDhcp ? SW_SHOWNA : SW_HIDE);
    }
    testing::PumpUntil([] { return false; }, 300);
  };
  // As the program starts: the settings form, then the user's switch to History, the
  // current unit added to the list and chosen there.
  showView(ControlView::Settings);
  EnableWindow(dialog.Control(ids::kSaveHistory), FALSE);
  SetWindowPos(dialog.Window(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  testing::PumpUntil([] { return false; }, 300);
  showView(ControlView::History);
  const HWND list = dialog.Control(ids::kHistoryList);
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"(All)"));
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Tower 2 (192.168.1.20:2000)"));
  SendMessageW(list, LB_SETCURSEL, 1, 0);
  std::wstring report;
  for (int i = 0; i < 40; ++i) report += L"Line " + std::to_wstring(i) + L" of the report\r\n";
  SetWindowTextW(dialog.Control(ids::kReportPane), report.c_str());
  EnableWindow(dialog.Control(ids::kSaveHistory), TRUE);
  testing::PumpUntil([] { return false; }, 500);
  UpdateWindow(dialog.Window());

  const HDC screen = GetDC(nullptr);
  int checked = 0;
  for (const int id : {ids::kHistoryList, ids::kReportPane, ids::kSerialNumberEntry}) {
    RECT r;
    GetWindowRect(dialog.Control(id), &r);
    for (int row = 0; row < 2; ++row) {
      const COLORREF first = GetPixel(screen, r.left + 2, r.top + row);
      int odd = 0;
      for (int x = r.left + 2; x < r.right - 2; ++x) odd += GetPixel(screen, x, r.top + row) != first ? 1 : 0;
      EXPECT_EQ(odd, 0) << id << ": top edge, row " << row;
      ++checked;
    }
    for (int column = 0; column < 2; ++column) {
      const COLORREF first = GetPixel(screen, r.left + column, r.top + 2);
      int odd = 0;
      for (int y = r.top + 2; y < r.bottom - 2; ++y) odd += GetPixel(screen, r.left + column, y) != first ? 1 : 0;
      EXPECT_EQ(odd, 0) << id << ": left edge, column " << column;
      ++checked;
    }
  }
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(checked, 12);
}

// Every edit box of the settings form shows its own white face on the screen: a group box
// stacked above the controls that follow it in the template once covered the web
// password (and the check box beside it) with its own background.
TEST(BorderTest, EveryEditBoxOfTheSettingsViewIsPaintedOnTheScreen) {
  const CommonControls6 commonControls;
  ASSERT_TRUE(commonControls.Active());
  TestDialog dialog(MainDialogTemplate());
  PrepareMainWindowControls(dialog.Window());
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    if (c.id == -1 || c.view == ControlView::All) continue;
    ShowWindow(dialog.Control(c.id), c.view == ControlView::Settings && c.id != ids::kViaDhcp ? SW_SHOWNA : SW_HIDE);
  }
  SetWindowPos(dialog.Window(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  testing::PumpUntil([] { return false; }, 500);
  UpdateWindow(dialog.Window());

  const HDC screen = GetDC(nullptr);
  const COLORREF face = GetSysColor(COLOR_WINDOW);
  int checked = 0;
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    if (c.view != ControlView::Settings || c.kind != ControlKind::Edit || (c.style & kStyleReadOnly) != 0) continue;
    const HWND edit = dialog.Control(c.id);
    POINT inside{2, 2};  // within the client area, clear of any text
    ClientToScreen(edit, &inside);
    EXPECT_EQ(GetPixel(screen, inside.x, inside.y), face) << c.id << " is not drawn";
    ++checked;
  }
  ReleaseDC(nullptr, screen);
  EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace vqx::win32
