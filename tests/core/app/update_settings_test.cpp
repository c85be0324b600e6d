#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "support/sample_settings.h"

namespace vqx::testing {
namespace {

constexpr const char* kNothingChanged = "No settings have been changed";
constexpr const char* kReadNotFinished =
    "The VQX-2 settings are still being read. Please wait until the read has finished.";
constexpr const char* kPortNotOpen = "The serial port is not open. Choose a port with File, Select Serial Port...";
constexpr const char* kMulticastWarning =
    "To enter multicast mode, the Server IP address must be a valid\r"
    "multicast address (224.0.0.0 - 239.255.255.255) or all zeros.";

DeviceSettings Baseline() {
  DeviceSettings s = Record("", "Tower", {192, 168, 1, 10}, 1221);
  SetAddress(s.gatewayIp, {192, 168, 1, 1});
  SetAddress(s.subnetMask, {255, 255, 255, 0});
  s.serverPort = 0;
  SetText(s.webPassword, "secret");
  s.securityFlags = 0;
  s.vocoder = 1;
  s.hangTime = 500;
  SetSerialLine(s, 9600, 8, 1, 'N');
  s.commandPort = 23;
  s.qosDscp = 0;
  return s;
}

void MarkEverySettingRead(CAppWindow& window) {
  for (int i = 0; i < kSettingCount; ++i) CAppWindowTestAccess::SetReadMark(window, i, ReadMark::Read);
}

// The form showing exactly the settings given, with the unit answering in status 6 after
// a full read in which every setting was answered.
class UpdateSettingsTest : public AppScriptedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.Create());
    port.TakeWritten();
    Show(Baseline());
  }

  // A status reply waits in the link for the worker to take it.
  void LeaveAStatusReplyWaiting() {
    port.Receive("DIS\n\r");
    for (int i = 0; i < 1000 && comm.GetState() != LinkState::ReplyReady; ++i) comm.Poll();
    ASSERT_EQ(comm.GetState(), LinkState::ReplyReady);
  }

  // The text the form's list shows for the value; nullptr when it shows none.
  static const char* ListText(int32_t commandId, int32_t value) { return ChoiceTextOf(*RowOfCommand(commandId), value); }

  void Show(const DeviceSettings& s) {
    CAppWindowTestAccess::SetCurrentSettings(window, s);
    surface.UserSetText(ids::kName, s.name);
    surface.UserSetText(ids::kWebPassword, s.webPassword);
    surface.UserSetChecked(ids::kAllowTelnet, (s.securityFlags & 8) == 0);
    surface.UserSetChecked(ids::kAllowHttpAuthentication, (s.securityFlags & 16) == 0);
    surface.UserSetChecked(ids::kAllowHttpConnectionManagement, (s.securityFlags & 32) == 0);
    surface.UserSetChecked(ids::kAllowHttpConfiguration, (s.securityFlags & 64) == 0);
    surface.UserSetChecked(ids::kAllowHttpAccess, (s.securityFlags & 128) == 0);
    Choose(ids::kVocoder, ListText(kCmdVocoder, s.vocoder));
    Choose(ids::kHangTime, ListText(kCmdHangtm, s.hangTime));
    Choose(ids::kCorSquelchType, ListText(kCmdCor, s.corSquelchType));
    Choose(ids::kCorInhibitTime, ListText(kCmdCorinh, s.corInhibitTime));
    SetAddress({ids::kIp1, ids::kIp2, ids::kIp3, ids::kIp4}, s.ipAddress);
    SetAddress({ids::kServerIp1, ids::kServerIp2, ids::kServerIp3, ids::kServerIp4}, s.serverIp);
    SetAddress({ids::kGateway1, ids::kGateway2, ids::kGateway3, ids::kGateway4}, s.gatewayIp);
    SetAddress({ids::kSubnet1, ids::kSubnet2, ids::kSubnet3, ids::kSubnet4}, s.subnetMask);
    Choose(ids::kConnectionMode, ListText(kCmdConmode, s.connectionMode));
    Choose(ids::kBroadcastMode, ListText(kCmdBcast, s.broadcastMode));
    surface.UserSetText(ids::kVoipPort, std::to_string(s.voipPort));
    surface.UserSetText(ids::kServerPort, std::to_string(s.serverPort));
    surface.UserSetText(ids::kCommandPort, std::to_string(s.commandPort));
    Choose(ids::kQosDscp, std::to_string(s.qosDscp));
    Choose(ids::kVoxThreshold, ListText(kCmdVsense, s.voxThreshold));
    Choose(ids::kInputBoost, ListText(kCmdBoost, s.inputBoost));
    Choose(ids::kDuplex, ListText(kCmdDuplex, s.duplex));
    surface.UserSetText(ids::kRxDelay, std::to_string(s.rxDelay));
    surface.UserSetText(ids::kTxDelay, std::to_string(s.txDelay));
    Choose(ids::kBaudRate, std::to_string(s.serialBaudRate));
    Choose(ids::kDataBits, std::to_string(s.serialDataBits));
    Choose(ids::kStopBits, std::to_string(s.serialStopBits));
    Choose(ids::kParity, ListText(kCmdParity, s.serialParity));
    MarkEverySettingRead(window);
    window.SetStatusState(kStatusConnected);
  }

  void SetAddress(std::vector<int> boxes, const uint8_t (&a)[4]) {
    for (size_t i = 0; i < 4; ++i) surface.UserSetText(boxes[i], std::to_string(a[i]));
  }
  void SetServer(const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
    surface.UserSetText(ids::kServerIp1, a);
    surface.UserSetText(ids::kServerIp2, b);
    surface.UserSetText(ids::kServerIp3, c);
    surface.UserSetText(ids::kServerIp4, d);
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : surface.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  PreferencesBlock SavedPreferences() const {
    PreferencesBlock block{};
    const std::string file = files.Content(kPreferencesFileName);
    EXPECT_EQ(file.size(), sizeof(block));
    if (file.size() == sizeof(block)) std::memcpy(&block, file.data(), sizeof(block));
    return block;
  }
};

