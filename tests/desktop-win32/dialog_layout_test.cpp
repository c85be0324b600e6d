// The main window and the serial port dialog as built from their templates: the items
// of the in-memory template, then the real windows the dialog manager makes of them.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "control_mapping.h"
#include "dialog_builder.h"
#include "test_dialog.h"
#include "window/connection_dialog_templates.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

using testing::TestDialog;

const ParsedItem& Item(const ParsedDialog& dialog, int id) {
  for (const ParsedItem& item : dialog.items) {
    if (item.id == static_cast<DWORD>(id)) return item;
  }
  ADD_FAILURE() << "no item " << id;
  return dialog.items.front();
}

TEST(DialogTemplateBuildTest, EveryControlIsAnItemInTemplateOrderWithItsIdPlaceAndText) {
  for (const DialogTemplate* dialog : {&MainDialogTemplate(), &SerialPortDialogTemplate()}) {
    const ParsedDialog parsed = ParseDialogTemplate(BuildDialogTemplate(*dialog, WS_POPUP));
    EXPECT_EQ(parsed.caption, WidenLatin1(dialog->caption));
    EXPECT_EQ(parsed.cx, dialog->width);
    EXPECT_EQ(parsed.cy, dialog->height);
    EXPECT_EQ(parsed.fontName, WidenLatin1(dialog->fontName)) << "the template's own font";
    EXPECT_EQ(parsed.pointSize, dialog->fontPointSize);
    EXPECT_EQ(parsed.style & (DS_SETFONT | DS_FIXEDSYS), DWORD{DS_SETFONT}) << "not DS_SHELLFONT, which swaps the font";
    ASSERT_EQ(parsed.items.size(), dialog->controls.size());
    for (size_t i = 0; i < parsed.items.size(); ++i) {
      const ControlTemplate& c = dialog->controls[i];
      const ParsedItem& item = parsed.items[i];
      SCOPED_TRACE(c.id);
      EXPECT_EQ(item.id, static_cast<DWORD>(c.id));
      EXPECT_EQ(item.x, c.x);
      EXPECT_EQ(item.y, c.y);
      EXPECT_EQ(item.cx, c.width);
      EXPECT_EQ(item.cy, c.height);
      EXPECT_EQ(item.title, WidenLatin1(c.text));
      EXPECT_EQ(item.classAtom, MapControl(c).classAtom);
    }
  }
}

TEST(DialogTemplateBuildTest, StylesCarryTheTemplatesMeaning) {
  const ParsedDialog main = ParseDialogTemplate(BuildDialogTemplate(MainDialogTemplate(), WS_POPUP));
  // Address boxes take digits only; the name box takes anything.
  for (const int id : {ids::kIp1, ids::kSubnet4, ids::kVoipPort, ids::kRxDelay}) {
    EXPECT_EQ(Item(main, id).classAtom, kEditAtom);
    EXPECT_NE(Item(main, id).style & ES_NUMBER, 0u) << id;
  }
  EXPECT_EQ(Item(main, ids::kName).style & ES_NUMBER, 0u);
  // The view switches are push-like automatic radio buttons; the first starts the group.
  for (const int id : {ids::kViewSettings, ids::kViewTerminal, ids::kViewHistory}) {
    EXPECT_EQ(Item(main, id).style & BS_TYPEMASK, DWORD{BS_AUTORADIOBUTTON}) << id;
    EXPECT_NE(Item(main, id).style & BS_PUSHLIKE, 0u) << id;
    EXPECT_NE(Item(main, id).style & BS_NOTIFY, 0u) << id;
  }
  EXPECT_NE(Item(main, ids::kViewSettings).style & WS_GROUP, 0u);
  EXPECT_EQ(Item(main, ids::kViewTerminal).style & WS_GROUP, 0u);
  // The output window and the report: read-only multi-line edits that scroll.
  for (const int id : {ids::kOutputWindow, ids::kReportPane}) {
    const DWORD style = Item(main, id).style;
    EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL),
              DWORD{ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL})
        << id;
    EXPECT_NE(Item(main, id).exStyle & WS_EX_CLIENTEDGE, 0u);
  }
  EXPECT_NE(Item(main, ids::kOutputWindow).style & WS_HSCROLL, 0u);
  EXPECT_EQ(Item(main, ids::kReportPane).style & WS_HSCROLL, 0u);
  EXPECT_EQ(Item(main, ids::kCommandEntry).style & ES_READONLY, 0u);
  EXPECT_EQ(Item(main, ids::kSend).style & BS_TYPEMASK, DWORD{BS_DEFPUSHBUTTON});
  EXPECT_EQ(Item(main, ids::kUpdateSettings).style & BS_TYPEMASK, DWORD{BS_PUSHBUTTON});
  EXPECT_EQ(Item(main, ids::kAllowTelnet).style & BS_TYPEMASK, DWORD{BS_AUTOCHECKBOX});
  EXPECT_EQ(Item(main, ids::kStatusGroup).style & BS_TYPEMASK, DWORD{BS_GROUPBOX});
  EXPECT_EQ(Item(main, ids::kStatusGroup).style & WS_TABSTOP, 0u);
  EXPECT_EQ(Item(main, ids::kVocoder).classAtom, kComboBoxAtom);
  EXPECT_EQ(Item(main, ids::kVocoder).style & 3u, DWORD{CBS_DROPDOWNLIST});
  EXPECT_EQ(Item(main, ids::kHistoryList).classAtom, kListBoxAtom);
  EXPECT_EQ(Item(main, ids::kHistoryList).style & (LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_SORT),
            DWORD{LBS_NOTIFY | LBS_NOINTEGRALHEIGHT})
      << "the History list keeps the stored order";
  // Labels keep their alignment.
  EXPECT_EQ(Item(main, 1089).style & SS_TYPEMASK, DWORD{SS_RIGHT});
  EXPECT_NE(Item(main, 1089).style & SS_CENTERIMAGE, 0u);
  EXPECT_EQ(Item(main, 1094).style & SS_TYPEMASK, DWORD{SS_CENTER});
  // "Gateway IP Address" is right-aligned at the top of a one-line rectangle: kept to one
  // line, never wrapped below its rectangle.
  EXPECT_EQ(Item(main, 1096).style & SS_TYPEMASK, DWORD{SS_RIGHT});
  EXPECT_NE(Item(main, 1096).style & SS_CENTERIMAGE, 0u);
  EXPECT_EQ(Item(main, ids::kCommandEntryLabel).style & SS_TYPEMASK, DWORD{SS_LEFT});
  // Every label shows an & as itself: the unit's texts reach the MAC and firmware labels
  // and the connection count.
  for (const DialogTemplate* layout : {&MainDialogTemplate(), &ConnectionListDialogTemplate()}) {
    const ParsedDialog parsed = ParseDialogTemplate(BuildDialogTemplate(*layout, WS_POPUP));
    ASSERT_EQ(parsed.items.size(), layout->controls.size());
    for (size_t i = 0; i < parsed.items.size(); ++i) {
      if (layout->controls[i].kind != ControlKind::Static) continue;
      EXPECT_EQ(parsed.items[i].classAtom, kStaticAtom);
      EXPECT_NE(parsed.items[i].style & SS_NOPREFIX, 0u) << layout->caption << " " << layout->controls[i].id;
    }
  }
  // Every control paints inside its own rectangle only, never over a neighbour's edge.
  for (const ParsedItem& item : main.items) EXPECT_NE(item.style & WS_CLIPSIBLINGS, 0u) << item.id;
  // Tab stops exactly where the template has them.
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    if (c.id == -1) continue;
    EXPECT_EQ((Item(main, c.id).style & WS_TABSTOP) != 0, (c.style & kStyleTabStop) != 0) << c.id;
  }
}

