#include "support/app_window_access.h"
#include "core/app/history_entries.h"

namespace vqx::testing {
namespace {

constexpr const char* kLogName = "VQX-2 Comm Sun Dec 06 22=10=04 2026.txt";

class HistoryTest : public HistoryFixture {
 protected:
  std::string Serials() {
    std::string serials;
    const PreferencesBlock prefs = window.GetPreferences();
    for (int32_t i = 0; i < prefs.historyCount; ++i) serials += prefs.history[i].serialNumber;
    return serials;
  }
  // The History count the preferences file holds; -1 when it holds no whole block.
  int32_t CountInFile() {
    const std::string file = files.Content(kPreferencesFileName);
    return file.size() == sizeof(PreferencesBlock) ? Int32At(file, 86364) : -1;
  }
  void Remove(int line) {
    surface.SetCurrentSelection(ids::kHistoryList, line);
    Click(ids::kRemove);
  }
};

TEST_F(HistoryTest, AddCurrentAppendsTheTaggedSettingsAndSavesUntilTheListIsFull) {
  CAppWindowTestAccess::SetCurrentSettings(window, MakeEntry("", "Tower", 5));
  Type(ids::kSerialNumberEntry, "A17");
  Click(ids::kAddCurrent);
  Type(ids::kSerialNumberEntry, "ABCDEFGHIJKLMN");
  Click(ids::kAddCurrent);
  Type(ids::kSerialNumberEntry, "");
  Click(ids::kAddCurrent);
  EXPECT_EQ(surface.Items(ids::kHistoryList),
            (std::vector<std::string>{"(All)", "A17 Tower (10.0.0.5:1221)", "ABCDEFGHIJ Tower (10.0.0.5:1221)",
                                      " Tower (10.0.0.5:1221)"}));
  EXPECT_EQ(Serials(), "A17ABCDEFGHIJ");
  EXPECT_EQ(Int32At(files.Content(kPreferencesFileName), 86364), 3);

  Store(std::vector<DeviceSettings>(kHistoryCapacity, MakeEntry("S", "Unit", 1)));
  const int saves = files.replaces;
  Click(ids::kAddCurrent);
  EXPECT_EQ(LastBox(), "The history list is already full [warning]");
  EXPECT_EQ(window.GetPreferences().historyCount, kHistoryCapacity);
  EXPECT_EQ(surface.ItemCount(ids::kHistoryList), 201);
  EXPECT_EQ(files.replaces, saves);
}

TEST_F(HistoryTest, RemoveMovesTheLastEntryIntoTheGapAndSavesAtOnce) {
  const std::vector<DeviceSettings> abcd = {MakeEntry("A", "a", 1), MakeEntry("B", "b", 2), MakeEntry("C", "c", 3),
                                            MakeEntry("D", "d", 4)};
  Store(abcd);
  Remove(0);   // "(All)"
  Remove(-1);  // nothing selected
  EXPECT_EQ(Serials(), "ABCD");
  EXPECT_EQ(files.replaces, 0);
  Remove(2);
  EXPECT_EQ(Serials(), "ADC");
  EXPECT_EQ(surface.Items(ids::kHistoryList),
            (std::vector<std::string>{"(All)", "A a (10.0.0.1:1221)", "D d (10.0.0.4:1221)", "C c (10.0.0.3:1221)"}));
  EXPECT_EQ(surface.Selection(ids::kHistoryList), -1);
  // The removal is in the file, so a restart does not bring B back.
  EXPECT_EQ(CountInFile(), 3);
  Store(abcd);
  Remove(4);
  EXPECT_EQ(Serials(), "ABC");
  Store({abcd[0]});
  Remove(1);
  EXPECT_EQ(Serials(), "");
  EXPECT_EQ(surface.Items(ids::kHistoryList), std::vector<std::string>{"(All)"});
  EXPECT_EQ(CountInFile(), 0);
  EXPECT_EQ(files.replaces, 3);
  EXPECT_EQ(surface.MessageBoxes().size(), 0u);
}

TEST_F(HistoryTest, AddOrRemoveThatCannotBeSavedIsTakenBackAndTheReasonShown) {
  CAppWindowTestAccess::SetCurrentSettings(window, MakeEntry("", "Tower", 5));
  Click(ids::kAddCurrent);
  const std::string saved = files.Content(kPreferencesFileName);
  files.failWrites = true;  // the disk is full
  Click(ids::kAddCurrent);
  EXPECT_EQ(LastBox(),
            "The preferences could not be saved in VQXSU_Prefs.cfg: the disk is full.\rThe entry was not added. "
            "[warning]");
  EXPECT_EQ(window.GetPreferences().historyCount, 1);
  EXPECT_EQ(surface.Items(ids::kHistoryList), (std::vector<std::string>{"(All)", " Tower (10.0.0.5:1221)"}));

  const std::vector<DeviceSettings> abc = {MakeEntry("A", "a", 1), MakeEntry("B", "b", 2), MakeEntry("C", "c", 3)};
  Store(abc);
  files.writeProblem = FileProblem::ReadOnlyFileSystem;
  Remove(1);
  EXPECT_EQ(LastBox(),
            "The preferences could not be saved in VQXSU_Prefs.cfg: the file system is read-only.\rThe entry was not "
            "removed. [warning]");
  EXPECT_EQ(Serials(), "ABC");
  EXPECT_EQ(surface.ItemCount(ids::kHistoryList), 4);
  Store({abc[0]});
  Remove(1);
  EXPECT_EQ(Serials(), "A");
  EXPECT_EQ(surface.Items(ids::kHistoryList), (std::vector<std::string>{"(All)", "A a (10.0.0.1:1221)"}));
  EXPECT_EQ(files.Content(kPreferencesFileName), saved);
}

// Every entry holds the unit's web password: what the list no longer shows must not stay
// in the file past the count, whether removed, moved into a gap or never saved.
TEST_F(HistoryTest, RemovedEntriesLeaveNoBytesBehindTheCountInTheFile) {
  constexpr size_t kHistoryAt = 86364 - kHistoryCapacity * sizeof(DeviceSettings);
  const auto withPassword = [](const char* serial, uint8_t octet, const char* password) {
    DeviceSettings s = MakeEntry(serial, "unit", octet);
    std::strncpy(s.webPassword, password, sizeof(s.webPassword) - 1);
    return s;
  };
  const auto slotsFromCountAreZero = [&](const std::string& file) {
    const size_t from = kHistoryAt + static_cast<size_t>(Int32At(file, 86364)) * sizeof(DeviceSettings);
    return file.find_first_not_of('\0', from) >= 86364;  // up to the count itself
  };
  const std::vector<DeviceSettings> abc = {withPassword("A", 1, "pw-alpha"), withPassword("B", 2, "pw-bravo"),
                                           withPassword("C", 3, "pw-charlie")};
  for (const int line : {2, 3}) {  // from the middle (C moves into the gap), and the last one
    Store(abc);
    Remove(line);
    const std::string file = files.Content(kPreferencesFileName);
    ASSERT_EQ(Int32At(file, 86364), 2);
    EXPECT_EQ(file.find(abc[static_cast<size_t>(line - 1)].webPassword), std::string::npos) << line;
    EXPECT_TRUE(slotsFromCountAreZero(file)) << line;
  }
  Store({abc[0]});
  Remove(1);
  EXPECT_EQ(files.Content(kPreferencesFileName).find("pw-alpha"), std::string::npos);
  EXPECT_TRUE(slotsFromCountAreZero(files.Content(kPreferencesFileName)));

  // A removal or an addition that could not be saved is taken back whole; a later save
  // writes neither the entry that was not added nor a lost one.
  Store(abc);
  files.failWrites = true;
  Remove(2);
  EXPECT_EQ(Serials(), "ABC");
  EXPECT_STREQ(window.GetPreferences().history[2].webPassword, "pw-charlie");
  CAppWindowTestAccess::SetCurrentSettings(window, withPassword("D", 4, "pw-delta"));
  Click(ids::kAddCurrent);
  files.failWrites = false;
  Remove(3);
  const std::string file = files.Content(kPreferencesFileName);
  EXPECT_NE(file.find("pw-bravo"), std::string::npos);
  EXPECT_EQ(file.find("pw-charlie"), std::string::npos);
  EXPECT_EQ(file.find("pw-delta"), std::string::npos);
  EXPECT_TRUE(slotsFromCountAreZero(file));
}

TEST_F(HistoryTest, CommunicationLogIsNamedAfterTheUtcTimeAndReportsAFailedWrite) {
  Click(ids::kSaveCommunication);
  EXPECT_TRUE(files.Has(kLogName));
  EXPECT_EQ(LastBox(), std::string("Communication saved in file:\r") + kLogName);
  for (const auto& [seconds, name] : std::vector<std::pair<int64_t, const char*>>{
           {0, "VQX-2 Comm Thu Jan 01 00=00=00 1970.txt"}, {-1, "VQX-2 Comm Wed Dec 31 23=59=59 1969.txt"},
           {951782400, "VQX-2 Comm Tue Feb 29 00=00=00 2000.txt"},
           {4107542400, "VQX-2 Comm Mon Mar 01 00=00=00 2100.txt"}}) {
    wallClock.seconds = seconds;
    Click(ids::kSaveCommunication);
    EXPECT_TRUE(files.Has(name)) << name;
  }
  files.failWrites = true;
  wallClock.seconds = 1796595004;
  Click(ids::kSaveCommunication);
  EXPECT_EQ(LastBox(), std::string("Error opening file\r") + kLogName + ": the disk is full [warning]");
}

TEST_F(HistoryTest, CommunicationLogHoldsOnlyTheMostRecentOutputUpTo1199Characters) {
  std::string sent;
  for (int i = 0; sent.size() < 1500; ++i) {
    const std::string line = "line " + std::to_string(i) + "\r\n";
    window.AppendOutput(line.c_str());
    sent += line;
  }
  Click(ids::kSaveCommunication);
  const std::string log = files.Content(kLogName);
  EXPECT_EQ(log, window.GetOutputLog());
  EXPECT_LE(log.size(), 1199u);
  EXPECT_GT(log.size(), 1199u - 10);  // the oldest give way a line at a time
  EXPECT_EQ(log, sent.substr(sent.size() - log.size()));
}

TEST_F(HistoryTest, RemoveTakesTheReportOfTheRemovedEntryOutOfThePaneUnlessTheSaveFailed) {
  Store({MakeEntry("A", "Alpha", 1), MakeEntry("B", "Bravo", 2), MakeEntry("C", "Charlie", 3)});
  surface.SetCurrentSelection(ids::kHistoryList, 2);
  window.OnCommand(ids::kHistoryList, kLbnSelChange);
  ASSERT_NE(surface.Text(ids::kReportPane).find("Bravo"), std::string::npos);

  files.failWrites = true;
  Remove(2);
  EXPECT_EQ(Serials(), "ABC");
  EXPECT_NE(surface.Text(ids::kReportPane).find("Bravo"), std::string::npos) << "not removed, still shown";

  files.failWrites = false;
  Remove(2);
  EXPECT_EQ(Serials(), "AC");
  EXPECT_EQ(surface.Text(ids::kReportPane), "");

  surface.SetCurrentSelection(ids::kHistoryList, 0);  // "(All)"
  window.OnCommand(ids::kHistoryList, kLbnSelChange);
  ASSERT_NE(surface.Text(ids::kReportPane).find("Charlie"), std::string::npos);
  Remove(1);
  EXPECT_EQ(surface.Text(ids::kReportPane), "") << "the report of all entries held the removed one too";
}

TEST_F(HistoryTest, SaveToFileWritesEachPaneLineWithTheLineBreakAndReportsAFailedWrite) {
  const std::string longLine(700, 'x');
  surface.SetText(ids::kReportPane, ("---\r\nName: Tower\r\n\r\n" + longLine + "\r\n---\r\n").c_str());
  Click(ids::kSaveHistory);
  EXPECT_EQ(files.Content("History.txt"), "---\nName: Tower\n\n" + longLine + "\n---\n\n");
  EXPECT_EQ(LastBox(), "Output window saved as \"History.txt\" [info]");

  files.failWrites = true;
  surface.SetText(ids::kReportPane, "other");
  Click(ids::kSaveHistory);
  EXPECT_EQ(LastBox(), "Couldn't open the file History.txt\rthe disk is full [warning]");
  EXPECT_EQ(files.Content("History.txt"), "---\nName: Tower\n\n" + longLine + "\n---\n\n");
}

}  // namespace
}  // namespace vqx::testing
