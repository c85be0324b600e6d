#pragma once

// The process's own texts (its arguments, its environment) as UTF-8, read in UTF-16
// from Windows: the narrow argv and getenv hold them in the ANSI code page, where a
// profile folder such as C:\Users\Σοφία or a file name in Greek or Japanese arrives as '?'.

#include <string>
#include <vector>

#include "win32/win32_calls.h"

namespace vqx::win32 {

// The value of an environment variable; empty when it is unset or cannot be read.
std::string EnvironmentText(Win32Calls& calls, const wchar_t* name);

// The arguments after the program's name. Should Windows fail to split its command line,
// or split it into another count than the C runtime's argv (a program started with an
// unusual command line), argv is used as it came.
std::vector<std::string> ProgramArguments(Win32Calls& calls, int argc, char** argv);

}  // namespace vqx::win32
