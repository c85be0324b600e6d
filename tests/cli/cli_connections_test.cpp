// vqxctl connections: the remote connection list of a preferences file edited offline,
// byte for byte where the file keeps it, with the desktop dialogs' checks, and a JSON or
// CSV address book that survives export and import.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/preferences_block.h"
#include "cli_run.h"
#include "support/vqxctl_runner.h"
#include "connection_book.h"
#include "system_port.h"

namespace vqx::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr size_t kAddressSlot0 = 277;
constexpr size_t kDescriptionSlot0 = 4373;
constexpr size_t kCountOffset = 20760;

using Outcome = testing::VqxctlOutcome;

Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args); }

class CliConnections : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vqxctl-connections-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    // Every byte patterned, so that a write outside the list shows.
    auto block = std::make_unique<PreferencesBlock>();
    std::memset(block.get(), 0x5A, sizeof(PreferencesBlock));
    block->formatMark = kPreferencesFormatMark;
    block->historyCount = 0;
    block->connectionCount = 0;
    Write("VQXSU_Prefs.cfg", std::string(reinterpret_cast<const char*>(block.get()), sizeof(PreferencesBlock)));
    prefs = Path("VQXSU_Prefs.cfg");
    original = Content("VQXSU_Prefs.cfg");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::string Content(const std::string& name) const {
    std::ostringstream out;
    out << std::ifstream(Path(name), std::ios::binary).rdbuf();
    return out.str();
  }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  Outcome Run(std::vector<std::string> args) {
    args.insert(args.begin(), "connections");
    args.push_back("--prefs");
    args.push_back(prefs);
    return Vqxctl(args);
  }
  int32_t Count() const {
    int32_t count;
    std::memcpy(&count, Content("VQXSU_Prefs.cfg").data() + kCountOffset, 4);
    return count;
  }
  std::string AddressSlot(size_t i) const { return Content("VQXSU_Prefs.cfg").substr(kAddressSlot0 + 16 * i, 16); }
  std::string DescriptionSlot(size_t i) const {
    return Content("VQXSU_Prefs.cfg").substr(kDescriptionSlot0 + 64 * i, 64);
  }
  // Bytes outside the first slots of the list and the count are as they were.
  void ExpectOnlyListChanged(size_t slots) const {
    const std::string now = Content("VQXSU_Prefs.cfg");
    ASSERT_EQ(now.size(), original.size());
    for (size_t i = 0; i < now.size(); ++i) {
      const bool inList = (i >= kAddressSlot0 && i < kAddressSlot0 + 16 * slots) ||
                          (i >= kDescriptionSlot0 && i < kDescriptionSlot0 + 64 * slots) ||
                          (i >= kCountOffset && i < kCountOffset + 4);
      if (!inList && now[i] != original[i]) {
        ADD_FAILURE() << "byte " << i << " changed";
        return;
      }
    }
  }

  std::string dir;
  std::string prefs;
  std::string original;
};