TEST_F(UpdateSettingsTest, ClickOutsideStatus4To6SendsNothingAndSaysWhyWhileAReadIsDue) {
  surface.UserSetText(ids::kName, "Relay");
  struct Case {
    StatusState status;
    const char* box;  // nullptr: nothing shown
  };
  for (const Case& c : {Case{kStatusPortNotOpen, kPortNotOpen}, Case{kStatusTransparent, nullptr},
                        Case{kStatusEnteringCommand, kReadNotFinished}, Case{kStatusNotResponding, nullptr},
                        Case{kStatusQuerying, kReadNotFinished}, Case{kStatusCommunicating, kReadNotFinished},
                        Case{kStatusRebootWait, kReadNotFinished}}) {
    surface.ClearMessageBoxes();
    window.SetStatusState(c.status);
    Click(ids::kUpdateSettings);
    EXPECT_EQ(port.TakeWritten(), "") << int{c.status};
    EXPECT_EQ(window.GetStatusState(), c.status);
    EXPECT_EQ(BoxTexts(), c.box == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.box})
        << int{c.status};
  }
  EXPECT_EQ(files.replaces, 0);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
}

TEST_F(UpdateSettingsTest, IdenticalFormShowsNoChangesAndSendsNothing) {
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kNothingChanged);
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_EQ(boxes[0].owner, MessageOwner::None);
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(window.GetStatusState(), kStatusConnected);
  EXPECT_EQ(files.replaces, 0);
}

TEST_F(UpdateSettingsTest, NameOnlySendsNameAndSaveThenWaitsForRebootWithoutReopening) {
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nSAVE\r\n");
  EXPECT_TRUE(surface.MessageBoxes().empty());
  EXPECT_EQ(port.openCount, 1);
  EXPECT_EQ(files.replaces, 1);
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
  EXPECT_TRUE(surface.TimerRunning(ids::kRebootTimer));
  // The sent value arrives in currentSettings only when the unit is read again.
  EXPECT_STREQ(window.GetCurrentSettings().name, "Tower");
}

