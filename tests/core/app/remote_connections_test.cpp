// The remote connection list: the checks of an entry, the bytes an edit writes into the
// preferences block, and the dialogs that edit it from the File menu and the status panel.

#include <gmock/gmock.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/connection_dialogs.h"
#include "app/remote_connections.h"
#include "core/app/app_fixture.h"

namespace vqx::testing {
namespace {

using ::testing::HasSubstr;

// File offsets of the list, as the preferences file lays them out.
constexpr size_t kAddressSlot0 = 277;
constexpr size_t kDescriptionSlot0 = 4373;
constexpr size_t kCountOffset = 20760;
size_t AddressOffset(size_t i) { return kAddressSlot0 + 16 * i; }
size_t DescriptionOffset(size_t i) { return kDescriptionSlot0 + 64 * i; }

std::string Bytes(const PreferencesBlock& block) {
  return std::string(reinterpret_cast<const char*>(&block), sizeof(PreferencesBlock));
}

int32_t CountIn(const std::string& bytes) {
  int32_t count;
  std::memcpy(&count, bytes.data() + kCountOffset, 4);
  return count;
}

// Every byte outside the given ranges is the same in both.
void ExpectSameOutside(const std::string& before, const std::string& after,
                       const std::vector<std::pair<size_t, size_t>>& changeable) {
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    bool allowed = false;
    for (const auto& [start, length] : changeable) allowed = allowed || (i >= start && i < start + length);
    if (!allowed && before[i] != after[i]) {
      ADD_FAILURE() << "byte " << i << " changed";
      return;
    }
  }
}

// A block with every byte 0xA5 (so a stray write shows), the format mark, and entries.
std::unique_ptr<PreferencesBlock> PatternBlock(std::initializer_list<std::pair<const char*, const char*>> entries) {
  auto block = std::make_unique<PreferencesBlock>();
  std::memset(block.get(), 0xA5, sizeof(PreferencesBlock));
  block->formatMark = kPreferencesFormatMark;
  block->view = 1;
  std::memset(block->portName, 0, sizeof(block->portName));
  std::strcpy(block->portName, "/dev/ttyUSB0");
  block->historyCount = 0;
  block->connectionCount = 0;
  for (const auto& [address, description] : entries) {
    const auto i = static_cast<size_t>(block->connectionCount++);
    std::memset(block->connectionAddresses[i], 0, 16);
    std::memset(block->connectionDescriptions[i], 0, 64);
    std::strcpy(block->connectionAddresses[i], address);
    std::strcpy(block->connectionDescriptions[i], description);
  }
  return block;
}


TEST(RemoteConnectionChecks, AddressesAreFourNumbersFrom0To255AndNothingElse) {
  EXPECT_EQ(ParseConnectionAddress("10.0.0.5", nullptr), (Ipv4{10, 0, 0, 5}));
  EXPECT_EQ(ParseConnectionAddress(" 255.255.255.0 ", nullptr), (Ipv4{255, 255, 255, 0}));
  EXPECT_EQ(ParseConnectionAddress("010.000.000.005", nullptr), (Ipv4{10, 0, 0, 5}));
  for (const char* bad : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1..2.3", "", "-1.2.3.4", "1.2.3.4 x",
                          "1.2.3.4/24", "0001.2.3.4", "1.2.3.+4"}) {
    std::string error;
    EXPECT_FALSE(ParseConnectionAddress(bad, &error)) << bad;
    EXPECT_THAT(error, HasSubstr("four numbers 0 to 255")) << bad;
  }
  std::string error;
  EXPECT_FALSE(AddressFromOctetTexts({"10", "", "0", "1"}, &error));
  EXPECT_EQ(error, "The second number of the IP address is missing.");
  EXPECT_FALSE(AddressFromOctetTexts({"10", "0", "300", "1"}, &error));
  EXPECT_EQ(error, "The third number of the IP address, 300, is not a number from 0 to 255.");
  EXPECT_EQ(AddressFromOctetTexts({"192", "168", "1", "20"}, &error), (Ipv4{192, 168, 1, 20}));
}