TEST_F(CliConnections, AddEditRemoveWriteTheSlotsAndTheCountAndNothingElse) {
  Outcome run = Run({"add", "10.0.0.5", "Tower"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "Added 10.0.0.5 \"Tower\"; the list holds 1 entry.\n");
  ASSERT_EQ(Run({"add", "192.168.100.200", "Hill top"}).code, 0);
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(AddressSlot(0), "10.0.0.5" + std::string(8, '\0'));
  EXPECT_EQ(AddressSlot(1), "192.168.100.200" + std::string(1, '\0'));
  EXPECT_EQ(DescriptionSlot(1), "Hill top" + std::string(56, '\0'));
  ExpectOnlyListChanged(2);

  run = Run({"edit", "10.0.0.5", "--address", "10.0.0.15", "--description", "Tower north"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(AddressSlot(0), "10.0.0.15" + std::string(7, '\0'));
  EXPECT_EQ(DescriptionSlot(0), "Tower north" + std::string(53, '\0'));
  run = Run({"edit", "192.168.100.200", "--description", "Hill"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(AddressSlot(1), "192.168.100.200" + std::string(1, '\0')) << "the address stays when only the text changes";

  run = Run({"list"});
  EXPECT_EQ(run.out, "10.0.0.15        Tower north\n192.168.100.200  Hill\n");
  run = Run({"list", "--format", "json"});
  EXPECT_THAT(run.out, HasSubstr("\"address\": \"10.0.0.15\""));
  EXPECT_THAT(run.out, HasSubstr("\"description\": \"Hill\""));

  run = Run({"remove", "10.0.0.15"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(AddressSlot(0), "192.168.100.200" + std::string(1, '\0'));
  EXPECT_EQ(AddressSlot(1), std::string(16, '\0'));
  EXPECT_EQ(DescriptionSlot(1), std::string(64, '\0'));
  ExpectOnlyListChanged(2);
}

TEST_F(CliConnections, BadArgumentsAreRefusedWithTheirReasonAndTheFileIsUntouched) {
  const struct {
    std::vector<std::string> args;
    int code;
    const char* says;
  } cases[] = {
      {{"add", "10.0.0.256", "Tower"}, 2, "is not an IP address"},
      {{"add", "10.0.0", "Tower"}, 2, "four numbers 0 to 255"},
      {{"add", "10.0.0.5", std::string(64, 'x')}, 2, "64 characters long; at most 63"},
      {{"add", "10.0.0.5", "two\nlines"}, 2, "line break"},
      {{"add", "10.0.0.5", "\xE2\x82\xAC uro"}, 2, "description"},
      {{"add", "10.0.0.5", "Relay\xC2\x9B" "2J"}, 2, "control character"},  // U+009B, a terminal's CSI
      {{"add", "10.0.0.5", "\xC2\x85next line"}, 2, "control character"},
      {{"edit", "10.0.0.5"}, 2, "needs --address NEW or --description TEXT"},
      {{"edit", "10.0.0.9", "--description", "x"}, 6, "has no entry for 10.0.0.9"},
      {{"remove", "10.0.0.9"}, 6, "has no entry for 10.0.0.9"},
  };
  for (const auto& c : cases) {
    const Outcome run = Run(c.args);
    EXPECT_EQ(run.code, c.code) << c.args[0] << " " << c.args[1];
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.args[0] << " " << c.args[1];
  }
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), original);

  Write("short.cfg", "\x11 too short");
  EXPECT_EQ(Vqxctl({"connections", "list", "--prefs", Path("short.cfg")}).code, 6);
  std::string damaged = original;
  const int32_t tooMany = 257;
  std::memcpy(damaged.data() + kCountOffset, &tooMany, 4);
  Write("damaged.cfg", damaged);
  const Outcome run = Vqxctl({"connections", "add", "1.2.3.4", "x", "--prefs", Path("damaged.cfg")});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("remote connection count is 257"));
}

TEST_F(CliConnections, ADuplicateIsWarnedAboutAndAFullListRefusesAnother) {
  ASSERT_EQ(Run({"add", "10.0.0.5", "Tower"}).code, 0);
  Outcome run = Run({"add", "10.0.0.5", "Tower B"});
  EXPECT_EQ(run.code, 0);
  EXPECT_THAT(run.err, HasSubstr("warning: The remote connection list already holds 10.0.0.5 (\"Tower\")"));
  run = Run({"list"});
  EXPECT_THAT(run.err, HasSubstr("entry 2 is never used: entry 1 has the same address"));

  std::string book = "address,description\n";
  for (int i = 0; i < 256; ++i) book += "10.1." + std::to_string(i / 200) + "." + std::to_string(i % 200) + ",Unit\n";
  Write("full.csv", book);
  ASSERT_EQ(Run({"import", Path("full.csv")}).code, 0);
  const std::string full = Content("VQXSU_Prefs.cfg");
  run = Run({"add", "10.2.0.0", "One more"});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("full: it holds 256 entries"));
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), full);
}

TEST_F(CliConnections, JsonAndCsvExportsImportBackToTheSameBytes) {
  ASSERT_EQ(Run({"add", "10.0.0.5", "Tower, \"north\""}).code, 0);
  ASSERT_EQ(Run({"add", "10.0.0.6", "=HYPERLINK(1)"}).code, 0);
  ASSERT_EQ(Run({"add", "10.0.0.7", "'quoted'"}).code, 0);
  ASSERT_EQ(Run({"add", "172.16.0.1", "Relais \xC3\xA9t\xC3\xA9"}).code, 0);  // UTF-8 typed, one byte each stored
  EXPECT_EQ(DescriptionSlot(3).substr(0, 12), std::string("Relais \xE9t\xE9\0", 12));
  const std::string filled = Content("VQXSU_Prefs.cfg");

  ASSERT_EQ(Run({"export", "--format", "csv", "-o", Path("book.csv")}).code, 0);
  ASSERT_EQ(Run({"export", "-o", Path("book.json")}).code, 0);
  EXPECT_EQ(Content("book.csv"),
            "address,description\r\n10.0.0.5,\"Tower, \"\"north\"\"\"\r\n10.0.0.6,\"'=HYPERLINK(1)\"\r\n"
            "10.0.0.7,\"''quoted'\"\r\n172.16.0.1,Relais \xC3\xA9t\xC3\xA9\r\n");

  for (const char* book : {"book.csv", "book.json"}) {
    ASSERT_EQ(Run({"remove", "10.0.0.5"}).code, 0);
    ASSERT_EQ(Run({"add", "1.1.1.1", "Temporary"}).code, 0);
    const Outcome run = Run({"import", Path(book)});
    ASSERT_EQ(run.code, 0) << book << ": " << run.err;
    EXPECT_EQ(run.out, "Imported 4 entries; they replace the 4 entries the list held.\n");
    EXPECT_EQ(Content("VQXSU_Prefs.cfg"), filled) << book;
  }
}

TEST_F(CliConnections, ABadRowRefusesTheWholeImportNamingItsLine) {
  ASSERT_EQ(Run({"add", "10.0.0.5", "Tower"}).code, 0);
  const std::string before = Content("VQXSU_Prefs.cfg");
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"a.csv", "address,description\n1.2.3.4,One\n\n1.2.3,Two\n", "line 4: \"1.2.3\" is not an IP address"},
      {"b.csv", "address,description\r\n1.2.3.4,\"Two\r\nlines\"\r\n", "line 2: The description holds a line break"},
      {"c.csv", "addr,desc\n1.2.3.4,One\n", "line 1: expected the header line"},
      {"d.csv", "address,description\n1.2.3.4,One,extra\n", "line 2: expected 2 cells"},
      {"e.csv", "address,description\n1.2.3.4,\"open\n", "line 2: a quoted cell is not closed"},
      {"f.json", "[\n  {\"address\": \"1.2.3.4\", \"description\": \"One\"},\n  {\"address\": \"1.2.3.4\",\n"
                 "   \"description\": \"" + std::string(64, 'x') + "\"}\n]\n",
       "line 3: The description is 64 characters long"},
      {"g.json", "[{\"address\": \"1.2.3.4\", \"description\": \"One\", \"port\": 5000}]", "line 1: unknown name \"port\""},
      {"h.json", "[\n{\"address\": \"1.2.3.4\"}\n]", "line 2: an entry needs both"},
      {"i.json", "{\"address\": \"1.2.3.4\", \"description\": \"One\"}", "a JSON array"},
      {"j.json", "[\n\"1.2.3.4\"\n]", "line 2: expected an object"},
      {"k.json", "[{\"address\": \"1.2.3.4\", \"description\": \"One\"", "line 1"},
  };
  for (const auto& c : cases) {
    Write(c.name, c.text);
    const Outcome run = Run({"import", Path(c.name)});
    EXPECT_EQ(run.code, 6) << c.name;
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.name;
    EXPECT_THAT(run.err, HasSubstr("nothing was imported")) << c.name;
  }
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), before);
  Write("book.txt", "address,description\n");
  EXPECT_EQ(Run({"import", Path("book.txt")}).code, 2) << "no format given and none in the name";
  EXPECT_EQ(Run({"import", Path("book.txt"), "--format", "csv", "--allow-empty"}).code, 0)
      << "an empty book empties the list when asked to";
  EXPECT_EQ(Count(), 0);
}

