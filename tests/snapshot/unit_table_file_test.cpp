// Template and unit table files as the program reads them; POSIX temporary folders.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/sample_settings.h"
#include "unit_table.h"

namespace vqx::snapshot {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class FleetFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vqx-fleet-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& content) {
    const std::string path = dir_ + "/template.json";
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string dir_;
};

TEST_F(FleetFile, ATemplateWrittenFromAUnitIsReadBackWithoutItsIdentity) {
  const DeviceSettings unit = testing::SampleSettings();
  for (const bool keepPassword : {false, true}) {
    const nlohmann::json j = ToTemplateJson(unit, {}, keepPassword);
    for (const char* identity : {"name", "ipAddress", "macAddress", "serialNumber", "firmwareVersion", "dhcp"}) {
      EXPECT_FALSE(j.contains(identity)) << identity;
    }
    EXPECT_EQ(j.contains("webPassword"), keepPassword);
    std::string error;
    const std::optional<PartialSettings> loaded = LoadTemplateFile(Write(DumpJson(j)), &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->values.vocoder, unit.vocoder);
    EXPECT_EQ(loaded->values.securityFlags, unit.securityFlags);
    EXPECT_FALSE(loaded->Has("name"));
    EXPECT_EQ(loaded->Has("webPassword"), keepPassword);
  }
}

TEST_F(FleetFile, AnIdentityFieldOrARecordIsRefusedByNameBeforeItsValueIsLookedAt) {
  for (const char* identity : {"name", "ipAddress", "macAddress", "serialNumber", "firmwareVersion", "dhcp"}) {
    std::string error;
    const std::string path = Write(std::string("{\"vocoder\": 1, \"") + identity + "\": 12345}");
    EXPECT_FALSE(LoadTemplateFile(path, &error));
    EXPECT_THAT(error, StartsWith(path + ": " + identity + ": a template holds what every unit shares")) << identity;
  }
  std::string error;
  const std::string path = Write("{\"vocoder\": 1, \"record\": \"00\"}");
  EXPECT_FALSE(LoadTemplateFile(path, &error));
  EXPECT_THAT(error, StartsWith(path + ": record: a template holds named fields only"));
  EXPECT_FALSE(LoadTemplateFile(Write("{\"vocoder\": 9}"), &error));
  EXPECT_THAT(error, HasSubstr("template.json: vocoder: 9 is not offered"));
}

TEST_F(FleetFile, AUnitTableFileIsRefusedUnderItsOwnName) {
  std::string error;
  EXPECT_FALSE(LoadUnitTable(dir_ + "/none.csv", &error));
  EXPECT_EQ(error, dir_ + "/none.csv: does not exist");
  const std::string path = Write("port,name\nCOM1,\"A\n");
  EXPECT_FALSE(LoadUnitTable(path, &error));
  EXPECT_EQ(error, path + ": line 2: a quoted cell is not closed (its closing \" is missing)");
  const std::optional<UnitTable> table = LoadUnitTable(Write("port,name\nCOM1,A\n"), &error);
  ASSERT_TRUE(table) << error;
  EXPECT_EQ(table->rows.size(), 1u);
  EXPECT_FALSE(LoadUnitTable(Write(" \r\n"), &error));
  EXPECT_THAT(error, HasSubstr("template.json: the table is empty"));
}

// Linux names: what --port takes for a port, the table takes for it too.
TEST(UnitTablePorts, TwoNamesOfOnePortAreOnePortForLookupAndForDuplicates) {
  std::string error;
  const std::optional<UnitTable> table = ParseUnitTable("port,name\ncom1,A\nttyUSB0,B\n", &error);
  ASSERT_TRUE(table) << error;
  EXPECT_EQ(FindUnitRow(*table, "", "/dev/ttyS0"), &table->rows[0]);
  EXPECT_EQ(FindUnitRow(*table, "00:50:C2:12:34:56", "/dev/ttyUSB0"), &table->rows[1]);
  EXPECT_FALSE(ParseUnitTable("port,name\nCOM1,A\n/dev/ttyS0,B\n", &error));
  EXPECT_EQ(error, "line 3, column 1 (port): \"/dev/ttyS0\" is already on line 2; one unit hangs on each port");
}

// The parser took a NUL for the end of the text: what stood before it was a snapshot.
TEST_F(FleetFile, ASnapshotFileWithANulByteIsRefusedInsteadOfCutShort) {
  using namespace std::string_literals;
  const std::string path = Write("{\"vocoder\": 2}\n\0\0\0 and whatever came after"s);
  std::string error;
  EXPECT_FALSE(LoadSnapshotFile(path, &error));
  EXPECT_EQ(error, path + ": contains a NUL byte at line 2, column 1; a text file holds none (is it a binary file, "
                          "or saved as UTF-16?)");
}

}  // namespace
}  // namespace vqx::snapshot
