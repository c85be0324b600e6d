#include "protocol/line_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vqx {
namespace {

using Outcome = LineAssembler::Outcome;

struct Fed {
  std::string shown;
  std::vector<std::string> lines;
  std::vector<bool> remarks;
};

Fed FeedAll(LineAssembler& a, const std::string& bytes) {
  Fed f;
  for (char c : bytes) {
    const Outcome o = a.Feed(c);
    if (o != Outcome::Dropped) f.shown += c;
    if (o == Outcome::LineComplete) {
      f.lines.emplace_back(a.Line());
      f.remarks.push_back(a.Remark());
    }
  }
  return f;
}

TEST(LineAssembler, LineBreaksOutsideALineVanish) {
  LineAssembler a;
  const Fed f = FeedAll(a, "\r\n\n\rOK\r\n\n\r\rERR\n\r");
  EXPECT_EQ(f.shown, "OK\r\nERR\n");
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0], "OK\r\n");  // a CR inside a line is kept
  EXPECT_EQ(f.lines[1], "ERR\n");
}

TEST(LineAssembler, RemarkNeedsTheParenthesisRightBeforeLf) {
  LineAssembler a;
  const Fed f = FeedAll(a, "MYIP 1.2.3.4 (DHCP)\n\rMYIP 1.2.3.4 (DHCP)\r\nX)\n");
  ASSERT_EQ(f.remarks.size(), 3u);
  EXPECT_TRUE(f.remarks[0]);
  EXPECT_FALSE(f.remarks[1]);  // CR LF puts the CR before the LF
  EXPECT_TRUE(f.remarks[2]);
}

TEST(LineAssembler, OverlongLineIsShownWhollyButStoredCutToFitARecord) {
  LineAssembler a;
  const std::string longText(300, 'A');
  const Fed f = FeedAll(a, "NAME " + longText + ")\nOK\n");
  EXPECT_EQ(f.shown.size(), 5 + 300 + 2 + 3u);
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0].size(), static_cast<size_t>(LineAssembler::kMaxStored) + 1);
  EXPECT_EQ(f.lines[0].back(), '\n');
  EXPECT_FALSE(f.remarks[0]);  // the real last character was cut away
  EXPECT_EQ(f.lines[1], "OK\n");  // the next line starts clean
}

TEST(LineAssembler, LineOfExactlyTheLimitKeepsItsLastCharacter) {
  LineAssembler a;
  const std::string body = std::string(LineAssembler::kMaxStored - 1, 'B') + ")";
  const Fed f = FeedAll(a, body + "\n");
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.lines[0], body + "\n");
  EXPECT_TRUE(f.remarks[0]);
}

}  // namespace
}  // namespace vqx
