#include <gtest/gtest.h>

#include <cstdint>

#include "output_text.h"

namespace vqx::desktop {
namespace {

TEST(LineBreakFolderTest, EveryPairAndEveryLoneBreakEndsOneLineEvenWhenSplitAcrossAppends) {
  LineBreakFolder folder;
  // An echo (CR LF), then a reply (LF CR) arriving one byte at a time.
  std::string shown = folder.Fold("NAME\r\n");
  for (const char c : std::string("Tower\n\r")) shown += folder.Fold(std::string(1, c));
  shown += folder.Fold("OK\n");
  shown += folder.Fold("\rNEXT\r\rX\n\nY");
  EXPECT_EQ(shown, "NAME\nTower\nOK\nNEXT\n\nX\n\nY");
}

TEST(LineBreakFolderTest, TheProgramsOwnLineStartAfterAReplyAddsNoEmptyLine) {
  // As the window gets it: the sent line framed by CR LF, the reply ended by LF, byte by
  // byte; then the same with the unit's LF CR kept whole.
  LineBreakFolder folder;
  std::string shown;
  for (const char c : std::string("\r\nVSENSE\r\nVSENSE 1\n\r\nSTAT\r\nCON 010.001.002.003:5000\n")) {
    shown += folder.Fold(std::string(1, c));
  }
  EXPECT_EQ(shown, "\nVSENSE\nVSENSE 1\nSTAT\nCON 010.001.002.003:5000\n");

  LineBreakFolder other;
  EXPECT_EQ(other.Fold("VOCODER 1\n\r\r\nVSENSE\r\n"), "VOCODER 1\nVSENSE\n");
  EXPECT_EQ(other.Fold("\r\n\r\nSTAT"), "\n\nSTAT") << "CR LF after a CR LF is a real empty line";
}

TEST(LineBreakFolderTest, ANulFromTheLineIsDroppedAndLatin1BytesStay) {
  LineBreakFolder folder;
  EXPECT_EQ(folder.Fold(std::string("a\0b\xE9", 4)), "ab\xE9");
}

TEST(LineEndsTest, ReportTextGoesToTheScreenAndBackByteForByte) {
  const std::string report = "Name: Tower\r\nVocoder: GSM 13Kbps\r\n\r\nEnd";
  const std::string shown = ToDisplayLineEnds(report);
  EXPECT_EQ(shown, "Name: Tower\nVocoder: GSM 13Kbps\n\nEnd");
  EXPECT_EQ(ToWindowsLineEnds(shown), report);
}

// A unit that talks without line breaks gets screen lines of kOutputColumns, counted
// across appends; a real line break starts the count again.
TEST(LongLineBreakerTest, LinesWithoutBreaksWrapAtTheColumnLimitAcrossAppends) {
  LongLineBreaker breaker(4);
  std::string shown = breaker.Break("abc");
  shown += breaker.Break("defghi");
  shown += breaker.Break("\nxy\n");
  shown += breaker.Break("1234");
  shown += breaker.Break("5");
  EXPECT_EQ(shown, "abcd\nefgh\ni\nxy\n1234\n5");
}

// The window keeps its last lines, the open one counted as a text widget counts its last
// block, however long each is; what gives way is whole lines, line ends included.
TEST(ScrollBackTest, TheOldestWholeLinesGiveWayOnceTheWindowHoldsMoreThanItsLines) {
  ScrollBack scrollBack(2, 3);
  EXPECT_EQ(scrollBack.Append("first\nsecond"), 0u);
  EXPECT_EQ(scrollBack.Append(" half\n"), 0u) << "three lines, the last one empty";
  EXPECT_EQ(scrollBack.Append("x"), 0u);
  EXPECT_EQ(scrollBack.Append("\n"), 7u) << "\"first\" and its CR LF";
  EXPECT_EQ(scrollBack.Append("a\nb\nc"), 13u + 3u) << "\"second half\" and \"x\"";
  EXPECT_EQ(scrollBack.Lines(), 3);

  // However long, a line counts once against the lines kept.
  ScrollBack full(1, kOutputLines, SIZE_MAX);
  const std::string line(kOutputColumns, 'z');
  size_t cut = 0;
  for (int i = 0; i < kOutputLines + 10; ++i) cut += full.Append(line + "\n");
  EXPECT_EQ(full.Lines(), kOutputLines);
  EXPECT_EQ(cut, 11 * (kOutputColumns + 1));

  full.Reset();
  EXPECT_EQ(full.Lines(), 1);
  EXPECT_EQ(full.Append("\n"), 0u);

  // Lines of a terminal's width: all kOutputLines fit in the characters kept.
  ScrollBack terminal(2);
  for (int i = 0; i < kOutputLines + 1; ++i) terminal.Append(std::string(79, 't') + "\n");
  EXPECT_EQ(terminal.Lines(), kOutputLines);

  // Longer ones give way by the characters: whole lines, the newest kept, the open one too.
  ScrollBack bounded(1, 100, 10);
  EXPECT_EQ(bounded.Append("abc\ndef\ngh"), 0u) << "ten characters";
  EXPECT_EQ(bounded.Append("i"), 4u) << "\"abc\" and its line end";
  EXPECT_EQ(bounded.Append("\n0123456789"), 4u + 4u) << "\"def\" and \"ghi\", then nothing more";
  EXPECT_EQ(bounded.Lines(), 1);
}

}  // namespace
}  // namespace vqx::desktop