TEST_F(UpdateSettingsTest, ConnectionModeAboveServerIsKeptWhileTheListStillShowsServer) {
  // The list can only say "Server" for the unit's connectionless (2) and multicast (3)
  // modes; an update of the name must not turn them into plain server mode.
  for (const int32_t mode : {2, 3}) {
    DeviceSettings s = Baseline();
    s.connectionMode = mode;
    Show(s);
    surface.UserSetText(ids::kName, "Relay");
    Click(ids::kUpdateSettings);
    EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nSAVE\r\n") << mode;
    window.StopRebootWait();
  }
  // Choosing "Client" is a real change and goes out.
  DeviceSettings s = Baseline();
  s.connectionMode = 3;
  Show(s);
  Choose(ids::kConnectionMode, "Client");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "CONMODE 0\r\nSAVE\r\n");
}

TEST_F(UpdateSettingsTest, ChangedRowsGoOutInFormOrderWhateverTheEditOrder) {
  surface.UserSetText(ids::kSubnet3, "254");
  Choose(ids::kVocoder, "ADPCM 24Kbps");
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nVOCODER 3\r\nSUBNET 255.255.254.000\r\nSAVE\r\n");
}

TEST_F(UpdateSettingsTest, EveryRowSendsItsKeywordAndArgument) {
  DeviceSettings s = Baseline();
  s.securityFlags = 248;
  s.vocoder = 5;
  s.hangTime = 4000;
  s.corSquelchType = 3;
  s.corInhibitTime = 4000;
  const uint8_t ip[4] = {10, 0, 0, 7}, server[4] = {10, 0, 0, 1}, gateway[4] = {10, 0, 0, 254},
                subnet[4] = {255, 0, 0, 0};
  std::memcpy(s.ipAddress, ip, 4);
  std::memcpy(s.serverIp, server, 4);
  std::memcpy(s.gatewayIp, gateway, 4);
  std::memcpy(s.subnetMask, subnet, 4);
  s.connectionMode = 1;
  s.broadcastMode = 2;
  s.voipPort = 5000;
  s.serverPort = 5001;
  s.commandPort = 2323;
  s.qosDscp = 46;
  s.voxThreshold = 2;
  s.inputBoost = 1;
  s.duplex = 1;
  s.rxDelay = 10000;
  s.txDelay = 250;
  std::strcpy(s.webPassword, "pw 2");
  Show(s);
  CAppWindowTestAccess::SetCurrentSettings(window, Baseline());
  // "0 ms" is not in the hang-time list but is still understood when it shows.
  surface.UserSelectItem(ids::kHangTime, surface.AddItem(ids::kHangTime, "0 ms"));
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(),
            "PASS pw 2\r\nSECURITY 248\r\nVOCODER 5\r\nHANGTM 0\r\nCOR 3\r\nCORINH 4000\r\n"
            "MYIP 010.000.000.007\r\nSRVRIP 010.000.000.001\r\nGATEIP 010.000.000.254\r\n"
            "SUBNET 255.000.000.000\r\nCONMODE 1\r\nBCAST 2\r\nPORT 5000\r\nSRVRPORT 5001\r\n"
            "CMDPORT 2323\r\nDSCP 46\r\nVSENSE 2\r\nBOOST 1\r\nDUPLEX 1\r\nRXDELAY 10000\r\nTXDELAY 250\r\n"
            "SAVE\r\n");
  EXPECT_TRUE(surface.MessageBoxes().empty());
}

TEST_F(UpdateSettingsTest, SecurityValueGainsABitForEachUncheckedBox) {
  const int boxes[] = {ids::kAllowTelnet, ids::kAllowHttpAuthentication, ids::kAllowHttpConnectionManagement,
                       ids::kAllowHttpConfiguration, ids::kAllowHttpAccess};
  struct Case {
    int32_t unitFlags;
    unsigned checkedBoxes;  // bit i: boxes[i] checked
    const char* written;
  };
  for (const Case& c : {Case{0, 0x1E, "SECURITY 8\r\nSAVE\r\n"}, Case{0, 0x00, "SECURITY 248\r\nSAVE\r\n"},
                        Case{248, 0x1F, "SECURITY 0\r\nSAVE\r\n"}, Case{1, 0x1F, "SECURITY 0\r\nSAVE\r\n"}}) {
    DeviceSettings s = Baseline();
    s.securityFlags = c.unitFlags;
    Show(s);
    for (unsigned i = 0; i < 5; ++i) surface.UserSetChecked(boxes[i], (c.checkedBoxes >> i) & 1u);
    Click(ids::kUpdateSettings);
    EXPECT_EQ(port.TakeWritten(), c.written) << c.unitFlags << " " << c.checkedBoxes;
  }
}

