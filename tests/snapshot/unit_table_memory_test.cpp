// A unit table is read one record at a time: a hostile file costs no more than its
// longest record, and a large one no more than its rows. Counts allocations, so it is a
// test binary of its own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/allocation_counter.h"
#include "unit_table.h"

namespace vqx::snapshot {
namespace {

using ::testing::StartsWith;

struct Cost {
  long allocations;
  long long peakBytes;
};

Cost Parse(const std::string& text, std::optional<UnitTable>* table, std::string* error) {
  const long before = vqx::testing::allocationCount.load();
  const long long held = vqx::testing::bytesHeld.load();
  vqx::testing::ResetPeak();
  *table = ParseUnitTable(text, error);
  return {vqx::testing::allocationCount.load() - before, vqx::testing::PeakGrowthSince(held)};
}

TEST(UnitTableMemory, AHeaderOfAMillionColumnsOrAHugeCellIsRefusedBeforeItIsHeld) {
  std::string header = "port";
  for (int i = 0; i < 1000000; ++i) header += ",name";
  std::optional<UnitTable> table;
  std::string error;
  Cost cost = Parse(header + "\n", &table, &error);
  EXPECT_FALSE(table);
  EXPECT_THAT(error, StartsWith("line 1: more than "));
  EXPECT_LT(cost.allocations, 1000);

  const std::string hugeCell = "port,name\nCOM1,\"" + std::string(8u * 1024u * 1024u, 'x') + "\"\n";
  cost = Parse(hugeCell, &table, &error);
  EXPECT_FALSE(table);
  EXPECT_THAT(error, StartsWith("line 2: a cell longer than 1024 characters"));
  EXPECT_LT(cost.peakBytes, 64 * 1024);
}

TEST(UnitTableMemory, AHundredThousandRowsCostTheirRowsAndNotTheHeaderOrTheTextOverAgain) {
  // A wide header: copying it per row would cost far more than the row itself.
  std::string text =
      "macAddress,port,name,ipAddress,serverIp,gateway,subnetMask,vocoderText,allowHttpConnectionManagement\n";
  char row[160];
  for (unsigned i = 0; i < kMostUnitRows; ++i) {
    std::snprintf(row, sizeof row, "00:50:C2:%02X:%02X:%02X,,U%u,10.%u.%u.%u,,,,,\n", i >> 16, (i >> 8) & 0xFF,
                  i & 0xFF, i, i >> 16, (i >> 8) & 0xFF, i & 0xFF);
    text += row;
  }
  std::optional<UnitTable> table;
  std::string error;
  const Cost cost = Parse(text, &table, &error);
  ASSERT_TRUE(table) << error;
  ASSERT_EQ(table->rows.size(), kMostUnitRows);
  // What the rows hold (a record, a MAC, two field names each) and the maps that find a
  // repeated MAC, name or address: about 870 bytes a row. Keeping a row's cells or the
  // header with it, or growing the list by copying it, passes that.
  const long long perRow = cost.peakBytes / static_cast<long long>(kMostUnitRows);
  EXPECT_LT(perRow, 1100) << cost.peakBytes << " bytes in all";
  EXPECT_LT(cost.allocations / static_cast<long>(kMostUnitRows), 16) << cost.allocations << " allocations in all";
}

}  // namespace
}  // namespace vqx::snapshot
