// The status panel: sentences, the name and port lines, peer names, Attention and the
// reboot wait.

#include <cstring>
#include <string>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "protocol/command_table.h"

namespace vqx::testing {
namespace {

class StatusTest : public AppScriptedTest {
 protected:
  // Command mode entered; the unit then reports its peer with reply.
  void UnitReports(const std::string& reply) {
    CreateAndEscape();
    UnitSays("OK\n");
    UnitSays(reply + "\n");
  }
  void AddConnection(const char* address, const char* description) {
    PreferencesBlock& prefs = CAppWindowTestAccess::Preferences(window);
    const int32_t i = prefs.connectionCount++;
    std::strncpy(prefs.connectionAddresses[i], address, sizeof(prefs.connectionAddresses[i]));
    std::strncpy(prefs.connectionDescriptions[i], description, sizeof(prefs.connectionDescriptions[i]) - 1);
  }
  void SetMode(int32_t mode) {
    DeviceSettings s = window.GetCurrentSettings();
    s.connectionMode = mode;
    CAppWindowTestAccess::SetCurrentSettings(window, s);
  }
};

TEST_F(StatusTest, EveryStateHasItsSentence) {
  const char* sentences[] = {
      "Serial port not open", "VQX-2 in transparent mode", "Entering VQX-2 command mode (please wait)",
      "VQX-2 disconnected", "VQX-2 attempting connection to 0.0.0.0", "VQX-2 connected to 0.0.0.0",
      "VQX-2 not responding", "Querying VQX-2 status (please wait)", "Communicating with VQX-2 (please wait)",
      "Waiting for VQX-2 to reboot (please wait)"};
  const int erasesBefore = surface.InvalidateCount(true);
  for (int8_t state = 1; state <= 10; ++state) {
    window.SetStatusState(static_cast<StatusState>(state));
    EXPECT_EQ(window.StatusSentence(), sentences[state - 1]) << int{state};
  }
  EXPECT_EQ(surface.InvalidateCount(true), erasesBefore + 10);

  window.SetStatusState(kStatusDisconnected);
  for (const auto& [mode, sentence] : {std::pair<int32_t, const char*>{0, "VQX-2 disconnected"},
                                       {1, "VQX-2 disconnected"}, {2, "VQX-2 in Connectionless mode"},
                                       {3, "VQX-2 in Multicast mode"}, {7, "VQX-2 disconnected"},
                                       {-1, "VQX-2 disconnected"}}) {
    SetMode(mode);
    EXPECT_EQ(window.StatusSentence(), sentence) << mode;
  }
}

TEST_F(StatusTest, StateOutsideOneToTenStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the sanitizers run threads of their own
  window.SetStatusState(static_cast<StatusState>(11));
  EXPECT_DEATH(window.StatusSentence(), "cappwindow");
  window.SetStatusState(static_cast<StatusState>(0));
  EXPECT_DEATH(window.Attention(), "cappwindow");
}

TEST_F(StatusTest, PeerIsNamedByTheFirstMatchingConnectionOrShownAsNumbers) {
  UnitReports("CON 10.1.2.3:5000");
  ASSERT_EQ(window.GetStatusState(), kStatusConnected);
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to 10.1.2.3");
  AddConnection("10.0.0.9", "Alpha");
  AddConnection("not.an.address", "Junk");
  AddConnection("010.001.002.003", "Tower");
  AddConnection("10.1.2.3", "Later duplicate");
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to Tower");

  char small[4] = "xyz";
  EXPECT_TRUE(window.FindConnectionName(small, sizeof(small)));
  EXPECT_STREQ(small, "Tow");

  // A damaged count is clamped: never below 0, never past the 256 slots.
  CAppWindowTestAccess::Preferences(window).connectionCount = 100000;
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to Tower");
  CAppWindowTestAccess::Preferences(window).connectionCount = -3;
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to 10.1.2.3");
  CAppWindowTestAccess::Preferences(window).connectionCount = 2;
  char untouched[8] = "same";
  EXPECT_FALSE(window.FindConnectionName(untouched, sizeof(untouched)));
  EXPECT_STREQ(untouched, "same");

  UnitSays("ATT 192.168.1.30:5000\n");
  EXPECT_EQ(window.StatusSentence(), "VQX-2 attempting connection to 192.168.1.30");
}

TEST_F(StatusTest, NameLineShowsTheWholeNameOrNothing) {
  EXPECT_EQ(window.StatusNameLine(), "");
  DeviceSettings s{};
  const std::string name63(63, 'N');
  std::memcpy(s.name, name63.c_str(), 64);
  CAppWindowTestAccess::SetCurrentSettings(window, s);
  EXPECT_EQ(window.StatusNameLine(), "Name: " + name63);
  std::memset(s.name, 'M', sizeof(s.name));  // no terminator
  CAppWindowTestAccess::SetCurrentSettings(window, s);
  EXPECT_EQ(window.StatusNameLine(), "Name: " + std::string(64, 'M'));
}

// Units behind serial servers look alike: the panel names the line in use, in every
// state, the run's own port (the demo's) first.
TEST_F(StatusTest, PortLineNamesThePortInUseInEveryStateAndTheRunsOwnPortFirst) {
  EXPECT_EQ(window.StatusPortLine(), "") << "no port named: no line";
  window.SetHostSerialSettings("rfc2217://10.0.0.7:4001", 9600, 8, 1, 'N');
  for (int8_t state = 1; state <= 10; ++state) {
    window.SetStatusState(static_cast<StatusState>(state));
    EXPECT_EQ(window.StatusPortLine(), "Port: rfc2217://10.0.0.7:4001") << int{state};
  }
  window.SetPortOverride("/dev/pts/7");
  EXPECT_EQ(window.StatusPortLine(), "Port: /dev/pts/7");
  window.SetPortOverride("");
  EXPECT_EQ(window.StatusPortLine(), "Port: rfc2217://10.0.0.7:4001");
}

// "Serial port not open" names the port that failed. A choice that fails during the
// reboot wait leaves the sentence as it was; the panel must still be repainted.
TEST_F(StatusTest, AFailedPortChoiceIsNamedAndRepaintedEvenDuringTheRebootWait) {
  ASSERT_TRUE(window.Create());
  port.openSucceeds = false;
  EXPECT_FALSE(window.ApplySerialPortChoice("socket://relay-north:4001", 9600, 8, 1, 'N'));
  EXPECT_EQ(window.StatusSentence(), "Serial port not open");
  EXPECT_EQ(window.StatusPortLine(), "Port: socket://relay-north:4001");

  port.openSucceeds = true;
  ASSERT_TRUE(window.ApplySerialPortChoice("COM3", 9600, 8, 1, 'N'));
  window.SetStatusState(kStatusConnected);
  window.WaitForRebootIfIdle();
  port.openSucceeds = false;
  const int repaints = surface.InvalidateCount(false) + surface.InvalidateCount(true);
  EXPECT_FALSE(window.ApplySerialPortChoice("rfc2217://relay-south:4001", 9600, 8, 1, 'N'));
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
  EXPECT_EQ(window.StatusPortLine(), "Port: rfc2217://relay-south:4001");
  EXPECT_GT(surface.InvalidateCount(false) + surface.InvalidateCount(true), repaints);
}

TEST_F(StatusTest, AttentionAsksForANewReadOnlyFromSettledStates) {
  ASSERT_TRUE(window.Create());
  for (int8_t state = 2; state <= 10; ++state) {
    window.SetStatusState(static_cast<StatusState>(state));
    window.NoteTypedSetting(kCmdMyip, "1.2.3.4");
    window.Attention();
    const bool acts = state == 2 || state == 4 || state == 6 || state == 7 || state == 8;
    EXPECT_EQ(window.GetStatusState(), acts ? int8_t{kStatusCommunicating} : state) << int{state};
    EXPECT_EQ(window.GetQueryStep(), acts ? kNothingPending : kConfirmIpAddress) << int{state};
  }
  EXPECT_TRUE(surface.MessageBoxes().empty());
}

TEST_F(StatusTest, AttentionWithoutAnOpenPortSaysSoAndThePanelShowsSerialPortNotOpen) {
  // No port was ever opened; the panel may still say something else (a closed link
  // whatever the status).
  for (int8_t state : {kStatusPortNotOpen, kStatusDisconnected, kStatusCommunicating}) {
    surface.ClearMessageBoxes();
    window.SetStatusState(static_cast<StatusState>(state));
    window.Attention();
    EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen) << int{state};
    ASSERT_EQ(surface.MessageBoxes().size(), 1u) << int{state};
    EXPECT_EQ(surface.MessageBoxes()[0].text,
              "The serial port is not open. Choose a port with File, Select Serial Port...");
    EXPECT_EQ(surface.MessageBoxes()[0].icon, MessageIcon::Warning);
  }
}

TEST_F(StatusTest, RebootWaitRunsTheTimerOnlyWhenTheUnitIsIdle) {
  ASSERT_TRUE(window.Create());
  window.SetStatusState(kStatusQuerying);
  window.WaitForRebootIfIdle();
  EXPECT_EQ(window.GetStatusState(), kStatusQuerying);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));

  window.SetStatusState(kStatusAttempting);
  window.NoteTypedSetting(kCmdName, "x");
  const int plainBefore = surface.InvalidateCount(false);
  window.WaitForRebootIfIdle();
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
  EXPECT_EQ(window.GetQueryStep(), kNothingPending);
  EXPECT_EQ(surface.TimerPeriod(ids::kRebootTimer), 10000u);
  EXPECT_EQ(surface.InvalidateCount(false), plainBefore + 1);

  window.OnTimer(ids::kRebootTimer);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
}

