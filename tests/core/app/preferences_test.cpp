#include "support/app_window_access.h"
#include "core/app/history_entries.h"

#include <set>

namespace vqx::testing {
namespace {

class PreferencesTest : public AppScriptedTest {
 protected:
  // A second start of the program over the same files.
  struct Restart {
    explicit Restart(PreferencesTest& t) : services{clock, t.files, t.wallClock} {}
    FakeSerialPort port;
    HeadlessSurface surface;
    FakeClock clock;
    CSerialComm comm{port, clock};
    AppServices services;
    CAppWindow window{comm, surface, services};
  };
  void PutFile(const PreferencesBlock& block, size_t size = sizeof(PreferencesBlock)) {
    files.Put(kPreferencesFileName, std::string(reinterpret_cast<const char*>(&block), size));
  }
  bool HasDefaults() {
    const PreferencesBlock p = window.GetPreferences();
    return p.formatMark == 17 && p.view == 1 && p.baudRate == 9600 && p.dataBits == 8 && p.stopBits == 1 &&
           p.parity == 'N' && std::string(p.portName) == "COM1" && p.connectionCount == 0 && p.historyCount == 0;
  }
};

TEST_F(PreferencesTest, SavedFileIsTheBlockAtFixedOffsetsAndTheNextStartRestoresIt) {
  ASSERT_TRUE(window.Create());
  EXPECT_TRUE(HasDefaults());
  EXPECT_EQ(port.openedName, "COM1");
  EXPECT_FALSE(files.Has(kPreferencesFileName));  // nothing until the first save
  Click(ids::kViewTerminal);
  window.SetHostSerialSettings("ttyUSB0", 19200, 7, 2, 'E');
  DeviceSettings entries[2] = {MakeEntry("", "Tower", 5), MakeEntry("", "Mast", 6)};
  entries[0].padding1[1] = 0x5A;  // padding travels with the record
  for (DeviceSettings& entry : entries) {
    CAppWindowTestAccess::SetCurrentSettings(window, entry);
    Type(ids::kSerialNumberEntry, &entry == entries ? "A17" : "B2");
    Click(ids::kAddCurrent);
    std::strcpy(entry.serialNumber, &entry == entries ? "A17" : "B2");
  }
  const std::string file = files.Content(kPreferencesFileName);
  ASSERT_EQ(file.size(), 86368u);
  EXPECT_EQ(file[0], 17);
  EXPECT_EQ(Int32At(file, 4), kViewTerminal);
  EXPECT_EQ(Int32At(file, 8), 19200);
  EXPECT_EQ(Int32At(file, 12), 7);
  EXPECT_EQ(Int32At(file, 16), 2);
  EXPECT_EQ(file.substr(20, 9), std::string("EttyUSB0\0", 9));
  EXPECT_EQ(Int32At(file, 20760), 0);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(file.substr(20764 + 328 * i, 328), std::string(reinterpret_cast<const char*>(&entries[i]), 328));
  }
  EXPECT_EQ(Int32At(file, 86364), 2);

