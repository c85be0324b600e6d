#pragma once

// The COM ports of this machine and what a technician needs to know about one that will
// not open.

#include <string>
#include <vector>

#include "port/serial_port.h"
#include "system_port.h"
#include "win32/win32_calls.h"

namespace vqx::win32 {

// "COM1".."COM256" in any case; 0 for any other name.
unsigned ComPortNumber(const std::string& name);

// The COM port names the system knows (the SERIALCOMM registry key and the DOS device
// names), sorted by number, each once.
std::vector<std::string> ComPortNames();

// The COM port names among the DOS device names, by number, each once.
std::vector<std::string> DosDeviceComPorts(Win32Calls& calls = RealWin32Calls());

std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result);

// With tryOpening each port is opened exclusively and closed at once; without, no port is
// touched (opening one can pulse DTR on equipment another program uses).
std::vector<SerialPortEntry> ListSerialPorts(const std::vector<std::string>& names, bool tryOpening,
                                             Win32Calls& calls = RealWin32Calls());

}  // namespace vqx::win32
