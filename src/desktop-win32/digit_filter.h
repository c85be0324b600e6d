#pragma once

#include <string>
#include <string_view>

namespace vqx::win32 {

// The address and number boxes take digits only. Typed characters: digits and the
// control characters of editing (backspace, the clipboard's Ctrl keys) pass, the rest is
// refused. Pasted text keeps only its digits, so a pasted "192.168.1.10" cannot put a
// dot or a letter in a box the unit reads as a number.
bool AcceptsTypedCharacter(wchar_t c);
std::wstring DigitsOf(std::wstring_view text);

}  // namespace vqx::win32