TEST(RemoteConnectionChecks, DescriptionsAreOneLineOfAtMost63Characters) {
  std::string error;
  EXPECT_TRUE(CheckConnectionDescription(std::string(63, 'x'), &error));
  EXPECT_TRUE(CheckConnectionDescription("Relais \xE9t\xE9 #2", &error)) << "single-byte text beyond ASCII";
  EXPECT_TRUE(CheckConnectionDescription("\xA0\xFF", &error)) << "the first and last bytes past the C1 controls";
  EXPECT_FALSE(CheckConnectionDescription(std::string(64, 'x'), &error));
  EXPECT_EQ(error, "The description is 64 characters long; at most 63 fit.");
  for (const std::string& bad : {std::string("Tower\nB"), std::string("Tower\r"), std::string("A\tB"),
                                std::string("A\0B", 3), std::string("\x7f"), std::string("Relay\x9b" "2J"),
                                std::string("\x80"), std::string("A\x9f")}) {
    EXPECT_FALSE(CheckConnectionDescription(bad, &error));
    EXPECT_THAT(error, HasSubstr("line break"));
  }
  EXPECT_FALSE(CheckConnectionDescription("", &error));
}

TEST(RemoteConnectionEdits, AddWritesTheNextSlotsAndTheCountAndNothingElse) {
  auto block = PatternBlock({{"10.0.0.5", "Tower"}, {"10.0.0.6", "Mast"}});
  const std::string before = Bytes(*block);
  std::string error;
  ASSERT_TRUE(AddConnection(*block, {192, 168, 100, 200}, "Hill top", &error)) << error;
  const std::string after = Bytes(*block);
  ExpectSameOutside(before, after, {{AddressOffset(2), 16}, {DescriptionOffset(2), 64}, {kCountOffset, 4}});
  EXPECT_EQ(after.substr(AddressOffset(2), 16), std::string("192.168.100.200") + std::string(1, '\0'));
  EXPECT_EQ(after.substr(DescriptionOffset(2), 64), "Hill top" + std::string(56, '\0'));
  EXPECT_EQ(CountIn(after), 3);
  EXPECT_EQ(after.substr(AddressOffset(0), 9), std::string("10.0.0.5\0", 9));
}

TEST(RemoteConnectionEdits, EditRewritesOneEntryInPlaceInDottedDecimalForm) {
  auto block = PatternBlock({{"10.0.0.5", "Tower"}, {"010.000.000.006", "Mast"}, {"10.0.0.7", "Ridge"}});
  const std::string before = Bytes(*block);
  std::string error;
  ASSERT_TRUE(EditConnection(*block, 1, {10, 0, 0, 6}, "Mast (north)", &error));
  const std::string after = Bytes(*block);
  ExpectSameOutside(before, after, {{AddressOffset(1), 16}, {DescriptionOffset(1), 64}});
  EXPECT_EQ(after.substr(AddressOffset(1), 16), "10.0.0.6" + std::string(8, '\0'));
  EXPECT_EQ(after.substr(DescriptionOffset(1), 13), std::string("Mast (north)\0", 13));
  EXPECT_EQ(CountIn(after), 3);

  EXPECT_FALSE(EditConnection(*block, 3, {1, 2, 3, 4}, "Beyond", &error));
  EXPECT_FALSE(EditConnection(*block, 0, {1, 2, 3, 4}, "Two\nlines", &error));
  EXPECT_EQ(Bytes(*block), after) << "a refused edit changes nothing";
}

TEST(RemoteConnectionEdits, RemoveMovesLaterEntriesUpAndClearsTheSlotThatFallsOutOfUse) {
  auto block = PatternBlock({{"10.0.0.5", "Tower"}, {"10.0.0.6", "Mast"}, {"10.0.0.7", "Ridge"}});
  const std::string before = Bytes(*block);
  ASSERT_TRUE(RemoveConnection(*block, 0));
  const std::string after = Bytes(*block);
  ExpectSameOutside(before, after, {{AddressOffset(0), 48}, {DescriptionOffset(0), 192}, {kCountOffset, 4}});
  EXPECT_EQ(CountIn(after), 2);
  const auto list = ConnectionsOf(*block);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].address, "10.0.0.6");
  EXPECT_EQ(list[1].description, "Ridge");
  EXPECT_EQ(after.substr(AddressOffset(2), 16), std::string(16, '\0'));
  EXPECT_EQ(after.substr(DescriptionOffset(2), 64), std::string(64, '\0')) << "no removed name left in the file";
  EXPECT_FALSE(RemoveConnection(*block, 2));
  EXPECT_FALSE(RemoveConnection(*block, -1));
}