TEST_F(CliConnections, ABookWithoutEntriesEmptiesAListOnlyWithAllowEmpty) {
  ASSERT_EQ(Run({"add", "10.0.0.5", "Tower"}).code, 0);
  ASSERT_EQ(Run({"add", "10.0.0.6", "Mast"}).code, 0);
  const std::string two = Content("VQXSU_Prefs.cfg");
  Write("blank.csv", "address,description\r\n\r\n\n\n");
  Write("none.json", "[ ]\n");
  for (const char* book : {"blank.csv", "none.json"}) {
    const Outcome run = Run({"import", Path(book)});
    EXPECT_EQ(run.code, 6) << book;
    EXPECT_THAT(run.err, HasSubstr("holds no entries; importing it would empty the list of 2 entries. Give "
                                   "--allow-empty")) << book;
    EXPECT_EQ(run.out, "") << book;
    EXPECT_EQ(Content("VQXSU_Prefs.cfg"), two) << book;
  }
  Outcome run = Run({"import", Path("none.json"), "--allow-empty"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "Imported 0 entries; they replace the 2 entries the list held.\n");
  EXPECT_EQ(Count(), 0);
  run = Run({"import", Path("blank.csv")});
  EXPECT_EQ(run.code, 0) << "an empty list stays empty without asking: " << run.err;
}

TEST_F(CliConnections, ABookOverTheSizeLimitIsNamedForWhatItIsNot) {
  Write("huge.csv", "address,description\n" + std::string(16u * 1024u * 1024u, '\n'));
  const Outcome run = Run({"import", Path("huge.csv")});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("huge.csv: is larger than 16 MB; not an address book"));
  EXPECT_THAT(run.err, Not(HasSubstr("snapshot")));
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), original);
}

