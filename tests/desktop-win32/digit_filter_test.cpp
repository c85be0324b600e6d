// The address and number boxes: digits only, typed or pasted.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "digit_edit.h"
#include "digit_filter.h"
#include "test_dialog.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

TEST(DigitFilterTest, TypedDigitsAndEditingKeysPassEverythingElseIsRefused) {
  for (const wchar_t c : std::wstring(L"0123456789")) EXPECT_TRUE(AcceptsTypedCharacter(c)) << int{c};
  EXPECT_TRUE(AcceptsTypedCharacter(L'\b')) << "backspace";
  EXPECT_TRUE(AcceptsTypedCharacter(0x16)) << "Ctrl+V reaches the paste";
  EXPECT_TRUE(AcceptsTypedCharacter(0x03)) << "Ctrl+C";
  for (const wchar_t c : std::wstring(L".-+ aZ/:\x00B2\x0663")) EXPECT_FALSE(AcceptsTypedCharacter(c)) << int{c};
}

TEST(DigitFilterTest, PastedTextKeepsOnlyItsAsciiDigits) {
  EXPECT_EQ(DigitsOf(L"192.168.1.10"), L"192168110");
  EXPECT_EQ(DigitsOf(L" 42\r\n"), L"42");
  EXPECT_EQ(DigitsOf(L"\x0661\x0662 3"), L"3") << "other scripts' digits are not the unit's";
  EXPECT_EQ(DigitsOf(L"none"), L"");
}

std::wstring TextOf(HWND edit) {
  wchar_t text[64] = {};
  GetWindowTextW(edit, text, 64);
  return text;
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  const bool put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  return put;
}

TEST(DigitEditTest, AnAddressBoxRefusesTypedAndPastedNonDigits) {
  testing::TestDialog dialog(MainDialogTemplate());
  const HWND octet = dialog.Control(ids::kIp1);
  const HWND name = dialog.Control(ids::kName);
  MakeDigitsOnly(octet);
  for (const wchar_t c : std::wstring(L"1a.9")) SendMessageW(octet, WM_CHAR, c, 1);
  EXPECT_EQ(TextOf(octet), L"19");

  ASSERT_TRUE(PutOnClipboard(dialog.Window(), L"10.0.0.7"));
  SendMessageW(octet, EM_SETSEL, 0, -1);
  SendMessageW(octet, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(octet), L"10007") << "the paste replaced the selection with its digits";

  // A box without the filter takes the text as it is.
  SendMessageW(name, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(name), L"10.0.0.7");
}

}  // namespace
}  // namespace vqx::win32