TEST(RemoteConnectionEdits, A256EntryListRefusesAnotherWithAClearMessageAndChangesNothing) {
  auto block = PatternBlock({});
  std::string error;
  for (int i = 0; i < 256; ++i) {
    ASSERT_TRUE(AddConnection(*block, {10, 1, static_cast<uint8_t>(i / 256), static_cast<uint8_t>(i)}, "Unit",
                              &error));
  }
  const std::string full = Bytes(*block);
  EXPECT_FALSE(AddConnection(*block, {10, 2, 0, 0}, "One more", &error));
  EXPECT_EQ(error, ConnectionListFullText());
  EXPECT_THAT(error, HasSubstr("full: it holds 256 entries"));
  EXPECT_EQ(Bytes(*block), full);
}

TEST(RemoteConnectionEdits, OnlyTheFirstEntryOfAnAddressCountsAndTheWarningSaysSo) {
  auto block = PatternBlock({{"10.0.0.5", "Tower"}, {"not an address", "Junk"}, {"10.0.0.7", "Ridge"}});
  EXPECT_EQ(FindConnectionByAddress(*block, {10, 0, 0, 7}), 2);
  EXPECT_EQ(FindConnectionByAddress(*block, {10, 0, 0, 8}), -1);
  EXPECT_FALSE(StoredConnectionAddress(*block, 1));
  const std::string warning = DuplicateAddressWarning(*block, {10, 0, 0, 5}, -1);
  EXPECT_THAT(warning, HasSubstr("already holds 10.0.0.5 (\"Tower\")"));
  EXPECT_THAT(warning, HasSubstr("Only the first entry"));
  EXPECT_EQ(DuplicateAddressWarning(*block, {10, 0, 0, 5}, 0), "") << "an entry is no duplicate of itself";
  EXPECT_EQ(DuplicateAddressWarning(*block, {10, 0, 0, 9}, -1), "");
}

TEST(RemoteConnectionEdits, ReplacingTheListChecksEveryEntryFirstAndClearsSlotsNoLongerUsed) {
  auto block = PatternBlock({{"10.0.0.5", "Tower"}, {"10.0.0.6", "Mast"}, {"10.0.0.7", "Ridge"}});
  const std::string before = Bytes(*block);
  std::vector<std::pair<Ipv4, std::string>> entries{{{1, 1, 1, 1}, "One"}, {{2, 2, 2, 2}, "Two\nlines"}};
  std::string error;
  EXPECT_FALSE(ReplaceConnections(*block, entries, &error));
  EXPECT_THAT(error, HasSubstr("entry 2: "));
  EXPECT_EQ(Bytes(*block), before);
  entries[1].second = "Two";
  ASSERT_TRUE(ReplaceConnections(*block, entries, &error));
  const std::string after = Bytes(*block);
  ExpectSameOutside(before, after, {{AddressOffset(0), 48}, {DescriptionOffset(0), 192}, {kCountOffset, 4}});
  EXPECT_EQ(CountIn(after), 2);
  EXPECT_EQ(after.substr(AddressOffset(2), 16), std::string(16, '\0'));
  std::vector<std::pair<Ipv4, std::string>> tooMany(257, {{1, 1, 1, 1}, "x"});
  EXPECT_FALSE(ReplaceConnections(*block, tooMany, &error));
  EXPECT_EQ(Bytes(*block), after);
}

// ---- The dialogs, through the window logic ------------------------------------------------

class ConnectionDialogTest : public AppScriptedTest {
 protected:
  void SetUp() override {
    auto block = PatternBlock({{"10.0.0.5", "Tower"}, {"10.0.0.6", "Mast"}});
    files.Put(kPreferencesFileName, Bytes(*block));
    original = Bytes(*block);
    surface.SetMessageBoxAnswerer([this](const HeadlessSurface::MessageBoxRecord& box) {
      return box.buttons == MessageButtons::YesNo ? yesNoAnswer : kAnswerOk;
    });
  }
  std::string Saved() { return files.Content(kPreferencesFileName); }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : surface.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }
  void FillEntry(DialogDriver& d, const std::string& a, const std::string& b, const std::string& c,
                 const std::string& e, const std::string& description) {
    d.Type(ids::kConnectionIp1, a);
    d.Type(ids::kConnectionIp2, b);
    d.Type(ids::kConnectionIp3, c);
    d.Type(ids::kConnectionIp4, e);
    d.Type(ids::kConnectionDescription, description);
  }

  std::string original;
  int yesNoAnswer = kAnswerYes;
};

