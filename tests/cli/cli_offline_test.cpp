// vqxctl's commands that need no unit: History of a preferences file, comparing two
// snapshot files, refusing damaged input, the command line itself.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "app/preferences_block.h"
#include <nlohmann/json.hpp>

#include "cli_run.h"
#include "preferences_path.h"
#include "vqx_version.h"
#include "support/sample_settings.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

using Outcome = testing::VqxctlOutcome;

DeviceSettings Entry(const char* serial, const char* name, uint8_t lastOctet, int32_t vocoder) {
  DeviceSettings s = testing::Record(serial, name, {10, 0, 0, lastOctet}, 2000);
  testing::SetText(s.webPassword, "admin");
  testing::SetText(s.firmwareVersion, "VQX-2 v1.00");
  testing::SetText(s.macAddress, "00:50:C2:12:34:56");
  testing::SetAddress(s.subnetMask, {255, 255, 255, 0});
  s.commandPort = 2001;
  s.vocoder = vocoder;
  s.hangTime = 1000;
  testing::SetSerialLine(s, 9600, 8, 1, 'N');
  s.qosDscp = 46;
  s.padding1[1] = 0x5A;  // bytes no field names still travel with the entry
  return s;
}

class CliOffline : public ::testing::Test {
 protected:
  ~CliOffline() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
  }
  std::string ReadFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  // A preferences file as the desktop program leaves it, with entries in its History.
  std::string WritePrefs(const std::string& name, const std::vector<DeviceSettings>& entries) {
    auto block = std::make_unique<PreferencesBlock>();
    std::memset(block.get(), 0, sizeof(PreferencesBlock));
    block->formatMark = kPreferencesFormatMark;
    block->view = 4;
    block->baudRate = 9600;
    block->dataBits = 8;
    block->stopBits = 1;
    block->parity = 'N';
    std::strcpy(block->portName, "/dev/ttyUSB0");
    std::strcpy(block->connectionAddresses[0], "10.1.2.3");
    std::strcpy(block->connectionDescriptions[0], "Hill top");
    block->connectionCount = 1;
    for (size_t i = 0; i < entries.size(); ++i) block->history[i] = entries[i];
    block->historyCount = static_cast<int32_t>(entries.size());
    return WriteFile(name, std::string(reinterpret_cast<const char*>(block.get()), sizeof(PreferencesBlock)));
  }

  static std::filesystem::path MakeDirectory() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqxctl-offline-" + std::to_string(::getpid()) + "-" +
                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path dir_ = MakeDirectory();
};

TEST_F(CliOffline, HistoryExportThenImportIntoAnEmptyHistoryRestoresTheFileByteForByte) {
  const std::vector<DeviceSettings> entries = {Entry("A17", "Tower", 5, 1), Entry("B2", "Relay, \"north\"", 6, 4),
                                               Entry("C3", "Depot", 7, 5)};
  const std::string original = WritePrefs("VQXSU_Prefs.cfg", entries);
  const std::string restored = WritePrefs("restored.cfg", {});
  const std::string backup = Path("backup.json");

  Outcome run = Vqxctl({"history", "export", "--prefs", original, "--output", backup});
  ASSERT_EQ(run.code, 0) << run.err;
  run = Vqxctl({"history", "import", backup, "--prefs", restored});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "Imported 3 entries; the History now holds 3.\n");
  EXPECT_EQ(ReadFile(restored), ReadFile(original));

  // Exporting the restored file gives the same backup again.
  run = Vqxctl({"history", "export", "--prefs", restored});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, ReadFile(backup));
}

TEST_F(CliOffline, HistoryImportPastTwoHundredEntriesIsRefusedAndTheFileIsUntouched) {
  const std::string source = WritePrefs("source.cfg", {Entry("A17", "Tower", 5, 1), Entry("B2", "Relay", 6, 4)});
  const std::string backup = Path("backup.json");
  ASSERT_EQ(Vqxctl({"history", "export", "--prefs", source, "-o", backup}).code, 0);
  const std::string full = WritePrefs("full.cfg", std::vector<DeviceSettings>(199, Entry("X", "Full", 9, 2)));
  const std::string before = ReadFile(full);

  const Outcome run = Vqxctl({"history", "import", backup, "--prefs", full});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("nothing was imported"));
  EXPECT_EQ(ReadFile(full), before);
}