TEST_F(UpdateSettingsTest, SerialChangeSendsAtOldSpeedSavesPreferencesAndReopensAtNewSettings) {
  Choose(ids::kBaudRate, "19200");
  Choose(ids::kParity, "Even");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "BAUD 19200\r\nPARITY E\r\nSAVE\r\n");
  EXPECT_EQ(port.openCount, 2);
  EXPECT_EQ(port.openedSettings.baudRate, 19200);
  EXPECT_EQ(port.openedSettings.parity, 'E');
  EXPECT_EQ(port.openedSettings.dataBits, 8);
  EXPECT_EQ(port.openedSettings.stopBits, 1);
  EXPECT_EQ(SavedPreferences().baudRate, 19200);
  EXPECT_EQ(SavedPreferences().parity, 'E');
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
}

TEST_F(UpdateSettingsTest, ReopenAndRebootWaitStartOnlyOnceTheBurstAndSaveHaveLeftTheLine) {
  port.drain.clock = &clock;
  Choose(ids::kBaudRate, "1200");
  surface.UserSetText(ids::kName, "Relay");  // with BAUD, 35 bytes to send
  const uint32_t clicked = clock.now;
  // 35 bytes take 36 ms at 9600 baud; the adapter holds them a little longer.
  port.drain.drainedAt = clicked + 100;
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nBAUD 1200\r\nSAVE\r\n");
  ASSERT_EQ(port.drain.doneTimes.size(), 1u);
  EXPECT_EQ(port.drain.doneTimes[0], clicked + 100);
  ASSERT_EQ(port.openTimes.size(), 1u);  // the reopen at the new rate (the first open had no clock)
  EXPECT_EQ(port.openTimes[0], clicked + 100);
  EXPECT_TRUE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
}

TEST_F(UpdateSettingsTest, ReopenFailureAfterSerialChangeWarnsAndEndsInStatus1WithoutRebootWait) {
  Choose(ids::kDataBits, "7");
  Choose(ids::kStopBits, "2");
  port.openSucceeds = false;
  Click(ids::kUpdateSettings);
  // Both lines went out on the old port, before it was closed.
  EXPECT_EQ(port.TakeWritten(), "DATA 7\r\nSTOP 2\r\nSAVE\r\n");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The serial port could not be opened"});
  EXPECT_EQ(surface.MessageBoxes()[0].owner, MessageOwner::None);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(SavedPreferences().dataBits, 7);
  EXPECT_EQ(SavedPreferences().stopBits, 2);
}

TEST_F(UpdateSettingsTest, UnrecognisedControlsFallBackAndSendNothingButTheUnitsSettingsStayAsRead) {
  DeviceSettings s = Baseline();
  s.subnetMask[0] = 0;  // the box will be empty: 255
  s.vocoder = 3;        // no selection: 1
  s.rxDelay = 150;      // 20000: 0
  s.txDelay = 40;       // holds no number: 0
  s.voipPort = 4000;    // empty: 1221
  s.serialParity = 'O'; // no selection: 'N'
  s.qosDscp = 46;       // no selection: kept, nothing sent
  Show(s);
  surface.UserSetText(ids::kSubnet1, "");
  surface.UserSelectItem(ids::kVocoder, -1);
  surface.UserSetText(ids::kRxDelay, "20000");
  surface.UserSetText(ids::kTxDelay, "ms");
  surface.UserSetText(ids::kVoipPort, "");
  surface.UserSelectItem(ids::kParity, -1);
  surface.UserSelectItem(ids::kQosDscp, -1);
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNothingChanged});
  // A fallback decides only what is compared: the program still believes what the unit
  // reported, so the History and the report tell the truth.
  const DeviceSettings now = window.GetCurrentSettings();
  EXPECT_EQ(std::memcmp(&now, &s, sizeof(s)), 0);
}

