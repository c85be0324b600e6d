#pragma once

// The program handles two kinds of text, and each keeps one encoding on every system:
//
// - The unit's bytes, and everything the window shows: names, descriptions and reports
//   read from the unit, what the user types into the form, the program's own words.
//   One byte is one character, Latin-1, as the unit itself has it. Both desktop
//   programs show them so (Qt: QString::fromLatin1; Win32: WidenLatin1), so a name
//   stored by either reads back byte for byte in the other and in the unit.
// - System texts: file and folder names, program arguments, environment values, port
//   names. UTF-8 inside the program (on Linux the locale's bytes, UTF-8 in practice);
//   Windows gets them in UTF-16 at its API only (platform/win32/wide_text.h).
//
// A system text that the window shows (the About box's preferences path) is made a
// window text here, never passed as it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vqx {

// The code point of the valid UTF-8 sequence at text[at] and its size in *length; -1
// when the byte there starts none (overlong forms and values beyond U+10FFFF included).
// The three-byte form of a surrogate is accepted: Windows names may hold one unpaired.
int32_t DecodeUtf8At(std::string_view text, size_t at, size_t* length);
void AppendUtf8(std::string& out, uint32_t point);

// The characters of a system text in order. A byte that starts no valid sequence comes as
// the character of its own value (its Latin-1 character), so that no byte of a name in
// another encoding is lost on the way.
std::u32string Utf8Points(std::string_view utf8);

// A system text as the window shows it: a character of Latin-1 becomes its byte, one
// beyond it '?', and a byte that is not UTF-8 stays as it is (a Latin-1 locale's name).
// For showing only: a path is never opened from the result.
std::string SystemTextForDisplay(std::string_view utf8);

}  // namespace vqx