// The port was lost or could not be reopened during the wait: its end says so, instead
// of "Communicating" with nothing to communicate through.
TEST_F(StatusTest, RebootWaitEndingWithoutAnOpenPortSaysThePortIsNotOpen) {
  ASSERT_TRUE(window.Create());
  window.SetStatusState(kStatusConnected);
  window.WaitForRebootIfIdle();
  ASSERT_EQ(window.GetStatusState(), kStatusRebootWait);
  comm.Close();
  window.OnTimer(ids::kRebootTimer);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
}

class ConnectedUnitTest : public AppSimTest {
 protected:
  static sim::SimConfig Connected() {
    sim::SimConfig config = DefaultSimConfig();
    config.peer.status = sim::PeerStatus::Connected;
    return config;
  }
  ConnectedUnitTest() : AppSimTest(Connected()) {}
};

TEST_F(ConnectedUnitTest, TypedRebootWaitsTenSecondsThenReadsEverySettingAgain) {
  CreateAndRead();
  ASSERT_EQ(window.GetStatusState(), kStatusConnected);
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to 10.1.2.3");

  ASSERT_TRUE(comm.SendTypedLine("REBOOT\r\n"));
  EXPECT_EQ(window.StatusSentence(), "Waiting for VQX-2 to reboot (please wait)");
  EXPECT_EQ(surface.TimerPeriod(ids::kRebootTimer), 10000u);
  port.TakeWritten();

  clock.Advance(10000);
  window.OnTimer(ids::kRebootTimer);
  ASSERT_TRUE(RunUntilUnitIdle());
  EXPECT_EQ(window.GetStatusState(), kStatusConnected);
  const std::string again = port.TakeWritten();
  for (int32_t id : kFullReadOrder) {
    EXPECT_NE(again.find(std::string(CommandKeywordTable[id]) + "\r\n"), std::string::npos) << id;
  }
}

}  // namespace
}  // namespace vqx::testing
