#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/settings_report.h"
#include "posix/posix_file_store.h"
#include "snapshot.h"
#include "support/sample_settings.h"
#include "support/memory_files.h"

namespace vqx::snapshot {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using vqx::testing::MemoryFileStore;
using vqx::testing::OddRecord;
using vqx::testing::SampleSettings;

constexpr const char* kPrefs = "VQXSU_Prefs.cfg";
constexpr size_t kHistoryOffset = offsetof(PreferencesBlock, history);
constexpr size_t kCountOffset = offsetof(PreferencesBlock, historyCount);

// A preferences file whose every byte means something to the test: the parts besides the
// History hold a pattern, entries alternate between a unit's record and odd records, and
// the slots past the count hold leftovers of removed entries.
std::string PrefsFile(int32_t count) {
  auto block = std::make_unique<PreferencesBlock>();
  auto* bytes = reinterpret_cast<unsigned char*>(block.get());
  for (size_t i = 0; i < sizeof(PreferencesBlock); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
  block->formatMark = kPreferencesFormatMark;
  for (int32_t i = 0; i < kHistoryCapacity; ++i) {
    DeviceSettings entry = i % 2 == 0 ? SampleSettings() : OddRecord(static_cast<unsigned char>(0x80 + i));
    entry.voipPort = 1000 + i;
    entry.padding1[1] = static_cast<uint8_t>(i);
    block->history[i] = entry;
  }
  block->historyCount = count;
  return std::string(reinterpret_cast<const char*>(block.get()), sizeof(PreferencesBlock));
}

// The same file with the History emptied: count 0 and the first slots cleared.
std::string Emptied(std::string file, size_t slots) {
  std::memset(file.data() + kHistoryOffset, 0, slots * sizeof(DeviceSettings));
  const int32_t zero = 0;
  std::memcpy(file.data() + kCountOffset, &zero, sizeof zero);
  return file;
}

std::unique_ptr<PreferencesBlock> Load(MemoryFileStore& store) {
  std::string error;
  auto block = LoadPreferences(store, kPrefs, &error);
  EXPECT_TRUE(block) << error;
  return block;
}

TEST(SnapshotHistory, ExportThenImportIntoAnEmptiedCopyIsByteIdentical) {
  MemoryFileStore store;
  const std::string original = PrefsFile(37);
  store.Put(kPrefs, original);
  const std::string exported = DumpJson(HistoryToJson(*Load(store)));

  store.Put(kPrefs, Emptied(original, 37));
  std::string error;
  int imported = 0;
  ASSERT_TRUE(ImportHistory(store, kPrefs, json::parse(exported), &error, &imported)) << error;
  EXPECT_EQ(imported, 37);
  EXPECT_TRUE(store.Content(kPrefs) == original) << "the imported file differs from the exported one";
}

TEST(SnapshotHistory, ImportThroughTheFileStoreOnDiskReplacesTheFileByteForByte) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vqx-history-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string original = PrefsFile(200);
  std::ofstream(dir / kPrefs, std::ios::binary) << Emptied(original, 200);

  MemoryFileStore source;
  source.Put(kPrefs, original);
  posix::PosixFileStore disk(dir.string());
  std::string error;
  ASSERT_TRUE(ImportHistory(disk, kPrefs, HistoryToJson(*Load(source)), &error)) << error;

  std::ifstream in(dir / kPrefs, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(written == original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1)
      << "no temporary file is left beside the preferences";
  std::filesystem::remove_all(dir);
}

TEST(SnapshotHistory, ImportAppendsAfterTheLastEntryAndLeavesEveryOtherByte) {
  MemoryFileStore store;
  const std::string original = PrefsFile(3);
  store.Put(kPrefs, original);
  DeviceSettings fresh = SampleSettings();
  std::strcpy(fresh.name, "Imported");
  std::string error;
  ASSERT_TRUE(ImportHistory(store, kPrefs, json::array({ToJson(fresh), ToJson(fresh)}), &error)) << error;

  const std::string now = store.Content(kPrefs);
  ASSERT_EQ(now.size(), original.size());
  const size_t start = kHistoryOffset + 3 * sizeof(DeviceSettings);
  const size_t end = start + 2 * sizeof(DeviceSettings);
  for (size_t i = 0; i < now.size(); ++i) {
    const bool changes = (i >= start && i < end) || (i >= kCountOffset && i < kCountOffset + 4);
    if (!changes) {
      ASSERT_EQ(now[i], original[i]) << "byte " << i;
    }
  }
  const auto block = Load(store);
  EXPECT_EQ(block->historyCount, 5);
  EXPECT_STREQ(block->history[4].name, "Imported");
  EXPECT_EQ(std::memcmp(&block->history[3], &block->history[4], sizeof(DeviceSettings)), 0);
}

TEST(SnapshotHistory, ImportPastTwoHundredEntriesIsRefusedWholeAndWritesNothing) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(198));
  const json three = json::array({ToJson(SampleSettings()), ToJson(SampleSettings()), ToJson(SampleSettings())});
  std::string error;
  EXPECT_FALSE(ImportHistory(store, kPrefs, three, &error));
  EXPECT_EQ(error, "the History holds 198 of 200 entries, so only 2 more fit, not 3; nothing was imported");
  EXPECT_EQ(store.replaces, 0);

