#include "app/settings_report.h"

#include "core/app/history_entries.h"

namespace vqx::testing {
namespace {

DeviceSettings FullEntry() {
  DeviceSettings s = MakeEntry("A17", "Tower", 5);
  s.commandPort = 1222;
  SetAddress(s.gatewayIp, {10, 0, 0, 1});
  SetAddress(s.subnetMask, {255, 255, 255, 0});
  SetAddress(s.serverIp, {192, 168, 1, 9});  // not reported
  SetText(s.firmwareVersion, "2.14");
  s.securityFlags = kSecurityNoTelnet | kSecurityNoHttpConnectionManagement;
  SetText(s.webPassword, "secret");
  s.vocoder = 3, s.qosDscp = 46, s.corSquelchType = 1, s.corInhibitTime = 250, s.voxThreshold = 2;
  s.hangTime = 1000, s.duplex = 1, s.inputBoost = 1, s.rxDelay = 20, s.txDelay = -40;
  SetSerialLine(s, 19200, 8, 1, 'E');
  return s;
}

std::string Report(const DeviceSettings& s) { return FormatSettingsReport(std::span(&s, 1)); }
bool HasLine(const std::string& report, const std::string& line) {
  return report.find("\n" + line + "\r\n") != std::string::npos;
}

using SettingsReportTest = HistoryFixture;

TEST_F(SettingsReportTest, SelectingAnEntryOrAllFillsThePaneAndNothingSelectedLeavesIt) {
  surface.SetText(ids::kReportPane, "earlier");
  surface.UserSelectItem(ids::kHistoryList, 0);  // "(All)" with no entries
  window.OnCommand(ids::kHistoryList, kLbnSelChange);
  Store({MakeEntry("X1", "Other", 7), FullEntry(), MakeEntry("C", "Third", 3)});
  window.OnCommand(ids::kHistoryList, kLbnSelChange);  // the refill left nothing selected
  EXPECT_EQ(surface.Text(ids::kReportPane), "earlier");

  surface.UserSelectItem(ids::kHistoryList, 2);
  EXPECT_EQ(window.OnCommand(ids::kHistoryList, kLbnSelChange), CommandOutcome::HandledReturnOne);
  EXPECT_EQ(surface.Text(ids::kReportPane),
            "---\r\nSerial Number: A17\r\nName: Tower\r\nIP Address: 10.0.0.5:1221\r\nVoIP Port: 1221\r\n"
            "Command Port: 1222\r\nGateway IP: 10.0.0.1\r\nSubnet Mask: 255.255.255.0\r\n"
            "Connection Mode: Client\r\nFirmware Ver: 2.14\r\n\r\nAccess via HTTP: Yes\r\n"
            "Configuration via HTTP: Yes\r\nControl connections via HTTP: No\r\nAuthentication via HTTP: Yes\r\n"
            "Access via telnet: No\r\nWeb access password: secret\r\n\r\nVocoder: ADPCM 24Kbps\r\n"
            "QOS DSCP Value: 46\r\nCOR Squelch Type: Active High\r\nCOR Inhibit Time: 250 ms\r\n"
            "VOX/VMR Threshold: High\r\nVOX/VMR Hang Time: 1000 ms\r\nDuplex: Half\r\nInput Boost: +20 dB\r\n"
            "RX Delay: 20 ms\r\nTX Delay: -40 ms\r\n\r\nSerial Baud Rate: 19200\r\nSerial Data Bits: 8\r\n"
            "Serial Stop Bits: 1\r\nSerial Parity: E\r\n---\r\n");

  surface.UserSelectItem(ids::kHistoryList, 0);
  window.OnCommand(ids::kHistoryList, kLbnSelChange);
  const std::string all = surface.Text(ids::kReportPane);
  EXPECT_EQ(all, "---\r\n" + Report(MakeEntry("X1", "Other", 7)).substr(5) + Report(FullEntry()).substr(5) +
                     Report(MakeEntry("C", "Third", 3)).substr(5));
}

TEST(SettingsReportFormat, LinesChosenByValueFollowTheirTables) {
  struct Case {
    int32_t DeviceSettings::*field;
    int32_t value;
    const char* line;
  };
  for (const Case& c : {Case{&DeviceSettings::connectionMode, 1, "Connection Mode: Server"},
                        Case{&DeviceSettings::broadcastMode, 1, "Connection Mode: Broadcast"},
                        Case{&DeviceSettings::broadcastMode, 2, "Connection Mode: Connectionless"},
                        Case{&DeviceSettings::broadcastMode, 3, "Connection Mode: Multicast"},
                        Case{&DeviceSettings::vocoder, 0, "Vocoder: GSM 13Kbps"},
                        Case{&DeviceSettings::vocoder, 1, "Vocoder: GSM 13Kbps"},
                        Case{&DeviceSettings::vocoder, 5, "Vocoder: PCM 64Kbps"},
                        Case{&DeviceSettings::corSquelchType, 3, "COR Squelch Type: VMR"},
                        Case{&DeviceSettings::corSquelchType, 0, "COR Squelch Type: Active Low"},
                        Case{&DeviceSettings::voxThreshold, 7, "VOX/VMR Threshold: Low"},
                        Case{&DeviceSettings::duplex, 0, "Duplex: Full"},
                        Case{&DeviceSettings::inputBoost, 0, "Input Boost: None"}}) {
    DeviceSettings s = FullEntry();
    s.connectionMode = 1;  // shows only with broadcast mode 0
    s.*c.field = c.value;
    EXPECT_TRUE(HasLine(Report(s), c.line)) << c.line;
  }
  DeviceSettings s = FullEntry();
  s.broadcastMode = 7;
  EXPECT_EQ(Report(s).find("Connection Mode"), std::string::npos);
  for (const char* name : {"Access via HTTP: ", "Configuration via HTTP: ", "Control connections via HTTP: ",
                           "Authentication via HTTP: ", "Access via telnet: "}) {
    s.securityFlags = 0;
    EXPECT_TRUE(HasLine(Report(s), std::string(name) + "Yes")) << name;
    s.securityFlags = 248;
    EXPECT_TRUE(HasLine(Report(s), std::string(name) + "No")) << name;
  }
}

TEST(SettingsReportFormat, TextsAreReportedWholeButNeverBeyondTheirFields) {
  DeviceSettings s = FullEntry();
  std::memset(s.name, 'N', 63);
  EXPECT_TRUE(HasLine(Report(s), "Name: " + std::string(63, 'N')));
  // A record from a damaged file: no NUL in its texts, and a parity never reported.
  std::memset(s.name, 'M', sizeof(s.name));
  std::memset(s.serialNumber, 'S', sizeof(s.serialNumber));
  std::memset(s.firmwareVersion, 'F', sizeof(s.firmwareVersion));
  s.serialParity = '\0';
  const std::string report = Report(s);
  EXPECT_TRUE(HasLine(report, "Serial Number: " + std::string(12, 'S')));
  EXPECT_TRUE(HasLine(report, "Name: " + std::string(64, 'M')));
  EXPECT_TRUE(HasLine(report, "Firmware Ver: " + std::string(64, 'F') + "\r\n"));
  EXPECT_TRUE(HasLine(report, "Serial Parity: "));
  EXPECT_EQ(report.find('\0'), std::string::npos);
  EXPECT_EQ(report.substr(report.size() - 5), "---\r\n");
}

}  // namespace
}  // namespace vqx::testing
