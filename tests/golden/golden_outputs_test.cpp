// What the program writes for people and other programs, byte for byte against the files
// in tests/golden/data: the settings report, snapshot JSON, differences, the History and
// address book exports (JSON and CSV, through vqxctl), and the preferences file the
// desktop logic and vqxctl leave after a fixed sequence of changes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/app_window_access.h"
#include "app/preferences_block.h"
#include "app/settings_report.h"
#include "commands.h"
#include "core/app/app_fixture.h"
#include "golden/golden_file.h"
#include "golden/golden_records.h"
#include "snapshot.h"
#include "support/vqxctl_runner.h"

namespace vqx::testing {
namespace {

// A folder of its own per test, the working folder while the test runs: files are named
// relative to it, so that no output (nor the width of a column naming a file) depends on
// where the folder is.
class GoldenFiles : public ::testing::Test {
 protected:
  GoldenFiles() { std::filesystem::current_path(dir_); }
  ~GoldenFiles() override {
    std::error_code ignored;
    std::filesystem::current_path(home_, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }

  // Writes name in the test's folder and returns its name.
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return name;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  // The folder's path replaced by "<dir>", nothing else.
  std::string Masked(std::string text) const {
    const std::string dir = dir_.string();
    for (size_t at = text.find(dir); at != std::string::npos; at = text.find(dir, at)) text.replace(at, dir.size(), "<dir>");
    return text;
  }
  // vqxctl's exit code, standard output and standard error, in one text.
  std::string Run(const std::vector<std::string>& args) {
    const VqxctlOutcome run = RunVqxctlHere(args);
    std::string text = "$ vqxctl";
    for (const std::string& a : args) text += " " + a;
    text += "\nexit " + std::to_string(run.code) + "\n--- out\n" + run.out + "--- err\n" + run.err + "--- end\n";
    return Masked(text);
  }

  static std::filesystem::path MakeDirectory() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqx-golden-" + std::to_string(::getpid()) + "-" +
                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path home_ = std::filesystem::current_path();
  std::filesystem::path dir_ = MakeDirectory();
};

std::unique_ptr<PreferencesBlock> BlockWithEveryRecord() {
  auto block = std::make_unique<PreferencesBlock>();
  std::memset(block.get(), 0, sizeof(PreferencesBlock));
  block->formatMark = 17;
  block->view = 4;
  block->baudRate = 19200;
  block->dataBits = 8;
  block->stopBits = 1;
  block->parity = 'N';
  std::strcpy(block->portName, "ttyUSB0");
  const std::vector<NamedRecord> records = GoldenRecords();
  for (size_t i = 0; i < records.size(); ++i) block->history[i] = records[i].settings;
  block->historyCount = static_cast<int32_t>(records.size());
  // Descriptions a spreadsheet or a JSON reader must be careful with.
  const char* connections[][2] = {{"10.0.0.5", "Tower"},
                                  {"192.168.1.20", "Hill, top \"north\""},
                                  {"10.1.2.3", "=SUM(A1)"},
                                  {"172.16.0.1", "'quoted"},
                                  {"255.255.255.255", "Caf\xe9 \xff"},
                                  {"0.0.0.0", "-1"}};
  for (size_t i = 0; i < std::size(connections); ++i) {
    std::strcpy(block->connectionAddresses[i], connections[i][0]);
    std::strcpy(block->connectionDescriptions[i], connections[i][1]);
  }
  block->connectionCount = static_cast<int32_t>(std::size(connections));
  return block;
}

std::string Bytes(const PreferencesBlock& block) {
  return std::string(reinterpret_cast<const char*>(&block), sizeof block);
}

TEST_F(GoldenFiles, SettingsReportOfEachRecordAndOfTheWholeHistory) {
  std::string text;
  for (const NamedRecord& r : GoldenRecords()) {
    text += "=== " + r.label + "\n";
    text += "list line: " + snapshot::HistoryListLine(r.settings) + "\n";
    text += FormatSettingsReport({&r.settings, 1});
  }
  const auto block = BlockWithEveryRecord();
  std::string error;
  const auto all = snapshot::HistoryReport(*block, 0, &error);
  ASSERT_TRUE(all) << error;
  text += "=== (All)\n" + *all;
  ExpectGoldenText("settings_report.txt", text);
}

TEST_F(GoldenFiles, SnapshotJsonOfEachRecordWithAndWithoutUnsupportedSettingsAndRecordBytes) {
  std::string text;
  for (const NamedRecord& r : GoldenRecords()) {
    text += "=== " + r.label + "\n" + snapshot::DumpJson(snapshot::ToJson(r.settings));
  }
  const std::vector<std::string> unsupported = {"DSCP", "vocoder", "SECURITY", "MYIP"};
  text += "=== sample, four settings unsupported\n" +
          snapshot::DumpJson(snapshot::ToJson(SampleSettings(), unsupported));
  text += "=== sample with its record\n" + snapshot::DumpJson(snapshot::ToJsonWithRecord(SampleSettings()));
  text += "=== from a foreign file with its record\n" + snapshot::DumpJson(snapshot::ToJsonWithRecord(OddRecord(0x5A)));
  ExpectGoldenText("snapshot_json.txt", text);
}

TEST_F(GoldenFiles, DifferencesBetweenNeighbouringRecordsAsTextAndThroughVqxctlDiff) {
  const std::vector<NamedRecord> records = GoldenRecords();
  std::string text;
  for (size_t i = 0; i + 1 < records.size(); ++i) {
    text += "=== " + records[i].label + " -> " + records[i + 1].label + "\n";
    text += cli::FormatDifferences(snapshot::Diff(records[i].settings, records[i + 1].settings), records[i].label,
                                   records[i + 1].label);
  }
  const std::string left = Write("left.json", snapshot::DumpJson(snapshot::ToJson(records[0].settings)));
  const std::string right = Write("right.json", snapshot::DumpJson(snapshot::ToJson(ChoiceRecord(3))));
  const std::string unlisted = Write("unlisted.json", snapshot::DumpJson(snapshot::ToJson(UnlistedRecord())));
  const std::string partial = Write("partial.json", R"({ "name": "Tower East", "hangTime": 0, "allowTelnet": true })");
  text += Run({"diff", left, right});
  text += Run({"diff", left, right, "--format", "json"});
  text += Run({"diff", left, partial});
  text += Run({"diff", left, left, "--format", "json"});
  text += Run({"diff", left, unlisted});
  ExpectGoldenText("differences.txt", text);
}

TEST_F(GoldenFiles, HistoryAndAddressBookExportsThroughVqxctl) {
  const auto block = BlockWithEveryRecord();
  const std::string prefs = Write("prefs.cfg", Bytes(*block));
  const auto exported = [&](const std::vector<std::string>& args) {
    const VqxctlOutcome run = RunVqxctlHere(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return run.out;
  };
  ExpectGoldenText("history_export.json", exported({"history", "export", "--prefs", prefs, "--format", "json"}));
  ExpectGoldenText("history_export.csv", exported({"history", "export", "--prefs", prefs, "--format", "csv"}));
  ExpectGoldenText("connections_export.json",
                   exported({"connections", "export", "--prefs", prefs, "--format", "json"}));
  ExpectGoldenText("connections_export.csv", exported({"connections", "export", "--prefs", prefs, "--format", "csv"}));

  std::string text;
  text += Run({"history", "list", "--prefs", prefs});
  text += Run({"history", "show", "all", "--prefs", prefs});
  text += Run({"history", "show", "8", "--prefs", prefs, "--format", "json"});
  text += Run({"history", "show", "13", "--prefs", prefs});
  text += Run({"connections", "list", "--prefs", prefs});
  text += Run({"connections", "list", "--prefs", prefs, "--format", "json"});
  ExpectGoldenText("history_commands.txt", text);
  EXPECT_EQ(Read(prefs), Bytes(*block)) << "showing and exporting never write";
}

// vqxctl's changes to a preferences file: only the bytes they own change.
TEST_F(GoldenFiles, PreferencesFileAfterVqxctlChangesTheAddressBookAndImportsHistory) {
  auto block = BlockWithEveryRecord();
  block->historyCount = 2;
  std::fill(block->history + 2, block->history + kHistoryCapacity, DeviceSettings{});
  block->reserved1[1] = 0x11;  // bytes no program owns travel unchanged
  block->reserved2[2] = 0x22;
  const std::string prefs = Write("VQXSU_Prefs.cfg", Bytes(*block));
  nlohmann::json entries = nlohmann::json::array();
  entries.push_back(snapshot::ToJsonWithRecord(UnlistedRecord()));
  entries.push_back(snapshot::ToJson(Latin1Record()));
  entries.push_back(nlohmann::json::parse(R"({ "name": "Only a name", "hangTime": 0 })"));
  const std::string import = Write("import.json", snapshot::DumpJson(entries));
  const std::string book = Write("book.csv", "address,description\r\n10.9.8.7,\"Comma, inside\"\r\n10.9.8.6,'=2+2\r\n");

  std::string text;
  text += Run({"connections", "add", "10.1.2.30", "Relay North", "--prefs", prefs});
  text += Run({"connections", "edit", "10.1.2.30", "--address", "10.1.2.31", "--description", "Relay North (mast 2)",
               "--prefs", prefs});
  text += Run({"connections", "remove", "10.0.0.5", "--prefs", prefs});
  text += Run({"connections", "add", "10.0.0.5", "Tower again", "--prefs", prefs});
  text += Run({"history", "import", import, "--prefs", prefs});
  const std::string afterEdits = Read(prefs);
  text += Run({"connections", "import", book, "--prefs", prefs, "--format", "csv"});
  ExpectGoldenText("vqxctl_prefs_commands.txt", text);
  ExpectGoldenBytes("vqxctl_prefs_after_edits.hex", afterEdits);
  ExpectGoldenBytes("vqxctl_prefs_after_book_import.hex", Read(prefs));
}

// The desktop logic's preferences file after a fixed sequence of History, line setting
// and remote connection changes, and the History reports it shows and saves.
class GoldenDesktopPrefs : public AppScriptedTest {
 protected:
  void FillEntry(DialogDriver& d, const std::array<const char*, 4>& octets, const std::string& description) {
    d.Type(ids::kConnectionIp1, octets[0]);
    d.Type(ids::kConnectionIp2, octets[1]);
    d.Type(ids::kConnectionIp3, octets[2]);
    d.Type(ids::kConnectionIp4, octets[3]);
    d.Type(ids::kConnectionDescription, description);
  }
  void AddConnection(const std::array<const char*, 4>& octets, const std::string& description) {
    dialogs.Expect([](DialogDriver& list) {
      list.Click(ids::kConnectionAdd);
      list.Click(ids::kDialogClose);
    });
    dialogs.Expect([&, octets, description](DialogDriver& add) {
      FillEntry(add, octets, description);
      EXPECT_TRUE(add.Click(ids::kDialogOk));
    });
    Click(ids::kMenuRemoteConnections);
    EXPECT_TRUE(dialogs.AllRun());
  }
  std::string SelectHistoryLine(int line) {
    surface.SetCurrentSelection(ids::kHistoryList, line);
    window.OnCommand(ids::kHistoryList, kLbnSelChange);
    return surface.Text(ids::kReportPane);
  }
};

TEST_F(GoldenDesktopPrefs, FileAndReportsAfterHistoryLineSettingsAndConnectionChanges) {
  surface.SetMessageBoxAnswerer([](const HeadlessSurface::MessageBoxRecord& box) {
    return box.buttons == MessageButtons::YesNo ? kAnswerYes : kAnswerOk;
  });
  ASSERT_TRUE(window.Create());
  window.SetHostSerialSettings("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", 57600, 7, 2, 'O');
  Click(ids::kViewHistory);
  const std::vector<NamedRecord> records = GoldenRecords();
  for (const NamedRecord& r : records) {
    CAppWindowTestAccess::SetCurrentSettings(window, r.settings);
    // A foreign record's serial number may fill its field without a terminator.
    Type(ids::kSerialNumberEntry,
         std::string(r.settings.serialNumber, strnlen(r.settings.serialNumber, sizeof r.settings.serialNumber)));
    Click(ids::kAddCurrent);
  }
  surface.SetCurrentSelection(ids::kHistoryList, 3);
  Click(ids::kRemove);
  surface.SetCurrentSelection(ids::kHistoryList, static_cast<int>(records.size()) - 1);
  Click(ids::kRemove);
  AddConnection({"10", "0", "0", "5"}, "Tower");
  AddConnection({"192", "168", "1", "20"}, "Hill, top \"north\"");
  AddConnection({"10", "1", "2", "3"}, "Caf\xe9");
  dialogs.Expect([](DialogDriver& list) {
    list.Select(ids::kConnectionList, 0);
    list.Click(ids::kConnectionRemove);
    list.Click(ids::kDialogClose);
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());

  ExpectGoldenBytes("desktop_prefs.hex", files.Content(kPreferencesFileName));

  std::string text = "=== list\n";
  for (const std::string& item : surface.Items(ids::kHistoryList)) text += item + "\n";
  text += "=== entry 2\n" + SelectHistoryLine(2);
  text += "=== (All)\n" + SelectHistoryLine(0);
  Click(ids::kSaveHistory);
  text += "=== History.txt\n" + files.Content("History.txt");
  ExpectGoldenText("desktop_history_reports.txt", text);
}

}  // namespace
}  // namespace vqx::testing