TEST_F(CliOffline, HistoryListShowsTheListLinesAndShowPrintsTheReport) {
  const std::string prefs = WritePrefs("p.cfg", {Entry("A17", "Tower", 5, 1), Entry("B2", "Relay", 6, 4)});
  Outcome run = Vqxctl({"history", "list", "--prefs", prefs});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "1  A17 Tower (10.0.0.5:2000)\n2  B2 Relay (10.0.0.6:2000)\n");

  run = Vqxctl({"history", "show", "2", "--prefs", prefs});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("---\nSerial Number: B2\nName: Relay\nIP Address: 10.0.0.6:2000\n"));
  EXPECT_THAT(run.out, HasSubstr("Vocoder: ADPCM 32Kbps\n"));
  EXPECT_THAT(run.out, Not(HasSubstr("A17")));

  run = Vqxctl({"history", "show", "3", "--prefs", prefs});
  EXPECT_EQ(run.code, 6);
  run = Vqxctl({"history", "show", "two", "--prefs", prefs});
  EXPECT_EQ(run.code, 2);
}

TEST_F(CliOffline, DamagedPreferencesFilesAreRefusedWithTheirReason) {
  const std::string shortFile = WriteFile("short.cfg", std::string(100, '\x11'));
  Outcome run = Vqxctl({"history", "list", "--prefs", shortFile});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("100 bytes"));
  run = Vqxctl({"history", "list", "--prefs", Path("missing.cfg")});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("missing.cfg"));
}

TEST_F(CliOffline, DiffOfTwoSnapshotsNamesExactlyTheDifferingFieldsAndExitsOne) {
  const std::string a = WriteFile("a.json", R"({ "name": "Tower", "vocoder": 1, "hangTime": 500, "voipPort": 2000 })");
  const std::string b = WriteFile("b.json", R"({ "name": "Tower", "vocoder": 3, "hangTime": 500, "rxDelay": 20 })");
  Outcome run = Vqxctl({"diff", a, b});
  EXPECT_EQ(run.code, 1) << run.err;
  std::vector<std::string> lines;
  std::istringstream text(run.out);
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_THAT(lines[0], ::testing::MatchesRegex("Setting +" + a + " +" + b));
  EXPECT_THAT(lines[1], ::testing::MatchesRegex("Vocoder +GSM 13Kbps +ADPCM 24Kbps"));
  EXPECT_EQ(lines[2], "Not compared: voipPort (only in " + a + ")");
  EXPECT_EQ(lines[3], "Not compared: rxDelay (only in " + b + ")");

  run = Vqxctl({"diff", a, a});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "No differences between " + a + " and " + a + ".\n");
}

TEST_F(CliOffline, DiffAgainstAHistoryEntryNeedsAUnit) {
  const std::string prefs = WritePrefs("p.cfg", {Entry("A17", "Tower", 5, 1)});
  const Outcome run = Vqxctl({"diff", "--history", "1", "--prefs", prefs});
  EXPECT_EQ(run.code, 2);
}