  ASSERT_TRUE(ImportHistory(store, kPrefs, json::array({three[0], three[1]}), &error)) << error;
  EXPECT_EQ(Load(store)->historyCount, 200);

  EXPECT_FALSE(ImportHistory(store, kPrefs, ToJson(SampleSettings()), &error));
  EXPECT_THAT(error, StartsWith("The history list is already full"));
  EXPECT_EQ(store.replaces, 1);
}

TEST(SnapshotHistory, ABadEntryIsNamedAndNothingIsWritten) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(1));
  json entries = json::array({ToJson(SampleSettings()), ToJson(SampleSettings())});
  entries[1]["vocoder"] = 9;
  std::string error;
  EXPECT_FALSE(ImportHistory(store, kPrefs, entries, &error));
  EXPECT_THAT(error, StartsWith("entry 2: vocoder: 9 is not offered"));
  EXPECT_FALSE(ImportHistory(store, kPrefs, json("text"), &error));
  EXPECT_THAT(error, HasSubstr("a JSON array"));
  EXPECT_EQ(store.replaces, 0);
}

TEST(SnapshotHistory, AFailedWriteIsReportedNotClaimedAsImported) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(0));
  store.failWrites = true;
  std::string error;
  int imported = -1;
  EXPECT_FALSE(ImportHistory(store, kPrefs, ToJson(SampleSettings()), &error, &imported));
  EXPECT_EQ(error, "could not be written: the disk is full; the file is unchanged");
  EXPECT_EQ(imported, 0);
}

TEST(SnapshotHistory, DamagedPreferencesFilesAreRefusedWithTheirReason) {
  struct Case {
    std::string content;
    const char* words;
  };
  std::string badMark = PrefsFile(1);
  badMark[0] = 3;
  std::string badCount = PrefsFile(1);
  const int32_t count = 201;
  std::memcpy(badCount.data() + kCountOffset, &count, sizeof count);
  std::string negative = badCount;
  const int32_t minus = -1;
  std::memcpy(negative.data() + kCountOffset, &minus, sizeof minus);
  const std::vector<Case> cases = {
      {PrefsFile(1).substr(0, 1000), "it is 1000 bytes long, a preferences file exactly 86368"},
      {"", "it is 0 bytes long"},
      {PrefsFile(1) + "x", "it is more than 86368 bytes long"},
      {badMark, "its first byte is 3, not the format mark 17"},
      {badCount, "damaged: the History count is 201, outside 0..200"},
      {negative, "damaged: the History count is -1"},
  };
  for (const Case& c : cases) {
    MemoryFileStore store;
    store.Put(kPrefs, c.content);
    std::string error;
    EXPECT_FALSE(LoadPreferences(store, kPrefs, &error));
    EXPECT_THAT(error, Not(HasSubstr(kPrefs))) << "the caller names the file";
    EXPECT_THAT(error, HasSubstr(c.words));
    EXPECT_FALSE(ImportHistory(store, kPrefs, ToJson(SampleSettings()), &error));
    EXPECT_EQ(store.replaces, 0) << c.words;
  }
  MemoryFileStore none;
  std::string error;
  EXPECT_FALSE(LoadPreferences(none, kPrefs, &error));
  EXPECT_THAT(error, HasSubstr("cannot be opened"));
}

