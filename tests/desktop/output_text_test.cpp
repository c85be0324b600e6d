#include <gtest/gtest.h>

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
  LineBreakFolder folder;
  // Reply "VOCODER 1" LF CR, then the program's next line CR LF "VSENSE", its reply.
  std::string shown;
  for (const char c : std::string("VOCODER 1\n\r\r\nVSENSE")) shown += folder.Fold(std::string(1, c));
  shown += folder.Fold("VSENSE 1\n\r");
  shown += folder.Fold("\r\n\r\nSTAT");  // a CR LF more is a real empty line
  EXPECT_EQ(shown, "VOCODER 1\nVSENSEVSENSE 1\n\nSTAT");
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

}  // namespace
}  // namespace vqx::desktop
