#pragma once

#include <atomic>

namespace vqx::cli {

// Ctrl-C and SIGTERM (on Windows Ctrl-Break too) set *interrupted instead of ending the
// program: the session stops waiting and sends ECHO ON and TRAN before the program ends.
// A hang-up (SIGHUP: the terminal or ssh session that ran the program is gone; on Windows
// the console window closes, the user logs off or the machine shuts down) sets *hungUp
// as well, and from then on nothing more goes to the terminal. One implementation per
// platform.
void InstallInterruptHandler(std::atomic<bool>* interrupted, std::atomic<bool>* hungUp);

// The unit is back in transparent mode (or could not be returned): a Windows console that
// is closing may end the process now. Nothing to do on POSIX.
void UnitReleased();

// Output in UTF-8 whatever the console's code page (a no-op where terminals are UTF-8).
void PrepareConsoleOutput();

// Whether standard output is a terminal (POSIX: a tty; Windows: a console), where a
// control byte in a file's text would be run by the terminal instead of shown. A file
// or a pipe is not one: it gets the bytes unchanged.
bool StandardOutputIsTerminal();

// Whether standard input is a terminal (POSIX: a tty; Windows: a console), where a
// question can be asked and answered; a file or a pipe cannot answer one.
bool StandardInputIsTerminal();

// Whether standard error is a terminal that takes ANSI cursor movement (POSIX: a tty;
// Windows: a console with virtual terminal processing, switched on here), and its width
// in columns (0 when it does not say).
bool StandardErrorIsTerminal();
int ErrorConsoleColumns();

// The width in columns of the console standard output goes to; 0 when it goes elsewhere
// (a file, a pipe) or the console does not say.
int ConsoleColumns();

}  // namespace vqx::cli