// A book's cells and keys come back in refusals; its bytes in a list with controls that
// another program wrote reach the terminal: neither may retitle or clear it.
TEST_F(CliConnections, ControlCharactersFromABookOrTheListReachTheTerminalEscaped) {
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"a.csv", "address,description\n\x1b]0;owned\x07,Tower\n", "\"\\x1b]0;owned\\x07\" is not an IP address"},
      {"b.csv", "address,description\n\xC2\x9B" "2J,Tower\n", "\"\\u009b2J\" is not an IP address"},
      {"c.json", "[{\"address\": \"1.2.3.4\", \"\\u001b[2J\": \"x\"}]", "unknown name \"\\x1b[2J\""},
      {"d.json", "[{\"address\": \"\\u001b[2J\", \"description\": \"x\"}]", "\"\\x1b[2J\" is not an IP"},
      {"e.json", "[\x1b[2J]", "line 1"},
  };
  for (const auto& c : cases) {
    Write(c.name, c.text);
    const Outcome run = Run({"import", Path(c.name)});
    EXPECT_EQ(run.code, 6) << c.name;
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.name;
    EXPECT_EQ(run.err.find_first_of("\x1b\x07"), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.err.find("\xC2\x9B"), std::string::npos) << c.name;
  }

  // Slots written by another program, with an escape sequence and a C1 control.
  std::string raw = original;
  const int32_t one = 1;
  std::memcpy(raw.data() + kCountOffset, &one, 4);
  std::memcpy(raw.data() + kAddressSlot0, "1.2.3.4\x1b]0;x\x07", 14);
  std::memcpy(raw.data() + kDescriptionSlot0, "Tower\x9b" "2J\0", 9);
  Write("VQXSU_Prefs.cfg", raw);
  std::ostringstream out, err;
  CliEnvironment terminal{out, err};
  terminal.outIsTerminal = true;
  ASSERT_EQ(RunVqxctl({"connections", "export", "--format", "csv", "--prefs", prefs}, terminal), 0) << err.str();
  EXPECT_EQ(out.str(), "address,description\r\n1.2.3.4\\x1b]0;x\\x07,Tower\\u009b2J\r\n");
  const Outcome piped = Run({"export", "--format", "csv"});
  EXPECT_EQ(piped.out, "address,description\r\n1.2.3.4\x1b]0;x\x07,Tower\xC2\x9B" "2J\r\n")
      << "a file or a pipe gets the bytes";
  const Outcome json = Run({"export"});
  EXPECT_THAT(json.out, HasSubstr(R"("address": "1.2.3.4\u001b]0;x\u0007")"));
  EXPECT_THAT(json.out, HasSubstr(R"("description": "Tower\u009b2J")"));
}