  Restart next(*this);
  ASSERT_TRUE(next.window.Create());
  EXPECT_EQ(next.port.openedName, "ttyUSB0");
  EXPECT_EQ(next.port.openedSettings.baudRate, 19200);
  EXPECT_TRUE(next.surface.Checked(ids::kViewTerminal));
  EXPECT_EQ(next.surface.Items(ids::kHistoryList),
            (std::vector<std::string>{"(All)", "A17 Tower (10.0.0.5:1221)", "B2 Mast (10.0.0.6:1221)"}));
}

TEST_F(PreferencesTest, DamagedFilesGiveDefaultsOrBoundedValuesAndLoadingNeverWrites) {
  auto block = std::make_unique<PreferencesBlock>();
  std::memset(block.get(), 0, sizeof(PreferencesBlock));
  block->formatMark = 17;
  block->baudRate = 38400;
  PutFile(*block, sizeof(PreferencesBlock) - 1);  // short, though marked
  window.LoadPreferences();
  EXPECT_TRUE(HasDefaults());
  files.unreadable = true;
  window.LoadPreferences();
  EXPECT_TRUE(HasDefaults());
  files.unreadable = false;

  block->formatMark = 18;
  PutFile(*block);
  window.LoadPreferences();
  EXPECT_TRUE(HasDefaults());
  EXPECT_EQ(files.replaces, 0);
  ASSERT_TRUE(window.SavePreferences());
  EXPECT_EQ(files.Content(kPreferencesFileName).substr(0, 9), std::string("\x11\0\0\0\x01\0\0\0\x80", 9));

  block->formatMark = 17;
  std::memset(block->portName, 'P', sizeof(block->portName));
  std::memset(block->connectionAddresses[1], '1', 16);
  std::memset(block->connectionDescriptions[1], 'd', 64);
  for (const auto& [view, connections, history, want] : std::vector<std::tuple<int32_t, int32_t, int32_t, std::string>>{
           {3, 1000, 500, "1 256 200"}, {0, -1, -3, "1 0 0"}, {4, 256, 200, "4 256 200"}, {2, 2, 7, "2 2 7"}}) {
    block->view = view, block->connectionCount = connections, block->historyCount = history;
    PutFile(*block);
    window.LoadPreferences();
    const PreferencesBlock p = window.GetPreferences();
    EXPECT_EQ(std::to_string(p.view) + " " + std::to_string(p.connectionCount) + " " + std::to_string(p.historyCount),
              want);
    EXPECT_EQ(p.baudRate, 38400);
    EXPECT_EQ(std::string(p.portName), std::string(255, 'P'));
    if (p.connectionCount < 2) continue;  // texts past the count are never read
    EXPECT_EQ(std::string(p.connectionAddresses[1]), std::string(15, '1'));
    EXPECT_EQ(std::string(p.connectionDescriptions[1]), std::string(63, 'd'));
  }
}

TEST_F(PreferencesTest, LongestPortNameRoundTripsRepeatedSavesMatchAndAFailedSaveKeepsTheFile) {
  ASSERT_TRUE(window.Create());
  const std::string longName(255, 'x');
  window.SetHostSerialSettings(longName.c_str(), 9600, 8, 1, 'N');
  ASSERT_TRUE(window.SavePreferences());
  const std::string first = files.Content(kPreferencesFileName);
  ASSERT_TRUE(window.SavePreferences());
  EXPECT_EQ(files.Content(kPreferencesFileName), first);
  Restart next(*this);
  next.window.LoadPreferences();
  EXPECT_EQ(std::string(next.window.GetPreferences().portName), longName);

  window.SetHostSerialSettings("ttyS9", 115200, 8, 1, 'N');
  files.failWrites = true;
  EXPECT_FALSE(window.SavePreferences());
  EXPECT_EQ(files.Content(kPreferencesFileName), first);
}

TEST_F(PreferencesTest, TheFileIsHeldWhileRunningAndANewOneIsTheUsersAlone) {
  ASSERT_TRUE(window.Create());
  EXPECT_EQ(files.held, std::set<std::string>{kPreferencesFileName});
  EXPECT_TRUE(files.lockWaits.empty()) << "no file yet: nothing to lock, and no lock file made at a start";
  ASSERT_TRUE(window.SavePreferences());
  // It holds every History entry's web password.
  EXPECT_EQ(files.accessOf.at(kPreferencesFileName), NewFileAccess::OwnerOnly);
  EXPECT_EQ(files.lockWaits.size(), 1u);
  // An existing file is read and held in one turn, so no vqxctl slips in between.
  Restart next(*this);
  ASSERT_TRUE(next.window.Create());
  EXPECT_EQ(files.lockWaits.size(), 2u);
  EXPECT_EQ(files.replacesWithoutLock, 0);
}

// Another program (vqxctl history import) saved the file while this window had it open.
class ChangedOnDiskTest : public PreferencesTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.Create());
    CAppWindowTestAccess::SetCurrentSettings(window, MakeEntry("", "a", 1));
    Type(ids::kSerialNumberEntry, "A");
    Click(ids::kAddCurrent);
    // The import appends X and Y to the file as it was saved here.
    PreferencesBlock imported = window.GetPreferences();
    imported.history[1] = MakeEntry("X", "x", 8);
    imported.history[2] = MakeEntry("Y", "y", 9);
    imported.historyCount = 3;
    PutFile(imported);
    CAppWindowTestAccess::SetCurrentSettings(window, MakeEntry("", "n", 2));
    Type(ids::kSerialNumberEntry, "N");
  }
  void Answer(int answer) {
    surface.SetMessageBoxAnswerer([this, answer](const HeadlessSurface::MessageBoxRecord& box) {
      questions.push_back(box);
      return answer;
    });
  }
  std::string FileSerials() {
    const std::string file = files.Content(kPreferencesFileName);
    PreferencesBlock block{};
    std::memcpy(&block, file.data(), sizeof(block));
    std::string serials;
    for (int32_t i = 0; i < block.historyCount; ++i) serials += block.history[i].serialNumber;
    return serials;
  }
  std::vector<HeadlessSurface::MessageBoxRecord> questions;
};

