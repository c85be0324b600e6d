// A file of nothing but '[' must be refused for what it is before it costs memory: the
// document for 16 MB of brackets took 1.27 GB. Counts allocations, so it is a test binary
// of its own.

#include <gtest/gtest.h>

#include <string>

#include "snapshot.h"
#include "support/allocation_counter.h"

namespace vqx::snapshot {
namespace {

TEST(SnapshotJsonMemory, AFileOfBracketsIsRefusedWithAHandfulOfAllocations) {
  const std::string brackets(4u * 1024u * 1024u, '[');
  std::string error;
  const long before = vqx::testing::allocationCount.load();
  const bool parsed = ParseJsonText(brackets, &error).has_value();
  const long allocations = vqx::testing::allocationCount.load() - before;
  EXPECT_FALSE(parsed);
  EXPECT_LT(allocations, 200) << "one node per bracket was built before the refusal";
  EXPECT_NE(error.find("nested deeper"), std::string::npos) << error;
}

}  // namespace
}  // namespace vqx::snapshot
