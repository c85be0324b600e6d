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

}  // namespace vqx::cli
