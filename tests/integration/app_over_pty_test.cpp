// The whole window logic on the headless surface, with the worker loop on its own
// thread, against vqxsim on a pseudo-terminal, in real time. The test thread plays the
// user-interface thread: it clicks, types and answers the reboot timer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/app_window_access.h"
#include "app/app_window.h"
#include "app/application.h"
#include "app/settings_report.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/memory_files.h"
#include "system_port.h"
#include "window/control_ids.h"
#include "window/headless_surface.h"

namespace vqx {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::StartsWith;

class AppOverPty : public ::testing::Test {
 protected:
  AppOverPty() { comm_.AttachHost(&window_); }
  ~AppOverPty() override {
    app_.StopWorker();
    comm_.Close();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void StartSim(sim::SimConfig config = {}) {
    config.rebootMs = 1500;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  // Waits on the test thread while the worker runs.
  static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return done();
  }
  bool WaitForUnitIdle() { return WaitUntil([&] { return window_.IsUnitIdle(); }, 20s); }

  size_t LinesReceived() const { return sim_->ReceivedLines().size(); }
  std::vector<std::string> LinesSince(size_t mark) const {
    const auto all = sim_->ReceivedLines();
    return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
  }

  void Type(int id, const std::string& text) {
    surface_.UserSetText(id, text);
    window_.OnCommand(id, kEnChange);
  }
  void Choose(int listId, const std::string& itemText) {
    const auto items = surface_.Items(listId);
    const auto it = std::find(items.begin(), items.end(), itemText);
    ASSERT_NE(it, items.end()) << itemText;
    surface_.UserSelectItem(listId, static_cast<int>(it - items.begin()));
  }
  void TypeCommand(const std::string& line) {
    surface_.UserSetText(ids::kCommandEntry, line);
    window_.OnEnterKey();
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  // The working directory of this run: the preferences and the saved files land here.
  static std::filesystem::path MakeDirectory() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqx-app-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path dir_ = MakeDirectory();
  std::unique_ptr<IFileStore> files_ = CreateSystemFileStore(dir_.string());
  testing::FixedWallClock wallClock_;
  std::unique_ptr<ISerialPort> port_ = CreateSystemSerialPort();
  CSerialComm comm_{*port_, SystemClock()};
  HeadlessSurface surface_;
  AppServices services_{SystemClock(), *files_, wallClock_};
  CAppWindow window_{comm_, surface_, services_};
  CApplication app_{comm_, window_};
  std::unique_ptr<sim::SimRunner> sim_;
};

TEST_F(AppOverPty, ReadUpdateTerminalHistoryAndShutdownAgainstTheSimulatedUnit) {
  StartSim();

  // No preferences file: the default port COM1 (/dev/ttyS0) is not the unit's, and on
  // most machines does not open at all; the user then picks the unit's port.
  if (!window_.Create()) {
    ASSERT_EQ(surface_.MessageBoxes().size(), 1u);
    EXPECT_EQ(surface_.MessageBoxes()[0].text.substr(0, 35), "The serial port could not be opened");
    EXPECT_EQ(window_.GetStatusState(), kStatusPortNotOpen);
    surface_.ClearMessageBoxes();
  }
  EXPECT_EQ(window_.GetPreferences().baudRate, 9600);
  EXPECT_FALSE(std::filesystem::exists(dir_ / kPreferencesFileName));
  ASSERT_TRUE(app_.StartWorker());
  ASSERT_TRUE(window_.BeginSerialPortDialog());
  ASSERT_TRUE(window_.ApplySerialPortChoice(sim_->SlavePath().c_str(), 9600, 8, 1, 'N'));
  window_.EndSerialPortDialog();

  // The full read: escape, ECHO OFF, 28 queries in keyword order, STAT.
  ASSERT_TRUE(WaitForUnitIdle()) << "status " << int{window_.GetStatusState()};
  EXPECT_THAT(sim_->ReceivedLines(),
              ElementsAre("", "ECHO OFF", "BAUD", "BCAST", "BOOST", "CMDPORT", "CONMODE", "COR", "CORINH", "DATA", "DSCP",
                          "DUPLEX", "GATEIP", "HANGTM", "MAC", "MYIP", "NAME", "PARITY", "PASS", "PORT", "RXDELAY",
                          "SECURITY", "SRVRIP", "SRVRPORT", "STOP", "SUBNET", "TXDELAY", "VER", "VOCODER", "VSENSE",
                          "STAT"));
  EXPECT_EQ(window_.StatusSentence(), "VQX-2 disconnected");
  EXPECT_EQ(window_.StatusNameLine(), "Name: VQX-2");
  EXPECT_EQ(surface_.Text(ids::kName), "VQX-2");
  EXPECT_EQ(surface_.Text(ids::kIp1) + "." + surface_.Text(ids::kIp2) + "." + surface_.Text(ids::kIp3) + "." +
                surface_.Text(ids::kIp4),
            "192.168.1.20");
  EXPECT_EQ(surface_.Text(ids::kVocoder), "GSM 13Kbps");
  EXPECT_EQ(surface_.Text(ids::kHangTime), "1000 ms");
  EXPECT_EQ(surface_.Text(ids::kQosDscp), "46");
  EXPECT_EQ(surface_.Text(ids::kMacAddress), "Mac Address: 00:50:C2:12:34:56");
  EXPECT_EQ(surface_.Text(ids::kFirmwareVersion), "Firmware Ver: VQX-2 v1.00");
  EXPECT_EQ(surface_.Text(ids::kWebPassword), "admin");
  for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(window_.GetSettingReadState(i), ReadMark::Read) << i;

  // Update Settings: three edits go out in the fixed order, then SAVE; the reboot wait
  // runs and everything is read again.
  Type(ids::kName, "Relay-7");
  Choose(ids::kVocoder, "ADPCM 32Kbps");
  Type(ids::kSubnet2, "255");
  Type(ids::kSubnet3, "0");
  Type(ids::kSubnet4, "0");
  size_t mark = LinesReceived();
  window_.OnCommand(ids::kUpdateSettings, kBnClicked);
  EXPECT_EQ(window_.GetStatusState(), kStatusRebootWait);
  EXPECT_TRUE(surface_.TimerRunning(ids::kRebootTimer));
  ASSERT_TRUE(sim_->WaitFor([&](const sim::SimUnit& unit) { return unit.ReceivedLines().size() >= mark + 4; }, 5s));
  EXPECT_THAT(LinesSince(mark), ElementsAre("NAME Relay-7", "VOCODER 4", "SUBNET 255.255.000.000", "SAVE"));
  EXPECT_TRUE(surface_.MessageBoxes().empty());
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& unit) { return unit.Mode() != sim::SimMode::Rebooting; }, 10s));
  // The ten seconds are over: by then the burst's replies have long been taken.
  ASSERT_TRUE(WaitUntil([&] { return comm_.GetState() == LinkState::Idle && !comm_.AwaitingReply(); }, 5s));
  window_.OnTimer(ids::kRebootTimer);
  EXPECT_FALSE(surface_.TimerRunning(ids::kRebootTimer));
  // The unit is escaped and read again. On this unpaced line the read takes a few tens of
  // milliseconds: wait for its end (STAT asked after SAVE, the status settled), not for
  // the passing "querying" status, which a loaded machine may never let this thread see.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto lines = LinesSince(mark);
        return std::find(lines.begin(), lines.end(), "STAT") != lines.end() && window_.IsUnitIdle();
      },
      20s))
      << "status " << int{window_.GetStatusState()};
  const DeviceSettings reread = window_.GetCurrentSettings();
  EXPECT_STREQ(reread.name, "Relay-7");
  EXPECT_EQ(reread.vocoder, 4);
  EXPECT_EQ(reread.subnetMask[1], 255);
  EXPECT_EQ(reread.subnetMask[2], 0);
  EXPECT_EQ(surface_.Text(ids::kVocoder), "ADPCM 32Kbps");
  EXPECT_EQ(window_.StatusNameLine(), "Name: Relay-7");

  // The terminal: a typed setting confirmed by OK reaches the form.
  window_.OnCommand(ids::kViewTerminal, kBnClicked);
  mark = LinesReceived();
  TypeCommand("name Tower");
  EXPECT_EQ(surface_.Text(ids::kCommandEntry), "");
  ASSERT_TRUE(WaitUntil([&] { return surface_.Text(ids::kName) == "Tower"; }, 5s));
  EXPECT_EQ(window_.GetQueryStep(), kNothingPending);
  EXPECT_THAT(LinesSince(mark), ElementsAre("name Tower"));

  // ECHO with an argument is refused with its box; nothing reaches the unit.
  TypeCommand("echo on");
  ASSERT_EQ(surface_.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface_.MessageBoxes()[0].text, "This program automatically controls the ECHO setting");
  surface_.ClearMessageBoxes();

  // HELP's answer is shown, not taken for replies: the status stays, the read is not
  // restarted, and the next typed query is answered as usual.
  const int8_t statusBefore = window_.GetStatusState();
  TypeCommand("HELP");
  ASSERT_TRUE(WaitUntil([&] { return window_.GetOutputLog().find("VOCODER") != std::string::npos; }, 5s));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(window_.GetStatusState(), statusBefore);
  EXPECT_THAT(LinesSince(mark), ElementsAre("name Tower", "HELP"));

  // History: two snapshots, one removed, the report of "(All)" saved to History.txt.
  window_.OnCommand(ids::kViewHistory, kBnClicked);
  surface_.UserSetText(ids::kSerialNumberEntry, "A17");
  window_.OnCommand(ids::kAddCurrent, kBnClicked);
  surface_.UserSetText(ids::kSerialNumberEntry, "B2");
  window_.OnCommand(ids::kAddCurrent, kBnClicked);
  surface_.UserSetText(ids::kSerialNumberEntry, "C3");
  window_.OnCommand(ids::kAddCurrent, kBnClicked);
  surface_.UserSelectItem(ids::kHistoryList, 2);
  window_.OnCommand(ids::kRemove, kBnClicked);
  EXPECT_THAT(surface_.Items(ids::kHistoryList),
              ElementsAre("(All)", "A17 Tower (192.168.1.20:2000)", "C3 Tower (192.168.1.20:2000)"));
  surface_.UserSelectItem(ids::kHistoryList, 0);
  EXPECT_EQ(window_.OnCommand(ids::kHistoryList, kLbnSelChange), CommandOutcome::HandledReturnOne);
  const PreferencesBlock prefs = window_.GetPreferences();
  ASSERT_EQ(prefs.historyCount, 2);
  const std::string report = FormatSettingsReport({prefs.history, 2});
  EXPECT_EQ(surface_.Text(ids::kReportPane), report);
  EXPECT_NE(report.find("Serial Number: C3\r\nName: Tower\r\n"), std::string::npos);

  window_.OnCommand(ids::kSaveHistory, kBnClicked);
  std::string expectedHistory;
  for (size_t start = 0;;) {
    const size_t end = report.find("\r\n", start);
    expectedHistory += report.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 2;
  }
  EXPECT_EQ(ReadFile("History.txt"), expectedHistory);

  // The communication log: the last 1199 characters the output window showed.
  window_.OnCommand(ids::kViewTerminal, kBnClicked);
  window_.OnCommand(ids::kSaveCommunication, kBnClicked);
  const std::string log = ReadFile("VQX-2 Comm Sun Dec 06 22=10=04 2026.txt");
  EXPECT_EQ(log.size(), 1199u);
  EXPECT_EQ(log, window_.GetOutputLog()) << "the line is quiet: nothing was appended since the save";

  // The preferences file holds the chosen port, the view and the two snapshots.
  const std::string stored = ReadFile(kPreferencesFileName);
  ASSERT_EQ(stored.size(), sizeof(PreferencesBlock));
  EXPECT_EQ(stored.substr(21, sim_->SlavePath().size()), sim_->SlavePath());

  // Closing: ECHO ON and TRAN reach the unit before the port is closed.
  mark = LinesReceived();
  app_.Shutdown();
  ASSERT_TRUE(sim_->WaitFor([&](const sim::SimUnit& unit) { return unit.ReceivedLines().size() >= mark + 2; }, 3s));
  EXPECT_THAT(LinesSince(mark), ElementsAre("ECHO ON", "TRAN"));
  EXPECT_TRUE(sim_->WaitFor([](const sim::SimUnit& unit) { return unit.Mode() == sim::SimMode::Transparent; }, 3s));
  EXPECT_EQ(comm_.GetState(), LinkState::Closed);
}

