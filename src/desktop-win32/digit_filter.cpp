#include "digit_filter.h"

namespace vqx::win32 {

bool AcceptsTypedCharacter(wchar_t c) { return (c >= L'0' && c <= L'9') || c < 0x20; }

std::wstring DigitsOf(std::wstring_view text) {
  std::wstring digits;
  for (const wchar_t c : text) {
    if (c >= L'0' && c <= L'9') digits.push_back(c);
  }
  return digits;
}

}  // namespace vqx::win32