TEST_F(UpdateSettingsTest, AnEmptiedPortBoxBesideARealChangeLeavesTheHistoryWithTheUnitsPort) {
  DeviceSettings s = Baseline();
  s.voipPort = 2000;
  Show(s);
  surface.UserSetText(ids::kVoipPort, "");
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nSAVE\r\n") << "the emptied box sends nothing";
  EXPECT_EQ(window.GetCurrentSettings().voipPort, 2000);

  surface.UserSetText(ids::kSerialNumberEntry, "SN1");
  Click(ids::kAddCurrent);
  ASSERT_EQ(window.GetPreferences().historyCount, 1);
  EXPECT_EQ(window.GetPreferences().history[0].voipPort, 2000);
}

TEST_F(UpdateSettingsTest, AddressBoxesKeepLowEightBitsAndFallBackPerOctet) {
  surface.UserSetText(ids::kSubnet1, "");
  surface.UserSetText(ids::kSubnet3, "254");
  surface.UserSetText(ids::kIp4, "300");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "MYIP 192.168.001.044\r\nSUBNET 255.255.254.000\r\nSAVE\r\n");
}

TEST_F(UpdateSettingsTest, EmptySubnetBoxesFallBackTo255255255And0AndSendNothingWhateverTheUnitHolds) {
  DeviceSettings s = Baseline();
  const uint8_t mask[4] = {255, 255, 0, 7};
  std::memcpy(s.subnetMask, mask, 4);
  Show(s);
  for (int box : {ids::kSubnet1, ids::kSubnet2, ids::kSubnet3, ids::kSubnet4}) surface.UserSetText(box, "");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "") << "every empty box takes its fallback on both sides of the comparison";
  const DeviceSettings after = window.GetCurrentSettings();
  EXPECT_EQ(std::vector<int>(after.subnetMask, after.subnetMask + 4), (std::vector<int>{255, 255, 0, 7}));
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text, kNothingChanged);
}

TEST_F(UpdateSettingsTest, MulticastIsSentOnlyWithAMulticastOrEmptyServerAddress) {
  struct Case {
    std::vector<std::string> server;
    std::string written;
  };
  const Case allowed[] = {
      {{"224", "1", "2", "3"}, "SRVRIP 224.001.002.003\r\nBCAST 3\r\nSAVE\r\n"},
      {{"239", "255", "255", "255"}, "SRVRIP 239.255.255.255\r\nBCAST 3\r\nSAVE\r\n"},
      {{"0", "0", "0", "0"}, "BCAST 3\r\nSAVE\r\n"},
      {{"", "", "", ""}, "BCAST 3\r\nSAVE\r\n"},
  };
  for (const Case& c : allowed) {
    Show(Baseline());
    SetServer(c.server[0], c.server[1], c.server[2], c.server[3]);
    Choose(ids::kBroadcastMode, "Multicast");
    Click(ids::kUpdateSettings);
    EXPECT_EQ(port.TakeWritten(), c.written) << c.server[0];
    EXPECT_TRUE(surface.MessageBoxes().empty()) << c.server[0];
  }

  // Refused: the warning, no BCAST, the other change and SAVE still go out.
  const Case refused[] = {
      {{"223", "0", "0", "1"}, "SRVRIP 223.000.000.001\r\nSAVE\r\n"},
      {{"240", "0", "0", "1"}, "SRVRIP 240.000.000.001\r\nSAVE\r\n"},
      {{"0", "0", "0", "1"}, "SRVRIP 000.000.000.001\r\nSAVE\r\n"},
  };
  for (const Case& c : refused) {
    Show(Baseline());
    surface.ClearMessageBoxes();
    SetServer(c.server[0], c.server[1], c.server[2], c.server[3]);
    Choose(ids::kBroadcastMode, "Multicast");
    Click(ids::kUpdateSettings);
    EXPECT_EQ(port.TakeWritten(), c.written) << c.server[0];
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kMulticastWarning}) << c.server[0];
    EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
  }
}

