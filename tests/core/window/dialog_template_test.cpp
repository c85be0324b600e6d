#include "window/dialog_template.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "window/control_ids.h"

namespace vqx {
namespace {

const ControlTemplate* Find(const DialogTemplate& d, int id) {
  for (const ControlTemplate& c : d.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

TEST(MainDialogTemplate, HoldsNinetySevenControlsWithUniqueIdsAndOneWithout) {
  const DialogTemplate& d = MainDialogTemplate();
  EXPECT_EQ(d.id, 101);
  EXPECT_STREQ(d.caption, "VQX Setup Utility");
  EXPECT_STREQ(d.fontName, "MS Sans Serif");
  EXPECT_EQ(d.fontPointSize, 8);
  EXPECT_EQ(d.width, 402);
  EXPECT_EQ(d.height, 355);
  ASSERT_EQ(d.controls.size(), 97u);
  std::set<int> ids;
  int withoutId = 0;
  for (const ControlTemplate& c : d.controls) {
    if (c.id == -1) {
      ++withoutId;
      EXPECT_STREQ(c.text, "Views");
    } else {
      EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
    }
  }
  EXPECT_EQ(withoutId, 1);
}

TEST(MainDialogTemplate, ViewListsCoverTheTemplateExactlyAndAgreeWithEachControlsView) {
  const DialogTemplate& d = MainDialogTemplate();
  ASSERT_EQ(SettingsViewControls().size(), 77u);
  ASSERT_EQ(TerminalViewControls().size(), 6u);
  ASSERT_EQ(HistoryViewControls().size(), 8u);

  std::map<int, ControlView> listed;
  auto add = [&](std::span<const int> ids, ControlView view) {
    for (int id : ids) EXPECT_TRUE(listed.emplace(id, view).second) << "listed twice: " << id;
  };
  add(SettingsViewControls(), ControlView::Settings);
  add(TerminalViewControls(), ControlView::Terminal);
  add(HistoryViewControls(), ControlView::History);
  EXPECT_EQ(listed.count(ids::kViaDhcp), 0u);

  size_t matched = 0;
  for (const ControlTemplate& c : d.controls) {
    if (c.view == ControlView::All) {
      EXPECT_EQ(listed.count(c.id), 0u) << c.id;
      continue;
    }
    if (c.id == ids::kViaDhcp) {
      EXPECT_EQ(c.view, ControlView::Settings);
      continue;
    }
    const auto it = listed.find(c.id);
    ASSERT_NE(it, listed.end()) << "in no view list: " << c.id;
    EXPECT_EQ(it->second, c.view) << c.id;
    ++matched;
  }
  EXPECT_EQ(matched, listed.size());  // every listed id is a template control
}

TEST(MainDialogTemplate, SpotChecksAgreeWithTheLayout) {
  const DialogTemplate& d = MainDialogTemplate();
  const ControlTemplate* out = Find(d, ids::kOutputWindow);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->kind, ControlKind::Edit);
  EXPECT_EQ(out->style, static_cast<uint32_t>(kStyleMultiLine | kStyleReadOnly | kStyleVScroll | kStyleHScroll |
                                              kStyleAutoHScroll | kStyleBorder));

  const ControlTemplate* send = Find(d, ids::kSend);
  ASSERT_NE(send, nullptr);
  EXPECT_STREQ(send->text, "Send");
  EXPECT_TRUE(send->style & kStyleDefaultPushButton);
  EXPECT_FALSE(send->style & kStylePushButton);

  const ControlTemplate* dhcp = Find(d, ids::kViaDhcp);
  ASSERT_NE(dhcp, nullptr);
  EXPECT_EQ(&d.controls.back(), dhcp);
  EXPECT_EQ(dhcp->kind, ControlKind::Static);
  EXPECT_STREQ(dhcp->text, "(via DHCP)");
  EXPECT_EQ(dhcp->x, 258);
  EXPECT_EQ(dhcp->y, 102);
  EXPECT_EQ(dhcp->width, 39);
  EXPECT_EQ(dhcp->height, 11);

  // Tab order begins with the History list; the view buttons form one radio group.
  EXPECT_EQ(d.controls.front().id, ids::kHistoryList);
  EXPECT_TRUE(Find(d, ids::kViewSettings)->style & kStyleGroupStart);
  EXPECT_FALSE(Find(d, ids::kViewTerminal)->style & kStyleGroupStart);
  EXPECT_EQ(Find(d, ids::kQosDscp)->kind, ControlKind::ComboBox);
  EXPECT_TRUE(Find(d, ids::kRxDelay)->style & kStyleDigitsOnly);
  EXPECT_STREQ(Find(d, ids::kAllowHttpAuthentication)->text, "Allow HTTP Authentication");
}

TEST(MainDialogTemplate, InitialListsFillEveryDropDownAndNothingElse) {
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    EXPECT_EQ(c.kind == ControlKind::ComboBox, !InitialListItems(c.id).empty()) << c.id;
  }
  const auto dscp = InitialListItems(ids::kQosDscp);
  ASSERT_EQ(dscp.size(), 64u);
  for (size_t i = 0; i < dscp.size(); ++i) EXPECT_EQ(std::string(dscp[i]), std::to_string(i));
  const auto parity = InitialListItems(ids::kParity);
  ASSERT_EQ(parity.size(), 3u);
  EXPECT_STREQ(parity[1], "Even");
  EXPECT_STREQ(InitialListItems(ids::kBaudRate).back(), "115200");
}

TEST(SerialPortDialogTemplate, HoldsPortNameFourListsButtonsAndFiveLabels) {
  const DialogTemplate& d = SerialPortDialogTemplate();
  EXPECT_STREQ(d.caption, "Select Serial Port");
  EXPECT_EQ(d.width, 173);
  EXPECT_EQ(d.height, 165);  // the original 133, and a row for Detect and its progress
  ASSERT_EQ(d.controls.size(), 14u);
  EXPECT_EQ(Find(d, ids::kSerialDetect)->kind, ControlKind::Button);
  EXPECT_STREQ(Find(d, ids::kSerialDetect)->text, "&Detect");
  EXPECT_GE(Find(d, ids::kSerialDetect)->y, Find(d, ids::kDialogOk)->y + Find(d, ids::kDialogOk)->height);
  EXPECT_EQ(Find(d, ids::kSerialDetectStatus)->kind, ControlKind::Static);
  EXPECT_LE(Find(d, ids::kSerialDetectStatus)->y + Find(d, ids::kSerialDetectStatus)->height, d.height);
  EXPECT_EQ(Find(d, ids::kSerialPortName)->kind, ControlKind::Edit);
  for (int id : {ids::kSerialBaudRate, ids::kSerialDataBits, ids::kSerialStopBits, ids::kSerialParity}) {
    EXPECT_EQ(Find(d, id)->kind, ControlKind::ComboBox) << id;
  }
  EXPECT_TRUE(Find(d, ids::kDialogOk)->style & kStyleDefaultPushButton);
  EXPECT_STREQ(Find(d, ids::kDialogCancel)->text, "Cancel");
  int labels = 0;
  for (const ControlTemplate& c : d.controls) labels += c.id == -1 ? 1 : 0;
  EXPECT_EQ(labels, 5);

  // Same ids as main-window lists, different contents.
  const auto parity = SerialDialogListItems(ids::kSerialParity);
  ASSERT_EQ(parity.size(), 3u);
  EXPECT_STREQ(parity[1], "Odd");
  EXPECT_STREQ(parity[2], "Even");
  EXPECT_EQ(SerialDialogListItems(ids::kSerialBaudRate).size(), 9u);
  EXPECT_TRUE(SerialDialogListItems(ids::kSerialPortName).empty());
}

TEST(MainMenuTemplate, FileAndHelpItemsWithManualGreyed) {
  const auto menu = MainMenuTemplate();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_STREQ(menu[0].text, "&File");
  ASSERT_EQ(menu[0].items.size(), 5u);
  EXPECT_EQ(menu[0].items[0].id, ids::kMenuReset);
  EXPECT_STREQ(menu[0].items[1].text, "&Select Serial Port...");
  EXPECT_STREQ(menu[0].items[2].text, "Remote &Connections...");
  EXPECT_EQ(menu[0].items[2].id, ids::kMenuRemoteConnections);
  EXPECT_EQ(menu[0].items[3].text, nullptr);
  EXPECT_EQ(menu[0].items[4].id, ids::kMenuExit);
  EXPECT_STREQ(menu[1].text, "&Help");
  ASSERT_EQ(menu[1].items.size(), 3u);
  EXPECT_EQ(menu[1].items[0].id, ids::kMenuAbout);
  EXPECT_EQ(menu[1].items[1].id, 0);
  EXPECT_EQ(menu[1].items[2].id, ids::kMenuManual);
  EXPECT_TRUE(menu[1].items[2].greyed);
  EXPECT_FALSE(menu[0].items[0].greyed);
}

TEST(AboutText, ThreeLinesSeparatedByCarriageReturns) {
  EXPECT_STREQ(kAboutText, "VQX Setup Utility\rVersion 1.3 (Build 7)\rVQX Setup Utility developers");
}

}  // namespace
}  // namespace vqx
