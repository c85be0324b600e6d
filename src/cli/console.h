#pragma once

#include <atomic>

namespace vqx::cli {

// Ctrl-C (and on POSIX SIGTERM, on Windows closing the console window) sets *interrupted
// instead of ending the program: the session stops waiting and sends ECHO ON and TRAN
// before the program ends. One implementation per platform.
void InstallInterruptHandler(std::atomic<bool>* interrupted);

// Output in UTF-8 whatever the console's code page (a no-op where terminals are UTF-8).
void PrepareConsoleOutput();

// Whether standard output is a terminal (POSIX: a tty; Windows: a console), where a
// control byte in a file's text would be run by the terminal instead of shown. A file
// or a pipe is not one: it gets the bytes unchanged.
bool StandardOutputIsTerminal();

}  // namespace vqx::cli
