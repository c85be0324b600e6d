#include "net/network_serial_port.h"
#include "port_by_name.h"
#include "system_port.h"
#include "win32/port_survey.h"
#include "win32/tick_clock.h"
#include "win32/win32_serial_port.h"
#include "win32/win32_stream_socket.h"

namespace vqx {

std::unique_ptr<ISerialPort> CreateSystemSerialPort() {
  return std::make_unique<PortByName>([] { return std::make_unique<win32::Win32SerialPort>(); },
                                      [] {
                                        NetworkPortTimings timings;
                                        timings.connectMs = NetworkConnectTimeoutMs();
                                        return std::make_unique<NetworkSerialPort>(
                                            std::make_unique<win32::Win32StreamSocket>(), SystemClock(), timings);
                                      });
}

IClock& SystemClock() {
  static win32::TickClock clock;
  return clock;
}

// "COM1".."COM256" are the device namespace's \\.\COMn (COM10 and up cannot be opened
// by their bare name); "\\.\..." is used as it is, like any other name.
std::string ResolvePortName(const std::string& name) {
  const unsigned number = win32::ComPortNumber(name);
  if (number != 0) return "\\\\.\\COM" + std::to_string(number);
  return name;
}

std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result) {
  if (!result.ok && !result.problem.empty()) return result.problem;
  return win32::DescribePortOpenFailure(name, result);
}

std::vector<SerialPortEntry> ListSerialPorts(bool tryOpening) {
  return win32::ListSerialPorts(win32::ComPortNames(), tryOpening);
}

}  // namespace vqx