TEST_F(CliOffline, SnapshotSourcesRefuseWhatCannotBeSetAndNameTheReason) {
  struct Case {
    const char* content;
    const char* reason;
  };
  const Case cases[] = {
      {"", "empty"},
      {"[1, 2]", "object"},
      {R"({ "nmae": "Tower" })", "nmae"},
      {R"({ "hangTime": 750 })", "hangTime"},
      {R"({ "name": "two\nlines" })", "name"},
      {R"({ "ipAddress": "10.0.0.256" })", "ipAddress"},
  };
  for (const Case& c : cases) {
    SourceArgs source;
    source.file = WriteFile("case.json", c.content);
    std::string error;
    EXPECT_FALSE(LoadSnapshotSource(source, &error)) << c.content;
    EXPECT_THAT(error, HasSubstr(c.reason)) << c.content;
    EXPECT_THAT(error, HasSubstr(source.file)) << c.content;
  }

  const std::string prefs = WritePrefs("p.cfg", {Entry("A17", "Tower", 5, 1)});
  SourceArgs history;
  history.historyNumber = 2;
  history.prefs = prefs;
  std::string error;
  EXPECT_FALSE(LoadSnapshotSource(history, &error));
  EXPECT_THAT(error, HasSubstr("no History entry 2 (it holds 1)"));
  history.historyNumber = 1;
  const auto loaded = LoadSnapshotSource(history, &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_STREQ(loaded->partial.values.name, "Tower");
  EXPECT_TRUE(loaded->partial.Has("vocoder"));
  EXPECT_TRUE(loaded->partial.Has("allowTelnet"));
}

TEST_F(CliOffline, WrongCommandLinesExitWithTheUsageCodeAndOpenNothing) {
  const std::string file = WriteFile("a.json", R"({ "name": "Tower" })");
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"frobnicate"},
      {"read"},                                                   // no port
      {"read", "--port", "/dev/null", "--demo"},                  // both
      {"read", "--port", "/dev/null", "--parity", "X"},
      {"apply", "--port", "/dev/null"},                           // no source
      {"apply", "--port", "/dev/null", file, "--history", "1", "--prefs", file},
      {"apply", "--port", "/dev/null", "--history", "1"},         // no --prefs
      {"diff", file},                                             // one file, no unit
      {"send", "--port", "/dev/null", "NAME\nTRAN"},
      {"history", "list"},                                        // no --prefs
  };
  for (const auto& args : lines) {
    const Outcome run = Vqxctl(args);
    EXPECT_EQ(run.code, 2) << ::testing::PrintToString(args) << run.err;
    EXPECT_THAT(run.err, HasSubstr("vqxctl --help")) << ::testing::PrintToString(args);
  }
}

TEST_F(CliOffline, EveryJsonPathRefusesOverflowDuplicatesAndDeepNestingWithTheBadInputCode) {
  const std::string prefs = WritePrefs("p.cfg", {Entry("A17", "Tower", 5, 1)});
  const std::string before = ReadFile(prefs);
  const std::string contents[] = {
      R"({"voipPort": 1e400})", R"([{"vocoder": -1e400}])", R"({"name": "A", "name": "B"})",
      std::string(100000, '['),
  };
  for (const std::string& content : contents) {
    const std::string file = WriteFile("bad.json", content);
    const std::vector<std::vector<std::string>> lines = {
        {"diff", file, file},
        {"apply", "--port", Path("no-such-port"), file},
        {"history", "import", file, "--prefs", prefs},
    };
    for (const auto& args : lines) {
      const Outcome run = Vqxctl(args);
      EXPECT_EQ(run.code, 6) << args[0] << " " << content.substr(0, 30);
      EXPECT_THAT(run.err, HasSubstr("vqxctl: " + file + ": ")) << args[0];
      EXPECT_THAT(run.err, Not(HasSubstr("could not be opened"))) << "the port is not touched";
    }
  }
  EXPECT_EQ(ReadFile(prefs), before);
}

TEST_F(CliOffline, ARecordWithValuesThatCannotBeSentIsRefusedBeforeThePortIsOpened) {
  // An export's record is taken byte for byte: a name with CR and a vocoder no list has.
  DeviceSettings hostile = Entry("A17", "Tower\rSAVE", 5, 1);
  DeviceSettings vocoder = Entry("A17", "Tower", 5, 9);
  const std::string prefs = WritePrefs("p.cfg", {hostile, vocoder});
  const std::string backup = Path("backup.json");
  ASSERT_EQ(Vqxctl({"history", "export", "--prefs", prefs, "-o", backup}).code, 0);
  const nlohmann::json list = nlohmann::json::parse(ReadFile(backup));
  const std::string reasons[] = {"name: the text contains a line break", "vocoder: 9 is not offered"};
  for (size_t i = 0; i < 2; ++i) {
    const std::string file = WriteFile("entry" + std::to_string(i) + ".json", list[i].dump());
    const Outcome run = Vqxctl({"apply", "--port", Path("no-such-port"), file});
    EXPECT_EQ(run.code, 6) << run.err;
    EXPECT_THAT(run.err, HasSubstr(file + ": " + reasons[i]));
    EXPECT_THAT(run.err, HasSubstr("nothing was sent"));
  }
}