TEST_F(UpdateSettingsTest, MulticastRuleAppliesOnlyWhenTheModeChanges) {
  DeviceSettings s = Baseline();
  s.serverIp[0] = 10;
  s.serverIp[3] = 1;
  Show(s);
  Choose(ids::kBroadcastMode, "Multicast");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kMulticastWarning, kNothingChanged}));
  EXPECT_EQ(window.GetStatusState(), kStatusConnected);

  // A unit already in multicast mode takes any server address.
  surface.ClearMessageBoxes();
  s.broadcastMode = 3;
  Show(s);
  SetServer("10", "0", "0", "5");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "SRVRIP 010.000.000.005\r\nSAVE\r\n");
  EXPECT_TRUE(surface.MessageBoxes().empty());
}

TEST_F(UpdateSettingsTest, LineBreakInNameOrPasswordWarnsAndSendsNothingAtAll) {
  Choose(ids::kVocoder, "PCM 64Kbps");
  surface.UserSetText(ids::kName, "Tow\r\ner");
  surface.UserSetText(ids::kWebPassword, "pass\nNAME x");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{
                "The Name cannot be sent to the VQX-2 because it contains a line break.",
                "The Password for web access cannot be sent to the VQX-2 because it contains a line break."}));
  EXPECT_EQ(surface.MessageBoxes()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(files.replaces, 0);
  EXPECT_EQ(window.GetStatusState(), kStatusConnected);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
}

TEST_F(UpdateSettingsTest, CommandsTheBusyLinkCannotTakeAreNamedInAWarningInsteadOfDroppedSilently) {
  // A status reply waits in the link and no worker takes it.
  ASSERT_NO_FATAL_FAILURE(LeaveAStatusReplyWaiting());
  surface.UserSetText(ids::kName, "Relay");
  const uint32_t before = clock.now;

  window.UpdateSettings();

  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_GE(ElapsedMs(clock.now, before), kReplyTimeoutMs) << "it waited for the link before giving up";
  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "These commands could not be sent to the VQX-2 because the line was busy: NAME, SAVE. "
            "Check the settings after the VQX-2 has been read again.");
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait) << "the rest of the update goes on as usual";
}

TEST_F(UpdateSettingsTest, AReplyTheWorkerTakesOnlyAfterTwoSecondsHoldsTheBurstBackButLosesNoCommand) {
  // A status reply waits in the link; the worker, held back by a machine busy elsewhere,
  // takes it two seconds later.
  ASSERT_NO_FATAL_FAILURE(LeaveAStatusReplyWaiting());
  surface.UserSetText(ids::kName, "Relay");
  const uint32_t before = clock.now;
  clock.onSleep = [&] {
    if (comm.GetState() == LinkState::ReplyReady && ElapsedMs(clock.now, before) >= 2000) comm.TakeReply();
  };

  window.UpdateSettings();
  clock.onSleep = nullptr;

  EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nSAVE\r\n");
  EXPECT_GE(ElapsedMs(clock.now, before), 2000u);
  EXPECT_TRUE(surface.MessageBoxes().empty()) << surface.MessageBoxes()[0].text;
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
}

TEST_F(UpdateSettingsTest, AStatusReplyDuringTheRebootWaitDoesNotLetTheOldReadBeUpdatedAgain) {
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  ASSERT_EQ(port.TakeWritten(), "NAME Relay\r\nSAVE\r\n");
  // The unit refuses one line of the burst: the logic asks STAT, and the status reply
  // makes the unit look idle while it reboots.
  UnitSays("ERR\n");
  ASSERT_EQ(port.TakeWritten(), "STAT\r\n");
  UnitSays("DIS\n");
  ASSERT_EQ(window.GetStatusState(), kStatusDisconnected);
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kReadNotFinished});
}

TEST_F(UpdateSettingsTest, ARefusedNameIsNotSentAndTheEditIsNamedInsteadOfPassingForNoChange) {
  CAppWindowTestAccess::SetReadMark(window, 14, ReadMark::Refused);  // NAME answered ERR; its box stays enabled
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"The VQX-2 does not support the Name, so it is not sent.",
                                                  kNothingChanged}));
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));

  surface.ClearMessageBoxes();
  Choose(ids::kVocoder, "PCM 64Kbps");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "VOCODER 5\r\nSAVE\r\n");
}

