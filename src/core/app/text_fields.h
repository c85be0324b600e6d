#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vqx {

// Numbers and texts as the window logic reads them from replies, typed arguments, the
// form's boxes and the records of the preferences file.

// "%d" as the unit's texts, typed arguments and the form's boxes are read: leading
// blanks, an optional sign, digits; what follows them is left. A text without digits
// holds no number. Too large a number is held at the int32 limits instead of overflowing.
// Reads at most length characters; used receives how many were read.
bool ParseLeadingDecimal(const char* text, size_t length, int32_t* value, size_t* used);
// The same over a NUL-terminated text.
bool ParseDecimal(const char* text, int32_t* value);
// "%d.%d.%d.%d" within at most length characters; what follows the fourth is ignored.
bool ParseFourDecimals(const char* text, size_t length, int32_t numbers[4]);

// The length of a text in a fixed field that may lack its terminator (a record read
// from a file, a reply text that fills its field).
template <size_t N>
size_t FieldLength(const char (&field)[N]) {
  const void* nul = std::memchr(field, '\0', N);
  return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - field) : N;
}

}  // namespace vqx