TEST_F(CliOffline, MessagesNameTheFileAndTheirReasonOnce) {
  std::string damaged(sizeof(PreferencesBlock), '\0');
  damaged[0] = static_cast<char>(kPreferencesFormatMark);
  const int32_t count = 201;
  std::memcpy(damaged.data() + offsetof(PreferencesBlock, historyCount), &count, sizeof count);
  const std::string count201 = WriteFile("count201.cfg", damaged);
  Outcome run = Vqxctl({"history", "list", "--prefs", count201});
  EXPECT_EQ(run.code, 6);
  EXPECT_EQ(run.err, "vqxctl: " + count201 + ": damaged: the History count is 201, outside 0..200\n");

  SourceArgs source;
  source.historyNumber = 1;
  source.prefs = count201;
  std::string error;
  EXPECT_FALSE(LoadSnapshotSource(source, &error));
  EXPECT_EQ(error, count201 + ": damaged: the History count is 201, outside 0..200");

  const std::string full = WritePrefs("full.cfg", std::vector<DeviceSettings>(200, Entry("X", "Full", 9, 2)));
  const std::string one = WriteFile("one.json", R"({"name": "One"})");
  run = Vqxctl({"history", "import", one, "--prefs", full});
  EXPECT_EQ(run.code, 6);
  EXPECT_EQ(run.err, "vqxctl: " + full + ": The history list is already full (200 entries); nothing was imported\n");
}

TEST_F(CliOffline, ARebootWaitThatIsNoNumberOfSecondsIsAUsageError) {
  const std::string file = WriteFile("a.json", R"({ "name": "Tower" })");
  for (const char* wait : {"nan", "NaN", "inf", "-inf", "-1", "601", "1e400", "ten", "5s", ""}) {
    const Outcome run = Vqxctl({"apply", "--port", Path("no-such-port"), file, "--reboot-wait", wait});
    EXPECT_EQ(run.code, 2) << wait << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr("takes seconds from 0 to 600")) << wait;
  }
  // A good one passes the command line and fails only at the port.
  EXPECT_EQ(Vqxctl({"apply", "--port", Path("no-such-port"), file, "--reboot-wait", "2.5"}).code, 3);
}

TEST_F(CliOffline, AFailureInsideACommandEndsWithItsOwnCodeAndAMessageNotAnAbort) {
  std::ostringstream out, err;
  CliEnvironment env{out, err};
  env.listPorts = []() -> std::vector<SerialPortEntry> { throw std::runtime_error("the survey broke"); };
  EXPECT_EQ(RunVqxctl({"ports"}, env), kExitFailed);
  EXPECT_EQ(err.str(), "vqxctl: failed: the survey broke\n");
  env.listPorts = []() -> std::vector<SerialPortEntry> { throw std::bad_alloc(); };
  EXPECT_EQ(RunVqxctl({"ports"}, env), kExitFailed);
  EXPECT_THAT(err.str(), HasSubstr("vqxctl: out of memory\n"));
}