TEST_F(UpdateSettingsTest, RefusedRowsNeverGoOutWhateverTheirDisabledControlsShow) {
  // Controls of refused settings were never filled: unchecked boxes, no selection, empty
  // boxes. None of that is a change.
  CAppWindowTestAccess::SetReadMark(window, 19, ReadMark::Refused);  // SECURITY
  CAppWindowTestAccess::SetReadMark(window, 0, ReadMark::Refused);   // BAUD
  CAppWindowTestAccess::SetReadMark(window, 20, ReadMark::Refused);  // SRVRIP
  for (int box : {ids::kAllowTelnet, ids::kAllowHttpAuthentication, ids::kAllowHttpConnectionManagement,
                  ids::kAllowHttpConfiguration, ids::kAllowHttpAccess}) {
    surface.UserSetChecked(box, false);
  }
  Choose(ids::kBaudRate, "19200");
  SetServer("10", "9", "8", "7");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNothingChanged});
  EXPECT_EQ(port.openCount, 1) << "no host serial change either";
  EXPECT_EQ(window.GetPreferences().baudRate, 9600);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));

  // The multicast rule looks at the server the unit holds, not at the stale box.
  surface.ClearMessageBoxes();
  Choose(ids::kBroadcastMode, "Multicast");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "BCAST 3\r\nSAVE\r\n") << "the unit's server is 0.0.0.0";
}

TEST_F(UpdateSettingsTest, AfterAFailedPortChoiceAndCancelTheStatusUpdateAndAttentionSayThePortIsNotOpen) {
  ASSERT_TRUE(window.BeginSerialPortDialog());
  port.openSucceeds = false;
  EXPECT_FALSE(window.ApplySerialPortChoice("/dev/ttyUSB7", 9600, 8, 1, 'N'));
  window.EndSerialPortDialog();  // Cancel
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(window.StatusSentence(), "Serial port not open");

  surface.ClearMessageBoxes();
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kPortNotOpen});
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(files.replaces, 1) << "only the dialog's own save";

  surface.ClearMessageBoxes();
  Click(ids::kAttention);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kPortNotOpen});
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  Passes(100);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
}

TEST_F(UpdateSettingsTest, ARebootWaitThatEndsAfterThePortWasClosedSaysSoInsteadOfCommunicatingForGood) {
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  ASSERT_TRUE(surface.TimerRunning(ids::kRebootTimer));
  port.openSucceeds = false;
  EXPECT_FALSE(window.ApplySerialPortChoice("/dev/ttyUSB7", 9600, 8, 1, 'N'));
  window.EndSerialPortDialog();  // Cancel
  surface.ClearMessageBoxes();
  Click(ids::kUpdateSettings);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kPortNotOpen});
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait) << "the wait runs out first";
  window.OnTimer(ids::kRebootTimer);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  Passes(100);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);

  // A working port brings the unit back.
  port.openSucceeds = true;
  EXPECT_TRUE(window.ApplySerialPortChoice("/dev/ttyUSB7", 9600, 8, 1, 'N'));
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
}

TEST_F(UpdateSettingsTest, AFailedPortChoiceThenAWorkingOneDuringTheRebootWaitStillLetsTheWaitEndFirst) {
  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  port.openSucceeds = false;
  EXPECT_FALSE(window.ApplySerialPortChoice("/dev/ttyUSB7", 9600, 8, 1, 'N'));
  port.openSucceeds = true;
  EXPECT_TRUE(window.ApplySerialPortChoice("/dev/ttyUSB7", 9600, 8, 1, 'N'));
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
  window.OnTimer(ids::kRebootTimer);
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
}