TEST_F(CliConnections, ChangingTheFileOfARunningVqxsuIsRefused) {
  const std::unique_ptr<IFileStore> desktop = CreateSystemFileStore(dir);
  desktop->HoldWhileRunning("VQXSU_Prefs.cfg");
  const Outcome run = Run({"add", "10.0.0.5", "Tower"});
  EXPECT_EQ(run.code, 7);
  EXPECT_THAT(run.err, HasSubstr("vqxsu has this file open"));
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), original);
  EXPECT_EQ(Run({"list"}).code, 0) << "reading is fine";
}

TEST(ConnectionBook, ACellStartingWithALineFeedGetsTheApostropheAndReadsBack) {
  auto block = std::make_unique<PreferencesBlock>();
  std::memset(block.get(), 0, sizeof(PreferencesBlock));
  block->formatMark = kPreferencesFormatMark;
  std::strcpy(block->connectionAddresses[0], "1.2.3.4");
  std::strcpy(block->connectionDescriptions[0], "\n=1+1");
  std::strcpy(block->connectionDescriptions[1], "\r=1+1");
  std::strcpy(block->connectionAddresses[1], "1.2.3.5");
  block->connectionCount = 2;
  EXPECT_EQ(snapshot::ConnectionsToCsv(*block),
            "address,description\r\n1.2.3.4,\"'\n=1+1\"\r\n1.2.3.5,\"'\r=1+1\"\r\n");
}

TEST(ConnectionBook, AListOverTheCapacityIsRefusedAtItsFirstEntryTooMany) {
  std::string csv = "address,description\n";
  std::string json = "[";
  for (int i = 0; i < 257; ++i) {
    csv += "10.0.1." + std::to_string(i % 250) + ",Unit\n";
    json += std::string(i ? "," : "") + "\n{\"address\": \"10.0.1.1\", \"description\": \"Unit\"}";
  }
  std::string error;
  EXPECT_FALSE(snapshot::ConnectionsFromCsv(csv + "not,checked,at all\n", &error));
  EXPECT_EQ(error, "line 258: the file holds more than 256 entries; the remote connection list holds at most 256");
  EXPECT_FALSE(snapshot::ConnectionsFromJson(json + "]", &error));
  EXPECT_THAT(error, HasSubstr("more than 256 entries"));
  EXPECT_FALSE(snapshot::ConnectionsFromCsv("address,description\n1.2.3.4," + std::string(2000, 'x') + "\n", &error));
  EXPECT_THAT(error, HasSubstr("line 2: a cell longer than 1024 characters"));
}

TEST(ConnectionBook, DuplicateRowsAreNamedByTheirLines) {
  const auto rows = snapshot::ConnectionsFromCsv("address,description\n1.2.3.4,A\n5.6.7.8,B\n1.2.3.4,C\n", nullptr);
  ASSERT_TRUE(rows);
  EXPECT_EQ(snapshot::DuplicateRowWarnings(*rows),
            (std::vector<std::string>{"line 4: 1.2.3.4 is already on line 2; only the first entry of an address is used"}));
}

}  // namespace
}  // namespace vqx::cli
