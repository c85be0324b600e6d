#pragma once

#include <string>

namespace vqx::win32 {

// The Windows edge of the program's text rule (common/text_kinds.h), for system texts: paths, program
// arguments, environment values, port names typed by the user. Inside the program they
// are UTF-8 (as on Linux, where they are the locale's bytes, UTF-8 in practice); only at
// the call into Windows do they become UTF-16. The unit's own bytes (names, descriptions,
// everything shown in the window) are another kind, Latin-1, and never pass through
// here: the Win32 front-end widens those with WidenLatin1 (control_mapping.h).
//
// No byte is lost on the way in: a byte that does not start valid UTF-8 (a Latin-1 name
// written by another program, a name cut in the middle of a character) becomes the
// Latin-1 character of that byte, never U+FFFD or nothing, so such a name in the ANSI
// code page of Western Europe still finds its file. A UTF-16 name
// with an unpaired surrogate (Windows allows those) narrows to the three-byte form of
// the surrogate and widens back to the same name.
std::wstring WidenUtf8(const std::string& utf8);
std::string NarrowToUtf8(const std::wstring& utf16);

}  // namespace vqx::win32