TEST_F(ConnectionDialogTest, AddFromTheFileMenuRefusesBadEntriesThenSavesTheNewEntryAtOnce) {
  ASSERT_TRUE(window.Create());
  dialogs.Expect([&](DialogDriver& list) {
    EXPECT_EQ(list.surface.Items(ids::kConnectionList),
              (std::vector<std::string>{"10.0.0.5  Tower", "10.0.0.6  Mast"}));
    EXPECT_EQ(list.surface.Text(ids::kConnectionCountLabel), "2 of 256 entries");
    EXPECT_FALSE(list.surface.Enabled(ids::kConnectionEdit)) << "nothing selected yet";
    EXPECT_FALSE(list.surface.Enabled(ids::kConnectionRemove));
    list.Click(ids::kConnectionAdd);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList).back(), "192.168.1.20  Hill top");
    EXPECT_EQ(list.surface.Selection(ids::kConnectionList), 2) << "the new entry is selected";
    EXPECT_TRUE(list.surface.Enabled(ids::kConnectionEdit));
    EXPECT_EQ(list.surface.Text(ids::kConnectionCountLabel), "3 of 256 entries");
    list.Click(ids::kDialogClose);
  });
  dialogs.Expect([&](DialogDriver& add) {
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionIp1);
    FillEntry(add, "192", "168", "1", "", "Hill top");
    EXPECT_FALSE(add.Click(ids::kDialogOk));
    EXPECT_EQ(BoxTexts().back(), "The fourth number of the IP address is missing.");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionIp4);
    add.Type(ids::kConnectionIp4, "256");
    EXPECT_FALSE(add.Click(ids::kDialogOk));
    EXPECT_EQ(BoxTexts().back(), "The fourth number of the IP address, 256, is not a number from 0 to 255.");
    add.Type(ids::kConnectionIp4, "20");
    add.Type(ids::kConnectionDescription, std::string(64, 'n'));
    EXPECT_FALSE(add.Click(ids::kDialogOk));
    EXPECT_EQ(BoxTexts().back(), "The description is 64 characters long; at most 63 fit.");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionDescription);
    EXPECT_EQ(Saved(), original) << "nothing is saved while the entry is refused";
    add.Type(ids::kConnectionDescription, "Hill top");
    EXPECT_TRUE(add.Click(ids::kDialogOk));
  });
  EXPECT_EQ(Click(ids::kMenuRemoteConnections), CommandOutcome::Handled);
  EXPECT_TRUE(dialogs.AllRun());
  EXPECT_EQ(dialogs.captions, (std::vector<std::string>{"Remote Connections", "Add Connection"}));
  for (const auto& box : surface.MessageBoxes()) EXPECT_EQ(box.owner, MessageOwner::Dialog);

  const std::string saved = Saved();
  EXPECT_EQ(saved.substr(AddressOffset(2), 16), "192.168.1.20" + std::string(4, '\0'));
  EXPECT_EQ(saved.substr(DescriptionOffset(2), 9), std::string("Hill top\0", 9));
  EXPECT_EQ(CountIn(saved), 3);
  // The save writes the whole block, as every save does: the other bytes are as loaded.
  ExpectSameOutside(original, saved, {{AddressOffset(2), 16}, {DescriptionOffset(2), 64}, {kCountOffset, 4}});
}

