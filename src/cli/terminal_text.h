#pragma once

#include <string>
#include <string_view>

namespace vqx::cli {

// A unit's texts (its name, its answers, the History's entries) are bytes anyone who can
// reach the unit may set. Printed raw, "ESC ] 0 ; ... BEL" retitles the technician's
// terminal and "ESC [ 2 J" clears it. Text output shows such bytes as escapes instead:
// \r, \n, \t, \\ for a backslash, and \xNN for every other control byte (0x00..0x1F,
// 0x7F and 0x80..0x9F). Other bytes pass unchanged. JSON output needs none of this.
std::string Visible(std::string_view text);

// The same for text made of lines: its line feeds stay line feeds.
std::string VisibleLines(std::string_view text);

// A message in UTF-8 that may quote a file's text (a CSV cell, a JSON key, the parser's
// "last read" of it): every control character is escaped, C0 and DEL as above, the C1
// controls U+0080..U+009F as \u0080..\u009f, and a byte that is not UTF-8 as \xNN.
// Other characters, and backslashes, pass unchanged: the parser's own "\u001B" stays
// readable, and a message needs no round trip.
std::string VisibleMessage(std::string_view utf8);

// A file's UTF-8 text (CSV) written to a terminal: as VisibleMessage, but line ends (LF
// and CR LF) stay as they are. Written to a file or a pipe, the bytes go unchanged.
std::string VisibleUtf8Lines(std::string_view utf8);

}  // namespace vqx::cli
