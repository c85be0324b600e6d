// Start-up, the orderly stop and the worker loop.

#include <gmock/gmock.h>

#include <cstring>
#include <thread>

#include "core/app/app_fixture.h"
#include "window/dialog_template.h"

namespace vqx::testing {
namespace {

using ::testing::ElementsAre;

using LifecycleTest = AppScriptedTest;

TEST_F(LifecycleTest, FirstStartWithoutPreferencesOpensCom1At9600In8N1AndShowsSettings) {
  EXPECT_TRUE(window.Create());

  EXPECT_EQ(port.openedName, "COM1");
  EXPECT_EQ(port.openedSettings.baudRate, 9600);
  EXPECT_EQ(port.openedSettings.dataBits, 8);
  EXPECT_EQ(port.openedSettings.stopBits, 1);
  EXPECT_EQ(port.openedSettings.parity, 'N');
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
  EXPECT_EQ(window.GetView(), kViewSettings);
  EXPECT_TRUE(surface.Checked(ids::kViewSettings));
  EXPECT_FALSE(surface.Checked(ids::kViewTerminal));
  EXPECT_THAT(surface.Items(ids::kHistoryList), ElementsAre("(All)"));
  EXPECT_TRUE(surface.Visible(ids::kUpdateSettings));
  EXPECT_FALSE(surface.Visible(ids::kOutputWindow));
  EXPECT_FALSE(surface.Visible(ids::kHistoryList));
  EXPECT_EQ(surface.Focus(), ids::kUpdateSettings);
  EXPECT_TRUE(surface.MessageBoxes().empty());
  EXPECT_FALSE(files.Has(kPreferencesFileName)) << "loading never writes the file";
}

TEST_F(LifecycleTest, PortThatCannotBeOpenedWarnsOnceWithoutOwnerAndStaysInStatus1) {
  port.openSucceeds = false;
  EXPECT_FALSE(window.Create());

  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The serial port could not be opened");
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[0].owner, MessageOwner::None);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);

  // Nothing is sent and nothing changes while the worker runs on a closed port.
  Passes(5000);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(port.TakeWritten(), "");
}

std::string ExplainForTest(const char* portName, const PortOpenResult&) {
  return std::string("no such port: ") + portName;
}

TEST_F(LifecycleTest, OpenFailureExplanationFollowsTheFixedFirstLine) {
  port.openSucceeds = false;
  services.explainOpenFailure = &ExplainForTest;
  CAppWindow explained{comm, surface, services};
  comm.AttachHost(&explained);
  explained.Create();
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text, "The serial port could not be opened\rno such port: COM1");
  comm.AttachHost(&window);
}

// The port opens, but its driver keeps settings of its own: the technician is told which,
// at the start and when choosing a port, and the port stays open.
TEST_F(LifecycleTest, ASettingTheDriverRefusedIsWarnedOfAndThePortStaysOpen) {
  std::string block(sizeof(PreferencesBlock), '\0');
  block[0] = static_cast<char>(kPreferencesFormatMark);
  const int32_t view = kViewSettings, baud = 230400, data = 8, stop = 1;
  std::memcpy(&block[4], &view, 4);
  std::memcpy(&block[8], &baud, 4);
  std::memcpy(&block[12], &data, 4);
  std::memcpy(&block[16], &stop, 4);
  block[20] = 'N';
  std::memcpy(&block[21], "COM3", 4);
  files.Put(kPreferencesFileName, block);
  port.refusesTo = LineSettings{9600, 'N', 8, 1};
  EXPECT_TRUE(window.Create());
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text,
            "COM3 is open, but its driver refused 230400 baud; the line runs at 9600 baud");
  EXPECT_EQ(surface.MessageBoxes()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(surface.MessageBoxes()[0].owner, MessageOwner::None);
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
  EXPECT_NE(comm.GetState(), LinkState::Closed);

  ASSERT_TRUE(window.BeginSerialPortDialog());
  EXPECT_TRUE(window.ApplySerialPortChoice("COM3", 9600, 7, 2, 'E'));
  ASSERT_EQ(surface.MessageBoxes().size(), 2u);
  EXPECT_EQ(surface.MessageBoxes()[1].text,
            "COM3 is open, but its driver refused 7 data bits, even parity and 2 stop bits; the line runs at "
            "8 data bits, no parity and 1 stop bit");
  EXPECT_EQ(surface.MessageBoxes()[1].owner, MessageOwner::Dialog);

  EXPECT_TRUE(window.ApplySerialPortChoice("COM3", 9600, 8, 1, 'N'));
  EXPECT_EQ(surface.MessageBoxes().size(), 2u) << "settings the driver took need no word";
  window.EndSerialPortDialog();
}