TEST_F(AppOverPty, UpdateWhileAnEarlyStatusReplyShowsTheUnitIdleSendsNothingUntilTheReadHasEnded) {
  sim::SimConfig config;
  config.unsupported = {"BAUD", "SECURITY"};
  // The unit thinks before each reply: after the early status reply the read has 27
  // settings to go, 2.7 s at the least, for the click below to land in.
  config.replyDelayMs = 100;
  StartSim(std::move(config));
  window_.Create();  // COM1 may or may not open; the unit's port is chosen next
  surface_.ClearMessageBoxes();
  ASSERT_TRUE(app_.StartWorker());
  ASSERT_TRUE(window_.BeginSerialPortDialog());
  ASSERT_TRUE(window_.ApplySerialPortChoice(sim_->SlavePath().c_str(), 9600, 8, 1, 'N'));
  window_.EndSerialPortDialog();

  // BAUD is refused first: the STAT that follows the ERR is answered in mid-read.
  ASSERT_TRUE(WaitForUnitIdle()) << "status " << int{window_.GetStatusState()};
  const size_t mark = LinesReceived();
  window_.OnCommand(ids::kUpdateSettings, kBnClicked);
  ASSERT_TRUE(CAppWindowTestAccess::FullReadActive(window_)) << "the click landed in the middle of the read";
  ASSERT_EQ(surface_.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface_.MessageBoxes()[0].text,
            "The VQX-2 settings are still being read. Please wait until the read has finished.");
  EXPECT_FALSE(surface_.TimerRunning(ids::kRebootTimer));

  ASSERT_TRUE(WaitUntil([&] { return window_.IsReadFinished(); }, 20s)) << "status " << int{window_.GetStatusState()};
  // SECURITY was refused as well: its never-filled check boxes (248) are no change.
  window_.OnCommand(ids::kUpdateSettings, kBnClicked);
  ASSERT_EQ(surface_.MessageBoxes().size(), 2u);
  EXPECT_EQ(surface_.MessageBoxes()[1].text, "No settings have been changed");
  EXPECT_FALSE(surface_.TimerRunning(ids::kRebootTimer));
  std::this_thread::sleep_for(std::chrono::milliseconds(kReplyTimeoutMs));
  const std::vector<std::string> sent = LinesSince(mark);
  EXPECT_THAT(sent, Not(Contains("SAVE")));
  EXPECT_THAT(sent, Not(Contains(StartsWith("SECURITY "))));
  EXPECT_THAT(sent, Contains("VSENSE")) << "the read went on to its end";
}

}  // namespace
}  // namespace vqx