TEST_F(ConnectionDialogTest, ThirdDigitMovesToTheNextOctetBoxAndCancelStoresNothing) {
  ASSERT_TRUE(window.Create());
  dialogs.Expect([&](DialogDriver& list) {
    list.Click(ids::kConnectionAdd);
    list.Click(ids::kDialogClose);
  });
  dialogs.Expect([&](DialogDriver& add) {
    add.Type(ids::kConnectionIp1, "192");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionIp2);
    add.Type(ids::kConnectionIp2, "16");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionIp2);
    add.Type(ids::kConnectionIp2, "168");
    add.Type(ids::kConnectionIp3, "100");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionIp4);
    add.Type(ids::kConnectionIp4, "200");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionIp4) << "the last box does not move on";
    add.Type(ids::kConnectionDescription, "Never stored");
    add.Click(ids::kDialogCancel);
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());
  EXPECT_EQ(files.replaces, 0);
  EXPECT_EQ(window.RemoteConnectionList().size(), 2u);
}

TEST_F(ConnectionDialogTest, ADuplicateAddressIsWarnedAboutAndStoredOnlyWhenTheUserSaysYes) {
  ASSERT_TRUE(window.Create());
  yesNoAnswer = kAnswerNo;
  dialogs.Expect([&](DialogDriver& list) {
    list.Click(ids::kConnectionAdd);
    list.Click(ids::kConnectionAdd);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList).back(),
              "10.0.0.5  Tower B  (not used: an earlier entry has this address)");
    list.Click(ids::kDialogClose);
  });
  dialogs.Expect([&](DialogDriver& add) {
    FillEntry(add, "10", "0", "0", "5", "Tower B");
    EXPECT_FALSE(add.Click(ids::kDialogOk)) << "No keeps the dialog open";
    EXPECT_THAT(BoxTexts().back(), HasSubstr("already holds 10.0.0.5 (\"Tower\")"));
    EXPECT_EQ(surface.MessageBoxes().back().buttons, MessageButtons::YesNo);
    EXPECT_EQ(files.replaces, 0);
    add.Click(ids::kDialogCancel);
  });
  dialogs.Expect([&](DialogDriver& add) {
    FillEntry(add, "10", "0", "0", "5", "Tower B");
    yesNoAnswer = kAnswerYes;
    EXPECT_TRUE(add.Click(ids::kDialogOk));
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());
  EXPECT_EQ(CountIn(Saved()), 3);
}

TEST_F(ConnectionDialogTest, EditByDoubleClickRenamesThePeerOnTheStatusPanelAndSavesAtOnce) {
  CreateAndEscape();
  UnitSays("OK\n");
  UnitSays("CON 10.0.0.6:5000\n");
  ASSERT_EQ(window.StatusSentence(), "VQX-2 connected to Mast");
  const int erasesBefore = surface.InvalidateCount(true);
  dialogs.Expect([&](DialogDriver& list) {
    list.DoubleClick(ids::kConnectionList, 1);
    EXPECT_FALSE(list.ended);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList)[1], "10.0.0.6  Mast north");
    EXPECT_EQ(list.surface.Selection(ids::kConnectionList), 1);
    list.Click(ids::kDialogClose);
  });
  dialogs.Expect([&](DialogDriver& edit) {
    EXPECT_EQ(edit.surface.Text(ids::kConnectionIp1), "10");
    EXPECT_EQ(edit.surface.Text(ids::kConnectionIp4), "6");
    EXPECT_EQ(edit.surface.Text(ids::kConnectionDescription), "Mast");
    EXPECT_EQ(edit.surface.Focus(), ids::kConnectionDescription);
    edit.Type(ids::kConnectionDescription, "Mast north");
    EXPECT_TRUE(edit.Click(ids::kDialogOk));
    // Saved and redrawn before the dialog is gone.
    EXPECT_EQ(Saved().substr(DescriptionOffset(1), 11), std::string("Mast north\0", 11));
    EXPECT_GT(surface.InvalidateCount(true), erasesBefore);
    EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to Mast north");
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());
  EXPECT_EQ(dialogs.captions, (std::vector<std::string>{"Remote Connections", "Edit Connection"}));
  ExpectSameOutside(original, Saved(), {{DescriptionOffset(1), 64}});
}

