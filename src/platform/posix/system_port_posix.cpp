#include <cctype>
#include <vector>

#include "posix/monotonic_clock.h"
#include "posix/port_survey.h"
#include "posix/posix_serial_port.h"
#include "posix/posix_stream_socket.h"
#include "port_by_name.h"
#include "net/network_port_name.h"
#include "net/network_serial_port.h"
#include "system_port.h"

namespace vqx {
namespace {

// Windows-style names the preferences may carry: "COMn" is the n-th port, /dev/ttyS(n-1).
bool ParseComNumber(const std::string& name, unsigned* number) {
  if (name.size() < 4 || name.size() > 7) {
    return false;
  }
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
    return false;
  }
  unsigned value = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') {
      return false;
    }
    value = value * 10U + static_cast<unsigned>(name[i] - '0');
  }
  if (value == 0) {
    return false;
  }
  *number = value;
  return true;
}

}  // namespace

std::unique_ptr<ISerialPort> CreateSystemSerialPort() {
  return std::make_unique<PortByName>([] { return std::make_unique<posix::PosixSerialPort>(); },
                                      [] {
                                        NetworkPortTimings timings;
                                        timings.connectMs = NetworkConnectTimeoutMs();
                                        return std::make_unique<NetworkSerialPort>(
                                            std::make_unique<posix::PosixStreamSocket>(), SystemClock(), timings);
                                      });
}

IClock& SystemClock() {
  static posix::MonotonicClock clock;
  return clock;
}

std::string ResolvePortName(const std::string& name) {
  if (IsNetworkPortName(name)) return name;
  if (name.empty() || name.find('/') != std::string::npos) {
    return name;
  }
  unsigned number = 0;
  if (ParseComNumber(name, &number)) {
    return "/dev/ttyS" + std::to_string(number - 1U);
  }
  return "/dev/" + name;
}

std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result) {
  if (!result.ok && !result.problem.empty()) return result.problem;
  return posix::DescribePortOpenFailure(name, result, posix::RealSysCalls());
}

std::vector<SerialPortEntry> ListSerialPorts(bool tryOpening) {
  return posix::ListSerialPorts(posix::RealSysCalls(), tryOpening);
}

}  // namespace vqx