TEST(SnapshotHistory, ListLineAndReportsMatchTheDesktopProgram) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(3));
  const auto block = Load(store);
  EXPECT_EQ(HistoryListLine(block->history[0]), "SN0042 Tower East (10.0.0.5:1000)");

  DeviceSettings unterminated = SampleSettings();
  std::memset(unterminated.serialNumber, 'S', sizeof unterminated.serialNumber);
  EXPECT_EQ(HistoryListLine(unterminated), "SSSSSSSSSSSS Tower East (10.0.0.5:1221)");

  std::string error;
  EXPECT_EQ(HistoryReport(*block, 0, &error), FormatSettingsReport(std::span(block->history, 3)));
  EXPECT_EQ(HistoryReport(*block, 2, &error), FormatSettingsReport(std::span(block->history + 1, 1)));
  EXPECT_FALSE(HistoryReport(*block, 4, &error));
  EXPECT_EQ(error, "there is no History entry 4; the entries are numbered 1..3");
  EXPECT_FALSE(HistoryReport(*block, -1, &error));
}

TEST(SnapshotHistory, CsvQuotesCommasQuotesAndLineBreaks) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(0));
  auto block = Load(store);
  DeviceSettings a = SampleSettings();
  std::strcpy(a.name, "Tower \"A\", east");
  DeviceSettings b = SampleSettings();
  std::strcpy(b.name, "two\r\nlines");
  std::strcpy(b.webPassword, "plain");
  const DeviceSettings entries[] = {a, b};
  std::string error;
  ASSERT_TRUE(AppendHistory(*block, entries, &error)) << error;

  const std::string csv = HistoryToCsv(*block);
  EXPECT_THAT(csv, StartsWith("entry,serialNumber,name,ipAddress,voipPort,commandPort,serverIp,"));
  EXPECT_THAT(csv, HasSubstr("\r\n1,SN0042,\"Tower \"\"A\"\", east\",10.0.0.5,1221,23,192.168.7.9,"));
  EXPECT_THAT(csv, HasSubstr("\r\n2,SN0042,\"two\r\nlines\",10.0.0.5,"));
  EXPECT_THAT(csv, HasSubstr(",3,ADPCM 24Kbps,"));  // vocoder and its text
  EXPECT_THAT(csv, HasSubstr(",false,"));           // a security flag
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
}

TEST(SnapshotHistory, CsvCellsASpreadsheetWouldRunAsFormulasStartWithAnApostrophe) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(0));
  auto block = Load(store);
  const char* const names[] = {"=cmd|' /C calc'!A0", "+1", "-2+3", "@SUM(A1)", "\tTab", "\rCR", "'quoted", "A=1"};
  std::vector<DeviceSettings> entries;
  for (const char* name : names) {
    DeviceSettings s = SampleSettings();
    std::strcpy(s.name, name);
    std::strcpy(s.serialNumber, "=1+1");
    entries.push_back(s);
  }
  std::string error;
  ASSERT_TRUE(AppendHistory(*block, entries, &error)) << error;

  const std::string csv = HistoryToCsv(*block);
  EXPECT_THAT(csv, HasSubstr("\r\n1,\"'=1+1\",\"'=cmd|' /C calc'!A0\",10.0.0.5,"));
  EXPECT_THAT(csv, HasSubstr("\r\n2,\"'=1+1\",\"'+1\","));
  EXPECT_THAT(csv, HasSubstr("\r\n3,\"'=1+1\",\"'-2+3\","));
  EXPECT_THAT(csv, HasSubstr("\r\n4,\"'=1+1\",\"'@SUM(A1)\","));
  EXPECT_THAT(csv, HasSubstr("\r\n5,\"'=1+1\",\"'\tTab\","));
  EXPECT_THAT(csv, HasSubstr("\r\n6,\"'=1+1\",\"'\rCR\","));
  // One leading apostrophe always comes off again, so a text that had one gets another.
  EXPECT_THAT(csv, HasSubstr("\r\n7,\"'=1+1\",\"''quoted\","));
  EXPECT_THAT(csv, HasSubstr("\r\n8,\"'=1+1\",A=1,"));
  // Numbers are the program's own and stay numbers.
  EXPECT_THAT(csv, HasSubstr(",1221,23,"));
}

TEST(SnapshotHistory, ExportKeepsEachEntrysSerialNumberAndRecord) {
  MemoryFileStore store;
  store.Put(kPrefs, PrefsFile(2));
  const json list = HistoryToJson(*Load(store));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["serialNumber"], "SN0042");
  EXPECT_EQ(list[1]["record"].get<std::string>().size(), 656u);
}

}  // namespace
}  // namespace vqx::snapshot