TEST_F(ConnectionDialogTest, RemoveAsksFirstAndThePanelFallsBackToTheAddress) {
  CreateAndEscape();
  UnitSays("OK\n");
  UnitSays("ATT 10.0.0.5:5000\n");
  ASSERT_EQ(window.StatusSentence(), "VQX-2 attempting connection to Tower");
  dialogs.Expect([&](DialogDriver& list) {
    list.Select(ids::kConnectionList, 0);
    yesNoAnswer = kAnswerNo;
    list.Click(ids::kConnectionRemove);
    EXPECT_EQ(BoxTexts().back(), "Remove the remote connection 10.0.0.5 (\"Tower\")?");
    EXPECT_EQ(list.surface.Items(ids::kConnectionList).size(), 2u);
    EXPECT_EQ(files.replaces, 0);
    yesNoAnswer = kAnswerYes;
    list.Click(ids::kConnectionRemove);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList), (std::vector<std::string>{"10.0.0.6  Mast"}));
    EXPECT_EQ(list.surface.Text(ids::kConnectionCountLabel), "1 of 256 entries");
    list.Click(ids::kDialogClose);
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());
  const std::string saved = Saved();
  EXPECT_EQ(CountIn(saved), 1);
  EXPECT_EQ(saved.substr(AddressOffset(0), 9), std::string("10.0.0.6\0", 9));
  EXPECT_EQ(saved.substr(DescriptionOffset(1), 64), std::string(64, '\0'));
  EXPECT_EQ(window.StatusSentence(), "VQX-2 attempting connection to 10.0.0.5");
}

TEST_F(ConnectionDialogTest, NameThisUnitIsOfferedForAnUnnamedPeerAndOpensAddWithItsAddress) {
  CreateAndEscape();
  EXPECT_FALSE(window.CanNameThisUnit()) << "no peer yet";
  UnitSays("OK\n");
  UnitSays("CON 172.16.5.9:5000\n");
  ASSERT_EQ(window.StatusSentence(), "VQX-2 connected to 172.16.5.9");
  ASSERT_TRUE(window.CanNameThisUnit());
  dialogs.Expect([&](DialogDriver& add) {
    EXPECT_EQ(add.surface.Text(ids::kConnectionIp1), "172");
    EXPECT_EQ(add.surface.Text(ids::kConnectionIp2), "16");
    EXPECT_EQ(add.surface.Text(ids::kConnectionIp3), "5");
    EXPECT_EQ(add.surface.Text(ids::kConnectionIp4), "9");
    EXPECT_EQ(add.surface.Focus(), ids::kConnectionDescription);
    add.Type(ids::kConnectionDescription, "Depot");
    EXPECT_TRUE(add.Click(ids::kDialogOk));
  });
  Click(ids::kMenuNameThisUnit);
  EXPECT_TRUE(dialogs.AllRun());
  EXPECT_EQ(dialogs.captions, (std::vector<std::string>{"Add Connection"}));
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to Depot");
  EXPECT_FALSE(window.CanNameThisUnit()) << "a named peer is not offered again";
  Click(ids::kMenuNameThisUnit);  // a stale menu choice does nothing
  EXPECT_EQ(dialogs.captions.size(), 1u);
  EXPECT_EQ(Saved().substr(AddressOffset(2), 11), std::string("172.16.5.9\0", 11));
}

