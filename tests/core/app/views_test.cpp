// The three views and the window procedure's dispatch of clicks, menu choices and edits.

#include <gmock/gmock.h>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "window/dialog_template.h"

namespace vqx::testing {
namespace {

class ViewsTest : public AppScriptedTest {
 protected:
  void SetUp() override { window.Create(); }
};

TEST_F(ViewsTest, ClickingTheViewAlreadyShownDoesNothingNotEvenARepaint) {
  const int erased = surface.InvalidateCount(true);
  surface.SetFocus(ids::kName);
  Click(ids::kViewSettings);
  EXPECT_EQ(surface.InvalidateCount(true), erased);
  EXPECT_EQ(surface.Focus(), ids::kName);
}

TEST_F(ViewsTest, EachViewShowsOnlyItsControlsFocusesItsFirstAndRepaintsWithErase) {
  struct Case {
    int button;
    int32_t view;
    int focus;
  };
  for (const Case& c : {Case{ids::kViewTerminal, kViewTerminal, ids::kCommandEntry},
                        Case{ids::kViewHistory, kViewHistory, ids::kSerialNumberEntry},
                        Case{ids::kViewSettings, kViewSettings, ids::kUpdateSettings}}) {
    const int erased = surface.InvalidateCount(true);
    Click(c.button);
    EXPECT_EQ(window.GetView(), c.view);
    EXPECT_EQ(surface.Focus(), c.focus);
    EXPECT_EQ(surface.InvalidateCount(true), erased + 1);
    for (int id : SettingsViewControls()) EXPECT_EQ(surface.Visible(id), c.view == kViewSettings) << id;
    for (int id : TerminalViewControls()) EXPECT_EQ(surface.Visible(id), c.view == kViewTerminal) << id;
    for (int id : HistoryViewControls()) EXPECT_EQ(surface.Visible(id), c.view == kViewHistory) << id;
    EXPECT_FALSE(surface.Visible(ids::kViaDhcp)) << "the unit's address is not from DHCP";
  }
}

TEST_F(ViewsTest, ViaDhcpNoteIsShownWithTheSettingsViewOnlyWhenTheAddressCameFromDhcp) {
  DeviceSettings settings = window.GetCurrentSettings();
  settings.dhcpAssigned = 1;
  CAppWindowTestAccess::SetCurrentSettings(window, settings);
  Click(ids::kViewTerminal);
  EXPECT_FALSE(surface.Visible(ids::kViaDhcp));
  Click(ids::kViewSettings);
  EXPECT_TRUE(surface.Visible(ids::kViaDhcp));
}

TEST_F(ViewsTest, ADoubleClickOnAViewButtonDoesNotSwitch) {
  window.OnCommand(ids::kViewTerminal, kBnDoubleClicked);
  EXPECT_EQ(window.GetView(), kViewSettings);
}

TEST_F(ViewsTest, TwelveDigitsTypedIntoTheFirstBoxFillTheRowWithoutTab) {
  const std::string digits = "192168001020";
  const int row[] = {ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4};
  int box = 0;
  surface.SetFocus(row[0]);
  for (size_t i = 0; i < digits.size(); ++i) {
    const int focused = surface.Focus();
    ASSERT_EQ(focused, row[box]) << "digit " << i;
    Type(focused, surface.Text(focused) + digits[i]);
    if (i % 3 == 2 && box < 3) ++box;
  }
  EXPECT_EQ(surface.Text(ids::kIp1), "192");
  EXPECT_EQ(surface.Text(ids::kIp2), "168");
  EXPECT_EQ(surface.Text(ids::kIp3), "001");
  EXPECT_EQ(surface.Text(ids::kIp4), "020");
  EXPECT_EQ(surface.Focus(), ids::kIp4) << "the last box does not advance";
}

TEST_F(ViewsTest, AdvanceSelectsTheNextBoxTextAndHappensAgainAfterARetype) {
  surface.SetText(ids::kSubnet2, "255");
  surface.SetFocus(ids::kSubnet1);
  Type(ids::kSubnet1, "255");
  EXPECT_EQ(surface.Focus(), ids::kSubnet2);
  EXPECT_EQ(surface.TextSelection(ids::kSubnet2), std::make_pair(size_t{0}, size_t{3}));

  surface.SetFocus(ids::kSubnet1);
  Type(ids::kSubnet1, "25");
  EXPECT_EQ(surface.Focus(), ids::kSubnet1) << "two characters do not advance";
  Type(ids::kSubnet1, "2555");
  EXPECT_EQ(surface.Focus(), ids::kSubnet1) << "only the change that makes exactly 3 advances";
  Type(ids::kSubnet1, "255");
  EXPECT_EQ(surface.Focus(), ids::kSubnet2);

  surface.SetFocus(ids::kVoipPort);
  Type(ids::kVoipPort, "122");
  EXPECT_EQ(surface.Focus(), ids::kVoipPort) << "the port box is not part of an address row";
}

TEST_F(ViewsTest, AboutShowsThreeLinesOwnedByTheMainWindowAndManualDoesNothing) {
  Click(ids::kMenuAbout);
  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, MessageOwner::MainWindow);
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(boxes[0].text.substr(0, 40), "VQX Setup Utility\rVersion 1.3 (Build 7)\r");
  // Then where the preferences are, as the file store names them (a memory store: the name).
  EXPECT_EQ(boxes[0].text.substr(boxes[0].text.find("\r\r")), "\r\rPreferences file:\rVQXSU_Prefs.cfg");

  EXPECT_EQ(Click(ids::kMenuManual), CommandOutcome::Handled);
  EXPECT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(Click(ids::kMenuSelectSerialPort), CommandOutcome::ShowSerialPortDialog);
}

// The path is a system text (UTF-8), the box a window text (Latin-1, as the unit's
// bytes): an accent shows as itself in both desktop programs, not as two characters.
TEST_F(ViewsTest, AboutNamesAPreferencesFolderOutsideAsciiInTheWindowsText) {
  files.folder = "C:\\Users\\T\xC3\xA9" "cnico \xCE\xA3\xCE\xBF\\";
  Click(ids::kMenuAbout);
  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.substr(boxes[0].text.find("\r\r")),
            "\r\rPreferences file:\rC:\\Users\\T\xE9" "cnico ??\\VQXSU_Prefs.cfg");
}

TEST_F(ViewsTest, AnyCommandLetsTheWorkerRunUnpaused) {
  Passes(3000);
  ASSERT_EQ(CAppWindowTestAccess::IdlePasses(window), kIdlePassLimit);
  window.OnCommand(ids::kName, kEnChange);
  EXPECT_EQ(CAppWindowTestAccess::IdlePasses(window), 0);
}

TEST_F(ViewsTest, HistorySelectionChangeReturnsOneAtOnce) {
  Click(ids::kViewHistory);
  surface.UserSelectItem(ids::kHistoryList, 0);
  EXPECT_EQ(window.OnCommand(ids::kHistoryList, kLbnSelChange), CommandOutcome::HandledReturnOne);
}

}  // namespace
}  // namespace vqx::testing