TEST_F(LifecycleTest, DropDownListsAreFilledInTheirOrderAtCreation) {
  window.Create();
  EXPECT_THAT(surface.Items(ids::kVocoder),
              ElementsAre("GSM 13Kbps", "ADPCM 16Kbps", "ADPCM 24Kbps", "ADPCM 32Kbps", "PCM 64Kbps"));
  EXPECT_THAT(surface.Items(ids::kHangTime), ElementsAre("500 ms", "1000 ms", "2000 ms", "3000 ms", "4000 ms"));
  EXPECT_THAT(surface.Items(ids::kParity), ElementsAre("None", "Even", "Odd"));
  const auto dscp = surface.Items(ids::kQosDscp);
  ASSERT_EQ(dscp.size(), 64u);
  EXPECT_EQ(dscp.front(), "0");
  EXPECT_EQ(dscp.back(), "63");
  for (int id : {ids::kVocoder, ids::kBaudRate, ids::kParity, ids::kQosDscp}) {
    EXPECT_EQ(surface.Selection(id), -1) << "nothing is selected before the unit is read, list " << id;
  }
}

// A preferences file that holds the given view, written where the window loads it.
void StoreView(MemoryFileStore& files, int32_t view) {
  std::string block(sizeof(PreferencesBlock), '\0');
  block[0] = static_cast<char>(kPreferencesFormatMark);
  std::memcpy(&block[4], &view, 4);
  const int32_t baud = 9600, data = 8, stop = 1;
  std::memcpy(&block[8], &baud, 4);
  std::memcpy(&block[12], &data, 4);
  std::memcpy(&block[16], &stop, 4);
  block[20] = 'N';
  std::memcpy(&block[21], "COM1", 4);
  files.Put(kPreferencesFileName, block);
}

TEST_F(LifecycleTest, StoredTerminalViewStartsThereWithTheFocusInTheCommandEntry) {
  StoreView(files, kViewTerminal);
  window.Create();
  EXPECT_EQ(window.GetView(), kViewTerminal);
  EXPECT_TRUE(surface.Checked(ids::kViewTerminal));
  EXPECT_FALSE(surface.Checked(ids::kViewSettings));
  EXPECT_EQ(surface.Focus(), ids::kCommandEntry);
  for (int id : SettingsViewControls()) EXPECT_FALSE(surface.Visible(id)) << id;
  for (int id : HistoryViewControls()) EXPECT_FALSE(surface.Visible(id)) << id;
  for (int id : TerminalViewControls()) EXPECT_TRUE(surface.Visible(id)) << id;
  for (int id : {ids::kStatusGroup, ids::kViewSettings, ids::kViewTerminal, ids::kViewHistory}) {
    EXPECT_TRUE(surface.Visible(id)) << id;
  }
}

TEST_F(LifecycleTest, StoredHistoryViewStartsThereAndADamagedViewStartsInSettings) {
  StoreView(files, kViewHistory);
  window.Create();
  EXPECT_EQ(window.GetView(), kViewHistory);
  EXPECT_TRUE(surface.Checked(ids::kViewHistory));
  EXPECT_EQ(surface.Focus(), ids::kSerialNumberEntry);

  HeadlessSurface otherSurface;
  CAppWindow other{comm, otherSurface, services};
  StoreView(files, 3);
  other.Create();
  EXPECT_EQ(other.GetView(), kViewSettings);
  EXPECT_TRUE(otherSurface.Checked(ids::kViewSettings));
  comm.AttachHost(&window);
}

TEST_F(LifecycleTest, SerialPortChoiceIsSavedBeforeTheReopenAndAFailureKeepsTheDialogOpen) {
  window.Create();
  ASSERT_TRUE(window.BeginSerialPortDialog());
  EXPECT_FALSE(window.BeginSerialPortDialog()) << "the menu item while the dialog is open does nothing";

  port.openSucceeds = false;
  const std::string longName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  EXPECT_FALSE(window.ApplySerialPortChoice(longName.c_str(), 115200, 7, 2, 'O'));
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].owner, MessageOwner::Dialog);
  EXPECT_EQ(surface.MessageBoxes()[0].text, "The serial port could not be opened");
  const std::string saved = files.Content(kPreferencesFileName);
  ASSERT_EQ(saved.size(), sizeof(PreferencesBlock)) << "the choice is saved although the port did not open";
  EXPECT_EQ(std::string(saved.c_str() + 21), longName);
  EXPECT_EQ(comm.GetState(), LinkState::Closed);

  port.openSucceeds = true;
  EXPECT_TRUE(window.ApplySerialPortChoice(longName.c_str(), 0, 7, 2, 'O'));
  EXPECT_EQ(port.openedName, longName);
  EXPECT_EQ(port.openedSettings.baudRate, 115200) << "no rate selected keeps the stored one";
  EXPECT_EQ(port.openedSettings.parity, 'O');
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
  window.EndSerialPortDialog();
  EXPECT_TRUE(window.BeginSerialPortDialog());
}