TEST_F(CliOffline, AUnitsTextsReachTheTerminalWithTheirControlCharactersShownNotRun) {
  const std::string prefs =
      WritePrefs("p.cfg", {Entry("A\x1b[2J", "\x1b]0;owned\x07Tower\\1", 5, 1), Entry("B2", "Relay\x9b" "1m", 6, 4)});
  Outcome run = Vqxctl({"history", "list", "--prefs", prefs});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "1  A\\x1b[2J \\x1b]0;owned\\x07Tower\\\\1 (10.0.0.5:2000)\n2  B2 Relay\\x9b1m (10.0.0.6:2000)\n");

  run = Vqxctl({"history", "show", "--prefs", prefs});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Name: \\x1b]0;owned\\x07Tower\\\\1\n"));
  EXPECT_THAT(run.out, HasSubstr("---\nSerial Number: B2\n"));  // line ends stay line ends
  for (const std::string& text : {Vqxctl({"history", "list", "--prefs", prefs}).out, run.out}) {
    EXPECT_EQ(text.find_first_of("\x1b\x07\x9b\r"), std::string::npos);
  }
  // JSON escapes them its own way and stays as it was.
  run = Vqxctl({"history", "show", "1", "--format", "json", "--prefs", prefs});
  EXPECT_THAT(run.out, HasSubstr(R"("name": "\u001b]0;owned\u0007Tower\\1")"));

  const std::string a = WriteFile("a.json", R"({ "name": "\u001b[2JTower" })");
  const std::string b = WriteFile("b.json", R"({ "name": "Tower\t" })");
  run = Vqxctl({"diff", a, b});
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.out, ::testing::MatchesRegex(".*\nName +\\\\x1b\\[2JTower +Tower\\\\t\n"));
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
}

TEST_F(CliOffline, ExportsToATerminalShowControlsEscapedAndJsonEscapesC1AndDel) {
  const std::string prefs =
      WritePrefs("p.cfg", {Entry("A1", "\x1b]0;owned\x07Tower", 5, 1), Entry("\nB2", "Relay\x9b" "1m\x7f", 6, 4)});
  std::ostringstream out, err;
  CliEnvironment terminal{out, err};
  terminal.outIsTerminal = true;
  ASSERT_EQ(RunVqxctl({"history", "export", "--format", "csv", "--prefs", prefs}, terminal), 0) << err.str();
  EXPECT_THAT(out.str(), HasSubstr(",\\x1b]0;owned\\x07Tower,"));
  EXPECT_THAT(out.str(), HasSubstr(",Relay\\u009b1m\\x7f,"));
  EXPECT_EQ(out.str().find_first_of("\x1b\x07\x7f"), std::string::npos);
  EXPECT_EQ(out.str().find("\xC2\x9B"), std::string::npos);
  // A serial number that starts with a line feed is neutralised as one with a CR is.
  EXPECT_THAT(out.str(), HasSubstr("\"'\nB2\""));

  Outcome run = Vqxctl({"history", "export", "--format", "csv", "--prefs", prefs});
  EXPECT_THAT(run.out, HasSubstr(",\x1b]0;owned\x07Tower,")) << "a pipe or a file gets the bytes";

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"history", "show", "2", "--format", "json", "--prefs", prefs},
        std::vector<std::string>{"history", "export", "--prefs", prefs}}) {
    run = Vqxctl(args);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr(R"("name": "Relay\u009b1m\u007f")")) << args[1];
    EXPECT_EQ(run.out.find_first_of("\x7f\x9b"), std::string::npos) << args[1];
  }
}

TEST_F(CliOffline, RefusalsQuotingAFilesKeysOrTextShowTheirControlsEscaped) {
  const std::string a = WriteFile("a.json", R"({ "\u001b]0;owned\u0007": 1 })");
  const std::string b = WriteFile("b.json", "{ \"name\": \x1b[2J }");
  const std::string c = WriteFile("c.json", R"([{ "na\u009bme": 1 }])");
  const std::string prefs = WritePrefs("p.cfg", {});
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"diff", a, a}, std::vector<std::string>{"diff", b, b},
        std::vector<std::string>{"history", "import", c, "--prefs", prefs}}) {
    const Outcome run = Vqxctl(args);
    EXPECT_EQ(run.code, 6) << args[1] << ": " << run.err;
    EXPECT_EQ(run.err.find_first_of("\x1b\x07"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("\xC2\x9B"), std::string::npos) << run.err;
  }
  EXPECT_THAT(Vqxctl({"diff", a, a}).err, HasSubstr("\"\\x1b]0;owned\\x07\": not a field of a snapshot"));
}

