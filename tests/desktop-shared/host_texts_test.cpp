// What the shared host tells the user: how a search for the line settings ended, the
// programs' command line and the status panel's menu.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "detection_texts.h"
#include "program_options.h"
#include "serial_choice_texts.h"
#include "status_panel_menu.h"
#include "vqx_version.h"
#include "window/control_ids.h"

namespace vqx::desktop {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string ExplainMissing(const char* portName, const PortOpenResult&) {
  return std::string("There is no ") + portName + " on this computer.";
}

DetectionResult Ended(DetectionOutcome outcome, UnitLeft left = UnitLeft::Transparent) {
  DetectionResult result;
  result.outcome = outcome;
  result.unitLeft = left;
  result.openResult.ok = true;
  return result;
}

TEST(DetectionEndTest, FoundSelectsTheSettingsOnThePortSearchedAndSaysOkStoresThem) {
  DetectionResult result = Ended(DetectionOutcome::Found);
  result.settings = LineSettings{19200, 'E', 7, 2};
  const DetectionEnd end = DescribeDetectionEnd(result, "COM3", &ExplainMissing);
  ASSERT_TRUE(end.found.has_value());
  EXPECT_EQ(end.found->portName, "COM3");
  EXPECT_EQ(end.found->baudRate, 19200);
  EXPECT_EQ(end.found->dataBits, 7);
  EXPECT_EQ(end.found->stopBits, 2);
  EXPECT_EQ(end.found->parity, 'E');
  EXPECT_EQ(end.text, "Found at 19200 7E2. OK stores it.");
}

TEST(DetectionEndTest, EveryEndWithoutAnAnswerSelectsNothingAndSaysWhy) {
  DetectionResult notFound = Ended(DetectionOutcome::NotFound);
  notFound.triesMade = 12;
  EXPECT_EQ(DescribeDetectionEnd(notFound, "COM3", nullptr).text, "Nothing answered at the 12 settings tried.");
  EXPECT_FALSE(DescribeDetectionEnd(notFound, "COM3", nullptr).found.has_value());
  EXPECT_EQ(DescribeDetectionEnd(Ended(DetectionOutcome::Cancelled), "COM3", nullptr).text, "Search stopped.");

  // Lost while searching, or never opened: the platform's reason where it has one.
  EXPECT_EQ(DescribeDetectionEnd(Ended(DetectionOutcome::PortProblem), "COM3", &ExplainMissing).text,
            "The serial port was lost.");
  DetectionResult refused = Ended(DetectionOutcome::PortProblem);
  refused.openResult.ok = false;
  EXPECT_EQ(DescribeDetectionEnd(refused, "COM7", &ExplainMissing).text, "There is no COM7 on this computer.");
  EXPECT_EQ(DescribeDetectionEnd(refused, "COM7", nullptr).text, "The serial port could not be opened.");
  EXPECT_FALSE(DescribeDetectionEnd(refused, "COM7", nullptr).found.has_value());
}

// A TRAN that went unconfirmed leaves the user told that the unit may pass no radio data.
TEST(DetectionEndTest, AnUnconfirmedReturnIsToldWhateverTheSearchFound) {
  for (const DetectionOutcome outcome :
       {DetectionOutcome::Found, DetectionOutcome::NotFound, DetectionOutcome::Cancelled}) {
    EXPECT_THAT(DescribeDetectionEnd(Ended(outcome, UnitLeft::NotConfirmed), "COM3", nullptr).text,
                ::testing::EndsWith(". It may be in command mode."));
    EXPECT_THAT(DescribeDetectionEnd(Ended(outcome), "COM3", nullptr).text, Not(HasSubstr("command mode")));
  }
}

TEST(DesktopCommandLineTest, NoOptionOrDemoRunsTheProgram) {
  const DesktopCommandLine none = ParseDesktopCommandLine({}, DesktopPlatform::Linux);
  EXPECT_EQ(none.action, DesktopCommandLine::Action::Run);
  EXPECT_FALSE(none.demo);
  const DesktopCommandLine demo = ParseDesktopCommandLine({"--demo"}, DesktopPlatform::Windows);
  EXPECT_EQ(demo.action, DesktopCommandLine::Action::Run);
  EXPECT_TRUE(demo.demo);
}

TEST(DesktopCommandLineTest, HelpAndVersionAnswerWithExitCodeZeroOnBothPlatforms) {
  for (const DesktopPlatform platform : {DesktopPlatform::Linux, DesktopPlatform::Windows}) {
    for (const char* help : {"--help", "-h", "/?"}) {
      const DesktopCommandLine line = ParseDesktopCommandLine({"--demo", help}, platform);
      EXPECT_EQ(line.action, DesktopCommandLine::Action::Answer) << help;
      EXPECT_EQ(line.text, DesktopUsage(platform));
      EXPECT_FALSE(line.error);
      EXPECT_EQ(line.exitCode, 0);
    }
    const DesktopCommandLine version = ParseDesktopCommandLine({"--version"}, platform);
    EXPECT_EQ(version.action, DesktopCommandLine::Action::Answer);
    EXPECT_EQ(version.text, "vqxsu " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE "\n");
    EXPECT_EQ(version.exitCode, 0);
  }
}

TEST(DesktopCommandLineTest, AnUnknownOptionIsRefusedWithTheUsageAndExitCodeTwo) {
  const DesktopCommandLine line = ParseDesktopCommandLine({"--demo", "--port=COM1", "--help"}, DesktopPlatform::Windows);
  EXPECT_EQ(line.action, DesktopCommandLine::Action::Answer);
  EXPECT_TRUE(line.error);
  EXPECT_EQ(line.exitCode, 2);
  EXPECT_EQ(line.text, "vqxsu: unknown option '--port=COM1'\n\n" + DesktopUsage(DesktopPlatform::Windows));
}

// The usage says where each platform's simulated unit runs and where a desktop start keeps
// the files; the rest is the same text.
TEST(DesktopCommandLineTest, TheUsageDiffersOnlyWhereThePlatformsDo) {
  const std::string onLinux = DesktopUsage(DesktopPlatform::Linux);
  const std::string windows = DesktopUsage(DesktopPlatform::Windows);
  for (const std::string& usage : {onLinux, windows}) {
    EXPECT_THAT(usage, StartsWith("Usage: vqxsu [--demo]\n\nConfigures a VQX-2"));
    EXPECT_THAT(usage, HasSubstr("  --demo     talk to a simulated VQX-2"));
    EXPECT_THAT(usage, HasSubstr("  --help     show this text\n  --version  show the program's version\n"));
  }
  EXPECT_THAT(onLinux, HasSubstr("pseudo-terminal"));
  EXPECT_THAT(onLinux, HasSubstr("the home folder"));
  EXPECT_THAT(windows, Not(HasSubstr("pseudo-terminal")));
  EXPECT_THAT(windows, HasSubstr("History.txt.\n"));
}

TEST(StatusPanelMenuTest, NamingIsOfferedFirstAndOnlyWhileTheUnitMayBeNamed) {
  const auto both = StatusPanelMenu(true);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].id, ids::kMenuNameThisUnit);
  EXPECT_STREQ(both[0].text, "Name this unit...");
  EXPECT_EQ(both[1].id, ids::kMenuRemoteConnections);
  EXPECT_STREQ(both[1].text, "Remote Connections...");
  const auto listOnly = StatusPanelMenu(false);
  ASSERT_EQ(listOnly.size(), 1u);
  EXPECT_EQ(listOnly[0].id, ids::kMenuRemoteConnections);
}