// The base units of a dialog's font as the dialog manager computes them: the average
// width of the 52 Latin letters, rounded, and the font's height.
SIZE MeasureBaseUnits(HWND dialog) {
  const HDC dc = GetDC(dialog);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE letters{};
  GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

RECT ClientRectOf(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST(MainDialogWindowTest, ControlsSitAtTheirDialogUnitsConvertedWithTheDialogFontsBaseUnits) {
  TestDialog dialog(MainDialogTemplate());
  ASSERT_NE(dialog.Window(), nullptr);
  const SIZE base = MeasureBaseUnits(dialog.Window());
  ASSERT_GT(base.cx, 0);
  ASSERT_GT(base.cy, 0);
  RECT unit{0, 0, 4, 8};
  MapDialogRect(dialog.Window(), &unit);
  EXPECT_EQ(unit.right, base.cx) << "4 horizontal dialog units are one base unit";
  EXPECT_EQ(unit.bottom, base.cy) << "8 vertical dialog units are one base unit";

  RECT client;
  GetClientRect(dialog.Window(), &client);
  EXPECT_EQ(client.right, MulDiv(MainDialogTemplate().width, base.cx, 4));
  EXPECT_EQ(client.bottom, MulDiv(MainDialogTemplate().height, base.cy, 8));

  int checked = 0;
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    if (c.id == -1) continue;
    const HWND control = dialog.Control(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    const RECT r = ClientRectOf(control);
    SCOPED_TRACE(c.id);
    EXPECT_EQ(r.left, MulDiv(c.x, base.cx, 4));
    EXPECT_EQ(r.top, MulDiv(c.y, base.cy, 8));
    EXPECT_EQ(r.right - r.left, MulDiv(c.width, base.cx, 4));
    // A drop-down list's template height includes its opened list.
    if (c.kind != ControlKind::ComboBox) {
      EXPECT_EQ(r.bottom - r.top, MulDiv(c.height, base.cy, 8));
    }
    ++checked;
  }
  EXPECT_EQ(checked, 96) << "every control but the unnamed group box";
}

TEST(MainDialogWindowTest, ControlsHaveTheirWindowClassesAndTabVisitsTheTabStopsInTemplateOrder) {
  TestDialog dialog(MainDialogTemplate());
  const std::map<ControlKind, const wchar_t*> classes{{ControlKind::Static, L"Static"},
                                                      {ControlKind::Edit, L"Edit"},
                                                      {ControlKind::Button, L"Button"},
                                                      {ControlKind::ComboBox, L"ComboBox"},
                                                      {ControlKind::ListBox, L"ListBox"}};
  std::vector<HWND> tabStops;
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    if (c.id == -1) continue;
    wchar_t name[32] = {};
    GetClassNameW(dialog.Control(c.id), name, 32);
    EXPECT_EQ(lstrcmpiW(name, classes.at(c.kind)), 0) << c.id;
    if ((c.style & kStyleTabStop) != 0) tabStops.push_back(dialog.Control(c.id));
  }
  ASSERT_GT(tabStops.size(), 10u);
  HWND at = tabStops.front();
  for (size_t i = 1; i < tabStops.size(); ++i) {
    at = GetNextDlgTabItem(dialog.Window(), at, FALSE);
    EXPECT_EQ(GetDlgCtrlID(at), GetDlgCtrlID(tabStops[i])) << "step " << i;
  }
  EXPECT_EQ(GetNextDlgTabItem(dialog.Window(), tabStops.back(), FALSE), tabStops.front()) << "Tab wraps round";
}

}  // namespace
}  // namespace vqx::win32