TEST_F(CliOffline, HelpDocumentsEveryExitCode) {
  const Outcome run = Vqxctl({"--help"});
  EXPECT_EQ(run.code, 0);
  for (const char* line : {"  3  the serial port could not be opened", "  4  the VQX-2 is not responding",
                           "  5  the VQX-2 did not take a setting", "  6  an input file is damaged",
                           "  8  the VQX-2 did not confirm TRAN", "  9  vqxctl itself failed"}) {
    EXPECT_THAT(run.out, HasSubstr(line));
  }
}

TEST_F(CliOffline, VersionPrintsTheProjectVersionAloneAndExitsZero) {
  const Outcome run = Vqxctl({"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "vqxctl " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE "\n") << "not the help";
  EXPECT_EQ(run.err, "");
}

TEST_F(CliOffline, HistoryHelpSaysWhereThePreferencesFilesAreFromTheRoot) {
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
  const Outcome history = Vqxctl({"history", "--help"});
  const Outcome given = Vqxctl({"history", "import", "--prefs", "sub/../VQXSU_Prefs.cfg", "--help"});
  const Outcome missing = Vqxctl({"history", "list"});
  ASSERT_EQ(::chdir(previous), 0);

  const std::string here = (std::filesystem::canonical(dir_) / "VQXSU_Prefs.cfg").string();
  EXPECT_EQ(history.code, 0);
  EXPECT_THAT(history.out, HasSubstr("  vqxsu started here:             " + here + "\n"));
  EXPECT_THAT(history.out, Not(HasSubstr("Preferences file given")));
  EXPECT_THAT(history.out, HasSubstr("  3  the serial port could not be opened")) << "the exit codes stay";
  EXPECT_EQ(given.code, 0);
  EXPECT_THAT(given.out, HasSubstr("Preferences file given: " + here + "\n"));
  EXPECT_EQ(missing.code, 2) << "--prefs is still needed: a History is never written by chance";
}

TEST(PreferencesWhereabouts, TheDesktopMenuLineNeedsAnAbsoluteHome) {
  EXPECT_THAT(PreferencesWhereabouts("", "/home/tech/"),
              HasSubstr("  started from the desktop menu:  /home/tech/VQXSU_Prefs.cfg\n"));
  EXPECT_THAT(PreferencesWhereabouts("", nullptr), Not(HasSubstr("desktop menu")));
  EXPECT_THAT(PreferencesWhereabouts("", ""), Not(HasSubstr("desktop menu")));
  EXPECT_THAT(PreferencesWhereabouts("", "relative"), Not(HasSubstr("desktop menu")));
  EXPECT_THAT(PreferencesWhereabouts("/etc/../srv/p.cfg", nullptr), StartsWith("Preferences file given: /srv/p.cfg\n"));
}

// A search the unit could never answer is refused before any port is touched.
TEST_F(CliOffline, DetectionRefusesRatesAndFramingsTheUnitDoesNotOfferAndNeedsAPort) {
  const std::string missing = Path("no-such-port");
  Outcome r = Vqxctl({"detect", "--port", missing, "--rates", "9600,1234"});
  EXPECT_EQ(r.code, 2);
  EXPECT_THAT(r.err, HasSubstr("not 1234"));
  r = Vqxctl({"detect", "--port", missing, "--framings", "8N1,9N1"});
  EXPECT_EQ(r.code, 2);
  EXPECT_THAT(r.err, HasSubstr("not \"9N1\""));
  r = Vqxctl({"read", "--port", missing, "--detect", "--framings", "8X1"});
  EXPECT_EQ(r.code, 2);
  r = Vqxctl({"detect"});
  EXPECT_EQ(r.code, 2);
  // A port that does not exist: exit 3 with the reason, nothing printed as found.
  r = Vqxctl({"detect", "--port", missing, "--rates", "9600", "--framings", "8N1"});
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, HasSubstr("no-such-port"));
}

}  // namespace
}  // namespace vqx::cli
