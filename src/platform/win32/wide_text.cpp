#include "win32/wide_text.h"

#include <cstdint>

#include "common/text_kinds.h"

// Done by hand rather than with MultiByteToWideChar: that one turns each invalid byte into
// U+FFFD (or, with MB_ERR_INVALID_CHARS, refuses the whole name), which loses the byte.
namespace vqx::win32 {

std::wstring WidenUtf8(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (const char32_t point : Utf8Points(utf8)) {
    if (point >= 0x10000) {
      const uint32_t above = static_cast<uint32_t>(point) - 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (above >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (above & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(point));
    }
  }
  return out;
}

std::string NarrowToUtf8(const std::wstring& utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    const auto unit = static_cast<uint32_t>(static_cast<uint16_t>(utf16[i]));
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < utf16.size()) {
      const auto next = static_cast<uint32_t>(static_cast<uint16_t>(utf16[i + 1]));
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit);  // an unpaired surrogate keeps its three-byte form
  }
  return out;
}

}  // namespace vqx::win32
