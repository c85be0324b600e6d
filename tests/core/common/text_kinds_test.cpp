#include <gtest/gtest.h>

#include <string>

#include "common/text_kinds.h"

namespace vqx {
namespace {

// The About box shows the preferences path, a system text, in the window's Latin-1.
TEST(SystemTextForDisplayTest, APathShowsInTheWindowsLatin1) {
  EXPECT_EQ(SystemTextForDisplay("/home/tech/VQXSU_Prefs.cfg"), "/home/tech/VQXSU_Prefs.cfg");
  EXPECT_EQ(SystemTextForDisplay("C:\\Users\\T\xC3\xA9" "cnico\\VQXSU_Prefs.cfg"), "C:\\Users\\T\xE9" "cnico\\VQXSU_Prefs.cfg");
  // Beyond Latin-1: one '?' per character, not one per byte.
  EXPECT_EQ(SystemTextForDisplay("C:\\\xCE\xA3\xCE\xBF\\\xF0\x9F\x93\xA1"), "C:\\??\\?");
  // A Latin-1 locale's name is not UTF-8: its bytes are already what the window shows.
  EXPECT_EQ(SystemTextForDisplay("/home/t\xE9" "cnico"), "/home/t\xE9" "cnico");
  EXPECT_EQ(SystemTextForDisplay("cut \xCE"), "cut \xCE");
}

TEST(Utf8Test, DecodesWhatAppendWritesAndRefusesWhatIsNotUtf8) {
  for (const uint32_t point : {0x00u, 0x7Fu, 0x80u, 0xE9u, 0x7FFu, 0x800u, 0x3A3u, 0xD800u, 0xFFFDu, 0x10000u, 0x10FFFFu}) {
    std::string text;
    AppendUtf8(text, point);
    size_t length = 0;
    EXPECT_EQ(DecodeUtf8At(text, 0, &length), static_cast<int32_t>(point)) << point;
    EXPECT_EQ(length, text.size()) << point;
  }
  size_t length = 0;
  for (const char* bad : {"\x80", "\xC1\xBF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
                                "\xC3", "\xE8\xA8", "\xC3(", "\xFF"}) {
    EXPECT_EQ(DecodeUtf8At(bad, 0, &length), -1) << bad;
  }
}

}  // namespace
}  // namespace vqx
