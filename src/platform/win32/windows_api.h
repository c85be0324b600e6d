#pragma once

// <windows.h> for this project's code: include this instead. windows.h defines
// ReplaceFile as a macro (ReplaceFileW), which would rename IFileStore::ReplaceFile in
// every file that sees both.
// Winsock 2 must come before windows.h (which would otherwise bring the old winsock.h).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#undef ReplaceFile
