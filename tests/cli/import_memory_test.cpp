// Hostile imports end in their refusal within a few times the file's size: before, 16 MB
// of blank lines took 2.5 GB and emptied the list, 15 MB of "a," lines 1 GB, and a 15 MB
// JSON list of empty objects 0.5 GB (3 GB as a History). Counts the bytes allocated, so
// it is a test binary of its own.

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
#include "support/allocation_counter.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;
constexpr size_t kMegabyte = 1024 * 1024;

class ImportMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vqxctl-import-memory-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // A list of two entries and an empty History.
    auto block = std::make_unique<PreferencesBlock>();
    std::memset(block.get(), 0, sizeof(PreferencesBlock));
    block->formatMark = kPreferencesFormatMark;
    std::strcpy(block->connectionAddresses[0], "10.0.0.5");
    std::strcpy(block->connectionDescriptions[0], "Tower");
    std::strcpy(block->connectionAddresses[1], "10.0.0.6");
    std::strcpy(block->connectionDescriptions[1], "Mast");
    block->connectionCount = 2;
    prefsBytes_ = std::string(reinterpret_cast<const char*>(block.get()), sizeof(PreferencesBlock));
    Write("VQXSU_Prefs.cfg", prefsBytes_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Prefs() const {
    std::ostringstream out;
    out << std::ifstream(Path("VQXSU_Prefs.cfg"), std::ios::binary).rdbuf();
    return out.str();
  }

  struct Measured {
    int code;
    std::string err;
    long long peak;  // bytes beyond what was held when the command started
  };
  Measured Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliEnvironment env{out, err};
    const long long held = vqx::testing::bytesHeld.load();
    vqx::testing::ResetPeak();
    const int code = RunVqxctl(args, env);
    return {code, err.str(), vqx::testing::PeakGrowthSince(held)};
  }

  std::string dir_;
  std::string prefsBytes_;
};

TEST_F(ImportMemory, HostileAddressBooksAreRefusedWithinTwiceTheirSizeAndTheListStays) {
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      // Exactly the largest file read: blank lines are skipped, and no entries are left.
      {"blank.csv", "address,description\n" + std::string(16 * kMegabyte - 20, '\n'), "holds no entries"},
      {"cells.csv", [] {
         std::string text = "address,description\n";
         while (text.size() < 15 * kMegabyte) text += "a,\n";
         return text;
       }(),
       "line 2: \"a\" is not an IP address"},
      {"objects.json", [] {
         std::string text = "[";
         while (text.size() < 15 * kMegabyte) text += "{},";
         return text + "{}]";
       }(),
       "more than 256 entries"},
      {"names.json", [] {
         std::string text = "[{";
         for (size_t n = 0; text.size() < 15 * kMegabyte; ++n) text += "\"" + std::to_string(n) + "\":0,";
         return text + "\"x\":0}]";
       }(),
       "more than 8 names or list elements in one entry"},
  };
  for (const auto& c : cases) {
    Write(c.name, c.text);
    const Measured run = Run({"connections", "import", Path(c.name), "--prefs", Path("VQXSU_Prefs.cfg")});
    EXPECT_EQ(run.code, 6) << c.name;
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.name;
    EXPECT_LT(run.peak, static_cast<long long>(2 * c.text.size())) << c.name << ": " << run.peak << " bytes";
    EXPECT_TRUE(Prefs() == prefsBytes_) << c.name << ": the preferences file changed";
  }
}

TEST_F(ImportMemory, AHistoryOfMillionsOfObjectsOrNamesIsRefusedWithinTwiceItsSize) {
  std::string objects = "[";
  while (objects.size() < 15 * kMegabyte) objects += "{},";
  std::string names = "[{";
  for (size_t n = 0; names.size() < 15 * kMegabyte; ++n) names += "\"" + std::to_string(n) + "\":0,";
  std::string unsupported = "[{\"unsupported\": [";
  while (unsupported.size() < 15 * kMegabyte) unsupported += "\"a\",";
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"objects.json", objects + "{}]", "more than 200 entries"},
      {"names.json", names + "\"x\":0}]", "in one object or inner list; a snapshot has fewer fields"},
      {"unsupported.json", unsupported + "\"a\"]}]", "in one object or inner list; a snapshot has fewer fields"},
  };
  for (const auto& c : cases) {
    Write(c.name, c.text);
    const Measured run = Run({"history", "import", Path(c.name), "--prefs", Path("VQXSU_Prefs.cfg")});
    EXPECT_EQ(run.code, 6) << c.name;
    EXPECT_THAT(run.err, HasSubstr(c.says)) << c.name;
    EXPECT_LT(run.peak, static_cast<long long>(2 * c.text.size())) << c.name << ": " << run.peak << " bytes";
    EXPECT_TRUE(Prefs() == prefsBytes_) << c.name << ": the preferences file changed";
  }
}

}  // namespace
}  // namespace vqx::cli