// What the dialog selects for a choice reads back as that choice, for every framing the
// lists hold; values outside the lists select the defaults' texts.
TEST(SerialChoiceTextsTest, EveryFramingSelectedReadsBackAsItWas) {
  for (const int32_t dataBits : {7, 8}) {
    for (const int32_t stopBits : {1, 2}) {
      for (const char parity : {'N', 'E', 'O'}) {
        const HostSerialChoice read = ChoiceFromTexts("COM3", BaudRateText(19200), DataBitsText(dataBits),
                                                      StopBitsText(stopBits), ParityText(parity));
        EXPECT_EQ(read.portName, "COM3");
        EXPECT_EQ(read.baudRate, 19200);
        EXPECT_EQ(read.dataBits, dataBits);
        EXPECT_EQ(read.stopBits, stopBits);
        EXPECT_EQ(read.parity, parity);
      }
    }
  }
  EXPECT_STREQ(DataBitsText(5), "8");
  EXPECT_STREQ(StopBitsText(0), "1");
  EXPECT_STREQ(ParityText('M'), "None");
}

TEST(SerialChoiceTextsTest, ListsWithNothingSelectedReadAsNoValue) {
  const HostSerialChoice read = ChoiceFromTexts("", "", "", "", "");
  EXPECT_EQ(read.baudRate, 0) << "no rate selected: the logic refuses it";
  EXPECT_EQ(read.dataBits, 0);
  EXPECT_EQ(read.stopBits, 0);
  EXPECT_EQ(read.parity, 'N');
  EXPECT_EQ(ChoiceFromTexts("x", "fast", "8", "1", "None").baudRate, 0) << "a text that is no number";
}

TEST(SerialChoiceTextsTest, DetectNeedsAPortName) {
  const DetectPress none = PressDetect("");
  EXPECT_FALSE(none.start);
  EXPECT_EQ(none.text, "Type the serial port's name first.");
  const DetectPress named = PressDetect("/dev/ttyUSB0");
  EXPECT_TRUE(named.start);
  EXPECT_EQ(named.text, "Looking for the VQX-2 on /dev/ttyUSB0...");
  // Over RFC 2217 the tries reach the far port; over raw TCP they would all run at the
  // server's one setting.
  EXPECT_TRUE(PressDetect("rfc2217://mast-3:7000").start);
  const DetectPress raw = PressDetect("socket://mast-3:7001");
  EXPECT_FALSE(raw.start);
  EXPECT_EQ(raw.text, "A socket:// port runs at the server's line settings: set them there, or use rfc2217://.");
}

}  // namespace
}  // namespace vqx::desktop
