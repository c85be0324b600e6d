// The device logic: the read cycle, replies, typed confirmations, pacing, and how the
// values reach the Settings view.

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "protocol/command_table.h"

namespace vqx::testing {
namespace {

const int kAllSettingControls[] = {
    ids::kBaudRate, ids::kBroadcastMode, ids::kInputBoost, ids::kCommandPort, ids::kConnectionMode,
    ids::kCorSquelchType, ids::kCorInhibitTime, ids::kDataBits, ids::kQosDscp, ids::kDuplex, ids::kGateway1,
    ids::kGateway4, ids::kHangTime, ids::kMacAddress, ids::kIp1, ids::kIp4, ids::kParity, ids::kWebPassword,
    ids::kVoipPort, ids::kRxDelay, ids::kAllowTelnet, ids::kAllowHttpAccess, ids::kServerIp1, ids::kServerPort,
    ids::kStopBits, ids::kSubnet1, ids::kTxDelay, ids::kFirmwareVersion, ids::kVocoder, ids::kVoxThreshold};
const int kSecurityBoxes[] = {ids::kAllowTelnet, ids::kAllowHttpAuthentication, ids::kAllowHttpConnectionManagement,
                              ids::kAllowHttpConfiguration, ids::kAllowHttpAccess};

std::string Line(int32_t commandId) { return std::string(CommandKeywordTable[commandId]) + "\r\n"; }

// The texts of several controls, joined by "|".
std::string Shown(HeadlessSurface& surface, std::initializer_list<int> controls) {
  std::string joined;
  for (int id : controls) joined += (joined.empty() ? "" : "|") + surface.Text(id);
  return joined;
}

std::string HostSettings(const CAppWindow& window) {
  const PreferencesBlock p = window.GetPreferences();
  return std::to_string(p.baudRate) + " " + std::to_string(p.dataBits) + " " + std::to_string(p.stopBits) + " " +
         p.parity;
}

// What the link wrote from the unit's command mode on.
std::string SinceEchoOff(const std::string& written) {
  const size_t at = written.find("ECHO OFF\r\n");
  return at == std::string::npos ? std::string() : written.substr(at);
}

TEST_F(AppSimTest, FullReadFillsEveryControlAndEndsWithStatusAfterThirtyLines) {
  CreateAndRead();
  std::string expected = "ECHO OFF\r\n";
  for (int32_t id : kFullReadOrder) expected += Line(id);
  expected += "STAT\r\n";
  EXPECT_EQ(SinceEchoOff(port.TakeWritten()), expected);

  EXPECT_EQ(window.GetStatusState(), kStatusDisconnected);
  EXPECT_FALSE(CAppWindowTestAccess::FullReadActive(window));
  for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(window.GetSettingReadState(i), ReadMark::Read) << i;
  for (int id : kAllSettingControls) EXPECT_TRUE(surface.Enabled(id)) << id;
  EXPECT_EQ(Shown(surface, {ids::kIp1, ids::kIp4, ids::kSubnet1, ids::kName, ids::kWebPassword, ids::kFirmwareVersion,
                            ids::kMacAddress, ids::kBaudRate, ids::kQosDscp, ids::kHangTime, ids::kCorInhibitTime,
                            ids::kParity, ids::kVocoder, ids::kVoxThreshold, ids::kCommandPort}),
            "192|20|255|VQX-2|admin|Firmware Ver: VQX-2 v1.00|Mac Address: 00:50:C2:12:34:56|9600|46|1000 ms|"
            "0 ms|None|GSM 13Kbps|Medium|2001");
  for (int id : kSecurityBoxes) EXPECT_TRUE(surface.Checked(id)) << id;
  EXPECT_EQ(HostSettings(window), "9600 8 1 N");
  EXPECT_EQ(window.StatusSentence(), "VQX-2 disconnected");
}

// The worker thread fills the form while another thread reads what the status panel
// paints (run under the thread sanitizer too). The painting starts first: on the fake
// clock the whole read takes the worker only milliseconds.
TEST_F(AppSimTest, FullReadOnTheWorkerThreadWhileTheWindowPaintsTheStatus) {
  ASSERT_TRUE(window.Create());
  std::atomic<bool> stop{false};
  std::atomic<size_t> painted{0};
  std::thread window_thread([&] {
    while (!stop.load()) {
      size_t paint = window.StatusSentence().size() + window.StatusNameLine().size();
      paint += window.GetCurrentSettings().name[0] == '\0' ? 0 : 1;
      paint += static_cast<size_t>(window.GetPreferences().baudRate);
      painted += paint;
      // A window paints now and then, not in a tight loop that starves the worker.
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  while (painted.load() == 0) std::this_thread::yield();
  EXPECT_TRUE(app.StartWorker());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!window.IsReadFinished() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  window_thread.join();
  app.StopWorker();
  EXPECT_GT(painted.load(), 0u);
  ASSERT_EQ(window.GetStatusState(), kStatusDisconnected);
  EXPECT_EQ(window.StatusNameLine(), "Name: VQX-2");
  EXPECT_EQ(surface.Text(ids::kName), "VQX-2");
}

class RefusingUnitTest : public AppSimTest {
 protected:
  static sim::SimConfig Refusing(std::set<std::string> keywords) {
    sim::SimConfig config = DefaultSimConfig();
    config.unsupported = std::move(keywords);
    return config;
  }
  explicit RefusingUnitTest(std::set<std::string> keywords) : AppSimTest(Refusing(std::move(keywords))) {}
  void ReadToTheEnd() {
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(RunUntil([&] { return !CAppWindowTestAccess::FullReadActive(window) && window.GetSettingReadState(27) != ReadMark::NotRead; }));
    // The last replies (to the closing "STAT" queries) arrive.
    for (int i = 0; i < 300; ++i) {
      Passes(50);
      clock.Advance(1);
    }
  }
};

class EverySettingRefusedTest : public RefusingUnitTest {
 protected:
  EverySettingRefusedTest() : RefusingUnitTest(AllKeywords()) {}
  static std::set<std::string> AllKeywords() {
    std::set<std::string> all;
    for (int32_t id : kFullReadOrder) all.insert(CommandKeywordTable[id]);
    return all;
  }
};

TEST_F(EverySettingRefusedTest, AllControlsDisabledAndStatusAskedAfterEveryErr) {
  ReadToTheEnd();
  std::string expected = "ECHO OFF\r\n" + Line(kFullReadOrder[0]);
  for (size_t i = 1; i < kFullReadOrder.size(); ++i) expected += Line(kFullReadOrder[i]) + "STAT\r\n";
  expected += "STAT\r\nSTAT\r\n";  // the end of the read, then the status after the last ERR
  EXPECT_EQ(SinceEchoOff(port.TakeWritten()), expected);
  for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(window.GetSettingReadState(i), ReadMark::Refused) << i;
  for (int id : kAllSettingControls) EXPECT_FALSE(surface.Enabled(id)) << id;
  EXPECT_EQ(window.GetStatusState(), kStatusDisconnected);
}

class SecurityRefusedTest : public RefusingUnitTest {
 protected:
  SecurityRefusedTest() : RefusingUnitTest({"SECURITY"}) {}
};

TEST_F(SecurityRefusedTest, OnlyTheFiveCheckBoxesAreDisabled) {
  ReadToTheEnd();
  for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(window.GetSettingReadState(i), i == 19 ? ReadMark::Refused : ReadMark::Read) << i;
  for (int id : kSecurityBoxes) EXPECT_FALSE(surface.Enabled(id)) << id;
  EXPECT_TRUE(surface.Enabled(ids::kBaudRate));
  EXPECT_TRUE(surface.Enabled(ids::kServerIp1));
  EXPECT_EQ(window.GetStatusState(), kStatusDisconnected);
}

class DeviceLogicTest : public AppScriptedTest {
 protected:
  // The probe's answer: status 8, ECHO OFF sent, QueryStep 3.
  void EnterCommandMode() {
    CreateAndEscape();
    UnitSays("OK\n");
    ASSERT_EQ(port.TakeWritten(), "ECHO OFF\r\n");
  }
  // The answer to ECHO OFF starts the full read with BAUD.
  void StartFullRead() {
    EnterCommandMode();
    UnitSays("OK\n");
    ASSERT_EQ(port.TakeWritten(), "BAUD\r\n");
  }
  void TypeAndConfirm(const std::string& line, const char* answer = "OK\n") {
    ASSERT_TRUE(comm.SendTypedLine((line + "\r\n").c_str()));
    port.TakeWritten();
    UnitSays(answer);
  }
};

TEST_F(DeviceLogicTest, RepliesPresentByTheirTextsAndKeepTheSelectionWhenNoneFits) {
  StartFullRead();
  const int erasesBefore = surface.InvalidateCount(true);
  const int updatesBefore = surface.UpdateCount();
  struct Case { const char* reply; int control; const char* shown; };
  const Case cases[] = {
      {"BAUD 96", ids::kBaudRate, "9600"},          {"BAUD 600", ids::kBaudRate, "9600"},
      {"DSCP 4", ids::kQosDscp, "4"},               {"HANGTM 2000", ids::kHangTime, "2000 ms"},
      {"HANGTM 0", ids::kHangTime, "2000 ms"},      {"CORINH 0", ids::kCorInhibitTime, "0 ms"},
      {"CONMODE 3", ids::kConnectionMode, "Server"}, {"BCAST 3", ids::kBroadcastMode, "Multicast"},
      {"BCAST 5", ids::kBroadcastMode, "Multicast"}, {"VOCODER 9", ids::kVocoder, ""},
      {"PARITY E", ids::kParity, "Even"},           {"COR 3", ids::kCorSquelchType, "VMR"},
      {"PORT 2101", ids::kVoipPort, "2101"},         {"GATEIP 010.000.000.254", ids::kGateway4, "254"},
      {"MAC 00:50:C2:12:34:56:78:9A:BC:DE", ids::kMacAddress, "Mac Address: 00:50:C2:12:34:56:78:9A"},
  };
  for (const Case& c : cases) {
    UnitSays(std::string(c.reply) + "\n");
    EXPECT_EQ(surface.Text(c.control), c.shown) << c.reply;
  }
  const int valueReplies = static_cast<int>(std::size(cases));
  EXPECT_EQ(surface.InvalidateCount(true) - erasesBefore, valueReplies);
  EXPECT_EQ(surface.UpdateCount() - updatesBefore, valueReplies);

  const DeviceSettings s = window.GetCurrentSettings();
  EXPECT_EQ(s.serialBaudRate, 600) << "stored though no entry fits";
  EXPECT_EQ(s.hangTime, 0);
  EXPECT_EQ(s.broadcastMode, 3) << "a broadcast mode outside 0..3 stores nothing";
  EXPECT_EQ(s.vocoder, 9);
  EXPECT_STREQ(s.macAddress, "00:50:C2:12:34:56:78:9A");
  EXPECT_EQ(window.GetPreferences().parity, 'E');

  // The version is drawn with the next ordinary paint.
  const int plainBefore = surface.InvalidateCount(false);
  UnitSays("VER 2.1\n");
  EXPECT_EQ(surface.Text(ids::kFirmwareVersion), "Firmware Ver: 2.1");
  EXPECT_EQ(surface.InvalidateCount(false), plainBefore + 1);
  EXPECT_EQ(surface.UpdateCount() - updatesBefore, valueReplies);

  // Boxes in the order telnet, authentication, connection management, configuration, access.
  for (const auto& [flags, checks] : {std::pair<int, const char*>{0, "11111"}, {0xF8, "00000"}, {0x10, "10111"}}) {
    UnitSays("SECURITY " + std::to_string(flags) + "\n");
    std::string seen;
    for (int id : kSecurityBoxes) seen += surface.Checked(id) ? '1' : '0';
    EXPECT_EQ(seen, checks) << flags;
  }
}

TEST_F(DeviceLogicTest, ErrMarksTheQueryRefusedAndAStatusReplyDoesNotAdvanceTheRead) {
  StartFullRead();
  UnitSays("ERR\n");
  EXPECT_EQ(port.TakeWritten(), "BCAST\r\nSTAT\r\n");
  EXPECT_EQ(window.GetSettingReadState(0), ReadMark::Refused);
  EXPECT_FALSE(surface.Enabled(ids::kBaudRate));

  UnitSays("CON 10.1.2.3:5000\n");
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(window.GetStatusState(), kStatusConnected);
  EXPECT_EQ(window.GetSettingReadState(1), ReadMark::NotRead);

  UnitSays("BCAST 1\n");
  EXPECT_EQ(port.TakeWritten(), "BOOST\r\n");
  EXPECT_EQ(window.GetSettingReadState(1), ReadMark::Read);
  EXPECT_EQ(CAppWindowTestAccess::PendingQuery(window), kCmdBoost);

  // A typed command without argument: its OK leaves ownCommand at 0, so the next reply
  // counts as the user's and the read stops there.
  ASSERT_TRUE(comm.SendTypedLine("DISC\r\n"));
  UnitSays("OK\n");
  EXPECT_FALSE(CAppWindowTestAccess::OwnCommand(window));
  port.TakeWritten();
  UnitSays("BOOST 1\n");
  EXPECT_TRUE(CAppWindowTestAccess::OwnCommand(window));
  EXPECT_EQ(window.GetSettingReadState(2), ReadMark::NotRead);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(surface.Text(ids::kInputBoost), "+20 db");
}

TEST_F(DeviceLogicTest, ReplyAfterTheUnitStoppedAnsweringRestartsTheCycle) {
  StartFullRead();
  UnitSays("BAUD 9600\n");
  port.TakeWritten();
  const int plainBefore = surface.InvalidateCount(false);
  ASSERT_TRUE(RunUntilStatus(kStatusNotResponding, 10000));
  EXPECT_EQ(surface.InvalidateCount(false), plainBefore + 1);
  EXPECT_EQ(comm.GetState(), LinkState::Idle);

  UnitSays("BCAST 2\n");
  EXPECT_EQ(port.TakeWritten(), "ECHO OFF\r\n");
  EXPECT_EQ(window.GetStatusState(), kStatusQuerying);
  EXPECT_EQ(window.GetQueryStep(), kAwaitEchoOff);
  EXPECT_EQ(window.GetSettingReadState(0), ReadMark::NotRead) << "read states cleared";
  EXPECT_EQ(window.GetCurrentSettings().broadcastMode, 0) << "the reply itself is not used";
}

TEST_F(DeviceLogicTest, PortLostMidReadShowsPortNotOpenAndAWarningAndResetReopensIt) {
  StartFullRead();
  UnitSays("BAUD 9600\n");
  port.TakeWritten();
  port.lost = true;  // the adapter is pulled out
  Passes(4);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(window.StatusSentence(), "Serial port not open");
  EXPECT_FALSE(port.isOpen);
  // The worker never waits on a box: the warning goes to the user-interface thread.
  EXPECT_TRUE(surface.MessageBoxes().empty());
  ASSERT_TRUE(surface.TimerRunning(ids::kPortLostTimer));
  window.OnTimer(ids::kPortLostTimer);
  EXPECT_FALSE(surface.TimerRunning(ids::kPortLostTimer));
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text,
            "The serial port COM1 was lost (adapter unplugged or line hung up).\r"
            "Reconnect it, then choose File/Reset or File/Select Serial Port.");
  EXPECT_EQ(surface.MessageBoxes()[0].icon, MessageIcon::Warning);
  // Nothing more happens by itself: no escape, no "not responding".
  Passes(1000);
  clock.Advance(kReplyTimeoutMs * 3);
  Passes(1000);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(port.TakeWritten(), "");

  Click(ids::kMenuReset);  // plugged in again
  EXPECT_TRUE(port.isOpen);
  EXPECT_FALSE(comm.PortLost());
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
  ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::ProbeSent; }));
  EXPECT_EQ(port.TakeWritten(), "+++\r");
}

TEST_F(DeviceLogicTest, TypedSettingsAreStoredOnlyWhenTheArgumentIsAcceptable) {
  EnterCommandMode();
  DeviceSettings start = window.GetCurrentSettings();
  start.connectionMode = 2;
  CAppWindowTestAccess::SetCurrentSettings(window, start);
  const std::string hostBefore = HostSettings(window);

  for (const char* refused : {"MYIP 10.0.0.300", "MYIP 1.2.3", "PARITY e", "CONMODE 1", "COR 3", "VOCODER abc",
                              "SRVRPORT 99999999999", "DATA 9"}) {
    TypeAndConfirm(refused);
    EXPECT_EQ(window.GetQueryStep(), kNothingPending) << refused;
    EXPECT_TRUE(CAppWindowTestAccess::OwnCommand(window)) << refused;
  }
  const DeviceSettings after = window.GetCurrentSettings();
  EXPECT_EQ(std::memcmp(&after, &start, sizeof(after)), 0) << "nothing stored";
  EXPECT_EQ(HostSettings(window), hostBefore);
  EXPECT_EQ(port.TakeWritten(), "") << "a confirmation never sends";

  // A refused line keeps the step armed; the next OK to anything stores it.
  TypeAndConfirm("MYIP 1.2.3.4", "ERR\n");
  EXPECT_EQ(window.GetQueryStep(), kConfirmIpAddress);
  EXPECT_EQ(port.TakeWritten(), "") << "ERR to a typed line asks nothing";
  const int erasesBefore = surface.InvalidateCount(true);
  UnitSays("OK\n");
  EXPECT_EQ(surface.InvalidateCount(true), erasesBefore + 1);

  for (const char* line : {"SECURITY 8", "BCAST 3", "BAUD 19200", "DATA 7", "STOP 2", "parity O", "CORINH  500ms",
                           "NAME Tower West"}) {
    TypeAndConfirm(line);
  }
  const DeviceSettings s = window.GetCurrentSettings();
  EXPECT_EQ(Shown(surface, {ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4}), "1|2|3|4");
  EXPECT_EQ(s.ipAddress[3], 4);
  EXPECT_EQ(s.securityFlags, 8);
  EXPECT_FALSE(surface.Checked(ids::kAllowTelnet));
  EXPECT_TRUE(surface.Checked(ids::kAllowHttpAccess));
  EXPECT_EQ(Shown(surface, {ids::kBroadcastMode, ids::kBaudRate, ids::kDataBits, ids::kStopBits, ids::kParity,
                            ids::kCorInhibitTime, ids::kName}),
            "Multicast|19200|7|2|Odd|500 ms|Tower West");
  EXPECT_EQ(HostSettings(window), "19200 7 2 O");
  EXPECT_EQ(s.dhcpAssigned, start.dhcpAssigned);
}

TEST_F(DeviceLogicTest, QuietLineSleepsFiveMillisecondsPerPassAfter2000AndAReplyResetsThePacing) {
  EnterCommandMode();
  UnitSays("ERR\n");  // ECHO OFF refused: nothing more is sent, nothing awaited
  ASSERT_FALSE(comm.AwaitingReply());
  const uint32_t start = clock.now;
  Passes(kIdlePassLimit - CAppWindowTestAccess::IdlePasses(window));
  EXPECT_EQ(clock.now, start) << "no sleep within the first 2000 passes";
  Passes(10);
  EXPECT_EQ(clock.now, start + 50);
  EXPECT_EQ(CAppWindowTestAccess::IdlePasses(window), kIdlePassLimit);

  UnitSays("OK\n");
  EXPECT_LT(CAppWindowTestAccess::IdlePasses(window), 10);
}

TEST_F(DeviceLogicTest, WhileAReplyIsDueTheWorkerNapsOneMillisecondPerPass) {
  EnterCommandMode();  // ECHO OFF awaits its OK
  ASSERT_TRUE(comm.AwaitingReply());
  const uint32_t start = clock.now;
  Passes(kIdlePassLimit - CAppWindowTestAccess::IdlePasses(window));
  EXPECT_EQ(clock.now, start);
  Passes(10);
  EXPECT_EQ(clock.now, start + 10) << "each exchange of a read would otherwise wait up to 10 ms for its Poll";
}

}  // namespace
}  // namespace vqx::testing