TEST_F(ChangedOnDiskTest, ReloadTakesTheOtherProgramsEntriesBeforeAddCurrentAppends) {
  Answer(kAnswerYes);
  Click(ids::kAddCurrent);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(questions[0].icon, MessageIcon::Warning);
  EXPECT_NE(questions[0].text.find("changed by another program"), std::string::npos);
  EXPECT_EQ(FileSerials(), "AXYN");
  EXPECT_EQ(surface.Items(ids::kHistoryList),
            (std::vector<std::string>{"(All)", "A a (10.0.0.1:1221)", "X x (10.0.0.8:1221)", "Y y (10.0.0.9:1221)",
                                      "N n (10.0.0.2:1221)"}));
  Click(ids::kAddCurrent);  // nothing changed since: no second question
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(FileSerials(), "AXYNN");
}

TEST_F(ChangedOnDiskTest, KeepingItsOwnOverwritesOnceAndAskedOnlyOncePerChange) {
  Answer(kAnswerNo);
  Click(ids::kAddCurrent);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(FileSerials(), "AN");
  ASSERT_TRUE(window.SavePreferences());
  EXPECT_EQ(questions.size(), 1u);
}

TEST_F(ChangedOnDiskTest, RemoveAfterAReloadRemovesNothingSoTheUserChoosesAgain) {
  Answer(kAnswerYes);
  surface.SetCurrentSelection(ids::kHistoryList, 1);
  Click(ids::kRemove);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(surface.ItemCount(ids::kHistoryList), 4);
  EXPECT_EQ(surface.Selection(ids::kHistoryList), -1);
  EXPECT_EQ(FileSerials(), "AXY");
}

TEST_F(ChangedOnDiskTest, EverySaveChecksFirstAndKeepsTheLineSettingsInUse) {
  Answer(kAnswerYes);
  window.SetHostSerialSettings("ttyUSB3", 19200, 8, 1, 'N');
  ASSERT_TRUE(window.SavePreferences());  // as Update Settings, Reset and the port dialog save
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(FileSerials(), "AXY");
  const PreferencesBlock p = window.GetPreferences();
  EXPECT_EQ(std::string(p.portName), "ttyUSB3");
  EXPECT_EQ(p.baudRate, 19200);
}

// Another program's save between the question and this one's write is never written over:
// the entry is taken back, the user is told, and the next save asks about the change.
TEST_F(ChangedOnDiskTest, AChangeLandingJustBeforeTheWriteIsKeptAndOursIsTakenBack) {
  Answer(kAnswerYes);
  ASSERT_TRUE(window.SavePreferences());  // the import is taken in: "AXY"
  questions.clear();
  files.beforeLockGranted = [this] {
    PreferencesBlock other = window.GetPreferences();
    other.history[3] = MakeEntry("Z", "z", 7);
    other.historyCount = 4;
    PutFile(other);
  };
  Click(ids::kAddCurrent);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].buttons, MessageButtons::Ok);
  EXPECT_NE(questions[0].text.find("changed by another program just now"), std::string::npos) << questions[0].text;
  EXPECT_NE(questions[0].text.find("The entry was not added."), std::string::npos) << questions[0].text;
  EXPECT_EQ(FileSerials(), "AXYZ");
  EXPECT_EQ(surface.ItemCount(ids::kHistoryList), 4);  // "(All)" and A, X, Y: N taken back

  questions.clear();
  Click(ids::kAddCurrent);  // asked about Z, then appended after it
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(FileSerials(), "AXYZN");
  EXPECT_EQ(files.replacesWithoutLock, 0);
}

TEST_F(ChangedOnDiskTest, AHolderThatKeepsTheFileIsNamedAndTheSaveIsRefusedWithoutWriting) {
  Answer(kAnswerNo);
  files.lockedBy = "vqxctl (process 4711)";
  const int replacesBefore = files.replaces;
  Click(ids::kAddCurrent);
  ASSERT_EQ(questions.size(), 2u);  // the change on disk, then the refusal
  EXPECT_EQ(questions[1].text,
            "The preferences could not be saved in VQXSU_Prefs.cfg: vqxctl (process 4711) is changing it and did not "
            "finish within 5 seconds.\rThe entry was not added.");
  EXPECT_EQ(files.replaces, replacesBefore);
  EXPECT_EQ(FileSerials(), "AXY");  // the other program's import stands
  EXPECT_EQ(surface.ItemCount(ids::kHistoryList), 2);  // "(All)" and A
  EXPECT_EQ(files.lockWaits.back(), kPreferencesLockWaitMs);

  files.lockedBy.clear();
  questions.clear();
  Click(ids::kAddCurrent);
  EXPECT_EQ(FileSerials(), "AN");  // the user chose to keep this window's list
  EXPECT_EQ(files.replacesWithoutLock, 0);
}

}  // namespace
}  // namespace vqx::testing