TEST_F(ConnectionDialogTest, AFullListSaysSoInsteadOfOpeningTheAddDialog) {
  auto block = PatternBlock({});
  for (int i = 0; i < 256; ++i) AddConnection(*block, {10, 9, 0, static_cast<uint8_t>(i)}, "Unit", nullptr);
  files.Put(kPreferencesFileName, Bytes(*block));
  ASSERT_TRUE(window.Create());
  dialogs.Expect([&](DialogDriver& list) {
    EXPECT_EQ(list.surface.Text(ids::kConnectionCountLabel), "256 of 256 entries");
    list.Click(ids::kConnectionAdd);
    EXPECT_EQ(BoxTexts().back(), ConnectionListFullText());
    list.Click(ids::kDialogClose);
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_EQ(dialogs.captions, (std::vector<std::string>{"Remote Connections"}));
  EXPECT_EQ(files.replaces, 0);
}

TEST_F(ConnectionDialogTest, NameThisUnitWithAFullListSaysSoInsteadOfOpeningTheDialog) {
  auto block = PatternBlock({});
  for (int i = 0; i < 256; ++i) AddConnection(*block, {10, 9, 0, static_cast<uint8_t>(i)}, "Unit", nullptr);
  files.Put(kPreferencesFileName, Bytes(*block));
  CreateAndEscape();
  UnitSays("OK\n");
  UnitSays("CON 172.16.5.9:5000\n");
  ASSERT_TRUE(window.CanNameThisUnit());
  Click(ids::kMenuNameThisUnit);
  EXPECT_TRUE(dialogs.captions.empty());
  ASSERT_EQ(surface.MessageBoxes().size(), 1u);
  EXPECT_EQ(surface.MessageBoxes()[0].text, ConnectionListFullText());
  EXPECT_EQ(surface.MessageBoxes()[0].owner, MessageOwner::MainWindow);
}

TEST_F(ConnectionDialogTest, AnEntryAnotherProgramMovedMeanwhileIsNotOverwritten) {
  ASSERT_TRUE(window.Create());
  dialogs.Expect([&](DialogDriver& list) {
    list.Select(ids::kConnectionList, 1);
    // vqxctl (say) removes the first entry while the dialog is open.
    auto changed = PatternBlock({{"10.0.0.6", "Mast"}});
    files.Put(kPreferencesFileName, Bytes(*changed));
    list.Click(ids::kConnectionEdit);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList), (std::vector<std::string>{"10.0.0.6  Mast"}))
        << "the list shows the file's entries after the reload";
    list.Click(ids::kDialogClose);
  });
  dialogs.Expect([&](DialogDriver& edit) {
    edit.Type(ids::kConnectionDescription, "Mast renamed");
    EXPECT_TRUE(edit.Click(ids::kDialogOk));
  });
  yesNoAnswer = kAnswerYes;  // load the other program's list
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());
  const auto texts = BoxTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_THAT(texts[0], HasSubstr("changed by another program"));
  EXPECT_THAT(texts[1], HasSubstr("no longer where it was"));
  EXPECT_EQ(window.RemoteConnectionList().size(), 1u);
  EXPECT_EQ(window.RemoteConnectionList()[0].description, "Mast");
}

TEST_F(ConnectionDialogTest, AChangeThatCannotBeSavedIsTakenBackAndSaysSo) {
  CreateAndEscape();
  UnitSays("OK\n");
  UnitSays("CON 10.0.0.5:5000\n");
  files.failWrites = true;
  dialogs.Expect([&](DialogDriver& list) {
    list.DoubleClick(ids::kConnectionList, 0);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList)[0], "10.0.0.5  Tower") << "the list shows what the file holds";
    list.Select(ids::kConnectionList, 1);
    list.Click(ids::kConnectionRemove);
    EXPECT_EQ(list.surface.Items(ids::kConnectionList).size(), 2u);
    list.Click(ids::kDialogClose);
  });
  dialogs.Expect([&](DialogDriver& edit) {
    edit.Type(ids::kConnectionDescription, "Renamed");
    EXPECT_TRUE(edit.Click(ids::kDialogOk));
  });
  Click(ids::kMenuRemoteConnections);
  EXPECT_TRUE(dialogs.AllRun());
  const auto texts = BoxTexts();
  ASSERT_EQ(texts.size(), 3u);  // the failed edit, the question, the failed removal
  EXPECT_THAT(texts[0], HasSubstr("could not be saved"));
  EXPECT_THAT(texts[0], HasSubstr("The remote connection list was left as it was."));
  EXPECT_EQ(window.StatusSentence(), "VQX-2 connected to Tower");
  EXPECT_EQ(window.RemoteConnectionList().size(), 2u);
  EXPECT_EQ(Saved(), original);
}

TEST_F(ConnectionDialogTest, WithoutADialogHostTheMenuItemDoesNothing) {
  AppServices bare{clock, files, wallClock};
  CAppWindow headless(comm, surface, bare);
  EXPECT_EQ(headless.OnCommand(ids::kMenuRemoteConnections, kBnClicked), CommandOutcome::Handled);
  EXPECT_TRUE(dialogs.captions.empty());
}

TEST(ConnectionListLine, ShowsAddressDescriptionAndWhyAnEntryIsNeverUsed) {
  EXPECT_EQ(ConnectionListLine({"10.0.0.5", "Tower"}, false, false), "10.0.0.5  Tower");
  EXPECT_EQ(ConnectionListLine({"junk", "J"}, true, false), "junk  J  (not an IP address: never used)");
}

}  // namespace
}  // namespace vqx::testing
