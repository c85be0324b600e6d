#pragma once

// What a technician needs to know about the serial ports of this machine: which exist,
// their stable names, whether this user can open them, and if not, why.

#include <sys/types.h>

#include <string>
#include <vector>

#include "port/serial_port.h"
#include "posix/syscalls.h"
#include "system_port.h"

namespace vqx::posix {

// A process that has a device open.
struct PortHolder {
  pid_t pid = 0;
  std::string command;  // its command name, as the system keeps it; may be empty
};

// The path with every symbolic link followed and "." and ".." removed; the path as
// given when a link cannot be read.
std::string CanonicalPath(const std::string& path, SysCalls& sys);

// The processes whose open files include the device (scanning /proc/*/fd). Best effort:
// processes this user may not look into are left out.
std::vector<PortHolder> FindPortHolders(const std::string& devicePath, SysCalls& sys);

std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result, SysCalls& sys);

// The ports under /dev (ttyS* with a UART behind it, ttyUSB*, ttyACM*) and whatever
// /dev/serial/by-id points at. With tryOpening each is opened and released at once to
// learn whether it can be used; without, no port is touched (opening a port may pulse
// its modem lines) and canOpen stays false with no problem given.
std::vector<SerialPortEntry> ListSerialPorts(SysCalls& sys, bool tryOpening = true);

}  // namespace vqx::posix