TEST_F(UpdateSettingsTest, ResetReopensAt9600N81AndKeepsPreviousSettingsInTheFile) {
  window.SetHostSerialSettings("COM3", 19200, 7, 2, 'E');
  window.AppendOutput("old traffic");
  Click(ids::kMenuReset);
  EXPECT_EQ(window.GetStatusState(), kStatusCommunicating);
  EXPECT_EQ(window.GetQueryStep(), kNothingPending);
  EXPECT_TRUE(CAppWindowTestAccess::OwnCommand(window));
  EXPECT_EQ(window.GetOutputLog(), "");
  EXPECT_EQ(surface.Text(ids::kOutputWindow), "old traffic");
  EXPECT_EQ(port.openedName, "COM3");
  EXPECT_EQ(port.openedSettings.baudRate, 9600);
  EXPECT_EQ(port.openedSettings.dataBits, 8);
  EXPECT_EQ(port.openedSettings.stopBits, 1);
  EXPECT_EQ(port.openedSettings.parity, 'N');
  const PreferencesBlock held = window.GetPreferences();
  EXPECT_EQ(held.baudRate, 9600);
  EXPECT_EQ(held.parity, 'N');
  const PreferencesBlock saved = SavedPreferences();
  EXPECT_EQ(saved.baudRate, 19200);
  EXPECT_EQ(saved.dataBits, 7);
  EXPECT_EQ(saved.stopBits, 2);
  EXPECT_EQ(saved.parity, 'E');
  EXPECT_TRUE(surface.MessageBoxes().empty());
}

TEST_F(UpdateSettingsTest, ResetWithPortThatWillNotOpenWarnsAndStaysInStatus1) {
  port.openSucceeds = false;
  Click(ids::kMenuReset);
  EXPECT_EQ(window.GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The serial port could not be opened"});
  EXPECT_EQ(surface.MessageBoxes()[0].owner, MessageOwner::None);
  EXPECT_EQ(comm.GetState(), LinkState::Closed);
}

// Against the simulated unit, after a real full read.
using UpdateSettingsSimTest = AppSimTest;

TEST_F(UpdateSettingsSimTest, FormAsReadMatchesAndAnEditReachesTheUnitAfterTheReboot) {
  CreateAndRead();
  port.TakeWritten();
  Click(ids::kUpdateSettings);
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text, kNothingChanged);
  EXPECT_EQ(port.TakeWritten(), "");

  surface.UserSetText(ids::kName, "Relay Nine");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "NAME Relay Nine\r\nSAVE\r\n");
  clock.Advance(kRebootWaitMs);
  window.OnTimer(ids::kRebootTimer);
  ASSERT_TRUE(RunUntilUnitIdle());
  EXPECT_STREQ(window.GetCurrentSettings().name, "Relay Nine");
  EXPECT_EQ(port.unit.SavedSettings().TextOf("NAME"), "Relay Nine");
}

}  // namespace
}  // namespace vqx::testing

namespace vqx::testing {
namespace {

class RefusingUnitUpdateTest : public AppSimTest {
 protected:
  static sim::SimConfig Refusing(std::set<std::string> keywords) {
    sim::SimConfig config = DefaultSimConfig();
    config.unsupported = std::move(keywords);
    return config;
  }
  explicit RefusingUnitUpdateTest(std::set<std::string> keywords = {"BAUD", "SECURITY"})
      : AppSimTest(Refusing(std::move(keywords))) {}
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : surface.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }
};

TEST_F(RefusingUnitUpdateTest, UpdateWhileAnEarlyStatusReplyShowsTheUnitIdleSendsNothingUntilTheReadHasEnded) {
  ASSERT_TRUE(window.Create());
  // BAUD, the first query, is refused: the STAT after the ERR is answered while the read
  // still has 27 settings to go, and the status says "disconnected".
  ASSERT_TRUE(RunUntilUnitIdle());
  ASSERT_TRUE(CAppWindowTestAccess::FullReadActive(window));
  port.TakeWritten();
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "") << "no SECURITY 248 from the unfilled check boxes, no SAVE";
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kReadNotFinished});
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_FALSE(window.IsReadFinished());

  ASSERT_TRUE(RunUntil([&] { return window.IsReadFinished(); }));
  port.TakeWritten();
  surface.ClearMessageBoxes();
  // SECURITY was refused too: its unfilled boxes (all unchecked, 248) are no change.
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNothingChanged});
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(window.GetStatusState(), kStatusDisconnected);

  surface.UserSetText(ids::kName, "Relay");
  Click(ids::kUpdateSettings);
  EXPECT_EQ(port.TakeWritten(), "NAME Relay\r\nSAVE\r\n");
}

}  // namespace
}  // namespace vqx::testing
