#pragma once

// <windows.h> for this project's code: include this instead. windows.h defines
// ReplaceFile as a macro (ReplaceFileW), which would rename IFileStore::ReplaceFile in
// every file that sees both.
#include <windows.h>

#undef ReplaceFile
