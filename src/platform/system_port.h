#pragma once

// The platform's own serial port, clocks and files. One implementation file per platform;
// callers (the programs, the simulator runner, tests) never name the platform.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "port/clock.h"
#include "port/file_store.h"
#include "port/serial_port.h"
#include "port/clock.h"

namespace vqx {

std::unique_ptr<ISerialPort> CreateSystemSerialPort();
IClock& SystemClock();

// The program's files (preferences, communication log, History.txt) in directory; an
// empty directory is the working directory. Names given to the store are relative to it.
std::unique_ptr<IFileStore> CreateSystemFileStore(const std::string& directory);
// The user's home folder (HOME; the profile folder on Windows), where a vqxsu started
// from the desktop or Start menu keeps its preferences; empty when unknown.
std::string UserHomeDirectory();

// The program's arguments after its name, as the file functions take them: the shell's
// bytes on POSIX; on Windows UTF-8, read from the wide command line.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A file name as the program keeps it (see ProgramArguments) and as std::filesystem takes
// it, and back. On Windows the narrow std::filesystem calls would read the name in
// another code page, or throw on bytes that are not UTF-8; these never fail and lose no
// byte (win32/wide_text.h).
std::filesystem::path PathFromText(const std::string& text);
std::string TextOfPath(const std::filesystem::path& path);

// Calendar time (UTC), for the names of the communication log files.
IWallClock& SystemWallClock();

// A file the user named on the command line (a snapshot, a History export), read whole.
struct NamedFileRead {
  // NoDevice: a device file with nothing behind it (/dev/tty without a terminal);
  // LinkLoop: symbolic links that lead back to themselves.
  enum class Outcome { Read, NotFound, PermissionDenied, Folder, NotARegularFile, TooLarge, NoDevice, LinkLoop, Failed };
  Outcome outcome = Outcome::Failed;
  std::string systemMessage;  // the system's words, for Failed
};
// At most limit bytes (more: TooLarge). A FIFO, device or socket under the name is
// refused without waiting for a writer; a folder is refused as one.
NamedFileRead ReadNamedFile(const std::string& path, size_t limit, std::string* content);
// Standard input to its end, which may be a pipe or a terminal.
NamedFileRead ReadStandardInput(size_t limit, std::string* content);

// The file system name of a port as the user typed it (e.g. "COM1" -> "/dev/ttyS0").
std::string ResolvePortName(const std::string& name);

// One sentence that says why a port could not be opened and what to do about it,
// e.g. permission denied naming the group that owns the device, or busy naming the
// programs that hold it where the system tells.
std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result);

// A serial port of this machine as `vqxctl ports` lists it.
struct SerialPortEntry {
  std::string device;                    // e.g. /dev/ttyUSB0
  std::vector<std::string> stableNames;  // /dev/serial/by-id/... links to it
  bool canOpen = false;                  // this user can open it now
  std::string problem;                   // why not, one sentence; empty when it opens
  std::string note;                      // e.g. other programs have it open too
};

// Every serial port found, sorted by device name. With tryOpening each is opened and
// closed again to learn whether it can be used, so a port another program holds shows
// as busy; without, only the names are gathered and no port is touched.
std::vector<SerialPortEntry> ListSerialPorts(bool tryOpening = true);
// The names a serial port dialog offers: each port's stable names first, then its device
// name. No port is opened: opening one can pulse DTR on equipment another program uses.
std::vector<std::string> SerialPortNamesToOffer();

}  // namespace vqx