TEST_F(LifecycleTest, PortOverrideIsOpenedAndResetButNeverSavedUntilTheUserChoosesAPort) {
  window.SetPortOverride("/dev/pts/9");
  EXPECT_TRUE(window.Create());
  EXPECT_EQ(port.openedName, "/dev/pts/9");
  EXPECT_EQ(window.PortNameInUse(), "/dev/pts/9");

  window.ResetSerialLink();  // saves the preferences, then reopens
  EXPECT_EQ(port.openedName, "/dev/pts/9");
  ASSERT_TRUE(files.Has(kPreferencesFileName));
  EXPECT_EQ(std::string(files.Content(kPreferencesFileName).c_str() + 21), "COM1");

  ASSERT_TRUE(window.BeginSerialPortDialog());
  EXPECT_TRUE(window.ApplySerialPortChoice("/dev/ttyUSB0", 9600, 8, 1, 'N'));
  window.EndSerialPortDialog();
  EXPECT_EQ(port.openedName, "/dev/ttyUSB0");
  EXPECT_EQ(window.PortNameInUse(), "/dev/ttyUSB0");
  window.ResetSerialLink();
  EXPECT_EQ(port.openedName, "/dev/ttyUSB0") << "the user's choice ended the override";
}

TEST_F(LifecycleTest, ShutdownBeforeTheUnitWasEverEscapedSendsNothingAndStopsTheRebootTimer) {
  window.Create();
  surface.StartTimer(ids::kRebootTimer, kRebootWaitMs);
  EXPECT_EQ(app.Shutdown(), LeaveOutcome::NothingToLeave);
  EXPECT_EQ(port.TakeWritten(), "") << "a transparent unit would pass ECHO ON and TRAN to its network peer";
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_FALSE(port.isOpen) << "the port is closed after the worker has ended";
  EXPECT_TRUE(surface.MessageBoxes().empty());
}

TEST_F(LifecycleTest, ShutdownOfAnAnsweringUnitThatThenFallsSilentWaitsEachStepAndWarnsOnce) {
  CreateAndEscape();
  UnitSays("OK\n\r");  // the probe's answer; ECHO OFF goes out and is never answered
  ASSERT_EQ(port.TakeWritten(), "ECHO OFF\r\n");
  const uint32_t start = clock.now;
  EXPECT_EQ(app.Shutdown(), LeaveOutcome::NotConfirmed);
  EXPECT_EQ(port.TakeWritten(), "ECHO ON\r\nTRAN\r\n");
  EXPECT_GE(ElapsedMs(clock.now, start), 3 * CAppWindow::kLeaveStepMs - 3) << "ECHO OFF, ECHO ON, TRAN each waited for";
  EXPECT_LE(ElapsedMs(clock.now, start), CAppWindow::LeaveLimitMs());
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].caption, "VQX Setup Utility");
  EXPECT_EQ(surface.MessageBoxes()[0].owner, MessageOwner::None);

  EXPECT_EQ(window.Shutdown(), LeaveOutcome::NothingToLeave);  // the close box after File/Exit
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(surface.MessageBoxes().size(), 1u);
}

TEST_F(LifecycleTest, FileExitAsksTheFrontEndToQuitAndLeavesTheStopToIt) {
  window.Create();
  EXPECT_EQ(Click(ids::kMenuExit), CommandOutcome::Quit);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_FALSE(window.IsShutDown()) << "the worker may still run: the front-end ends it first";
}

TEST_F(LifecycleTest, ShutdownWithNoPortOpenSendsNothingAndEndsNormally) {
  port.openSucceeds = false;
  window.Create();
  app.Shutdown();
  EXPECT_EQ(port.TakeWritten(), "");
}

TEST_F(LifecycleTest, WorkerPollsOnEverySecondPassNeverTheFirst) {
  window.Create();
  window.SetStatusState(kStatusDisconnected);  // no read requested: the link stays Idle
  port.queueQueries = 0;
  Passes(1);
  EXPECT_EQ(port.queueQueries, 0) << "the first pass only steps";
  Passes(1);
  EXPECT_EQ(port.queueQueries, 1);
  Passes(10);
  EXPECT_EQ(port.queueQueries, 6);
}

TEST_F(LifecycleTest, WorkerThreadStartsOnceAndStopsAtTheTopOfAPass) {
  window.Create();
  EXPECT_TRUE(app.StartWorker());
  EXPECT_FALSE(app.StartWorker()) << "a second start while running does nothing";
  EXPECT_TRUE(app.Running());
  app.StopWorker();
  EXPECT_FALSE(app.Running());
  EXPECT_TRUE(app.WorkerEnded());
}

}  // namespace
}  // namespace vqx::testing
