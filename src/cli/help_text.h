#pragma once

#include <cstddef>
#include <string>

namespace vqx::cli {

// The width help text is wrapped to, from the columns of the console standard output goes
// to (0: not a console, or one whose size is unknown). Not a console: 80, what a pager or a
// file shows well. On a console one column stays free: a Windows console moves to the next
// line after writing into its last column, and the line break then leaves an empty line.
size_t HelpWidth(int consoleColumns);

// The help text with every line longer than width broken between words. A continuation
// line starts under the text it continues: under a description when the line has a label
// column before it (an option, a subcommand, an exit code: a label followed by two spaces
// or more), else at the line's own indent. A word longer than the room (a long path) is
// never split, so it stays whole for copying.
std::string WrapHelp(const std::string& text, size_t width);

// The text (a path, which may hold spaces) as one word for WrapHelp: its spaces become
// the unit separator, a control character Windows forbids in file names, which WrapHelp
// turns back into spaces. A path broken at its spaces could not be copied from the help.
std::string KeptWhole(const std::string& text);

// The last line of vqxctl's help: where the manual is. The text differs by platform (a
// manual page on POSIX, the text file the Windows packages ship); one file each.
const char* ManualPointer();

}  // namespace vqx::cli
