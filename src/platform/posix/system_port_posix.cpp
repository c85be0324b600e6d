#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <system_error>
#include <vector>

#include "posix/monotonic_clock.h"
#include "posix/posix_serial_port.h"
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

// The name comes from a file or a text box: keep the message on one printable line.
std::string Printable(const std::string& text) {
  constexpr size_t kMaxShown = 80;
  std::string out;
  for (const char c : text) {
    if (out.size() >= kMaxShown) {
      out += "...";
      break;
    }
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7F) ? '?' : c;
  }
  return out;
}

std::string OwningGroupName(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return {};
  }
  long sizeHint = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(sizeHint > 0 ? static_cast<size_t>(sizeHint) : 1024U);
  group entry{};
  group* found = nullptr;
  int err = 0;
  while ((err = ::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found)) ==
             ERANGE &&
         buffer.size() < 1024U * 1024U) {
    buffer.resize(buffer.size() * 2);
  }
  if (err != 0 || found == nullptr || found->gr_name == nullptr) {
    return std::to_string(info.st_gid);
  }
  return found->gr_name;
}

}  // namespace

std::unique_ptr<ISerialPort> CreateSystemSerialPort() {
  return std::make_unique<posix::PosixSerialPort>();
}

IClock& SystemClock() {
  static posix::MonotonicClock clock;
  return clock;
}

std::string ResolvePortName(const std::string& name) {
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
  if (result.ok) {
    return {};
  }
  const std::string path = ResolvePortName(name);
  const std::string shown = Printable(path.empty() ? std::string("(no port name)") : path);
  switch (result.error) {
    case PortOpenError::NotFound:
      return shown + " does not exist: check the port name and that the adapter is plugged in.";
    case PortOpenError::Busy:
      return shown + " is in use by another program.";
    case PortOpenError::PermissionDenied: {
      const std::string group = Printable(OwningGroupName(path));
      if (group.empty() || group == "root" || group == "0") {
        return "Permission denied on " + shown +
               ": ask the administrator for read-write access to it.";
      }
      return "Permission denied on " + shown + ": add your user to the group '" + group +
             "' (sudo usermod -aG " + group + " $USER) and log in again.";
    }
    case PortOpenError::NotASerialPort:
      return shown + " is not a serial port.";
    case PortOpenError::None:
    case PortOpenError::Other:
      break;
  }
  if (result.systemError != 0) {
    return shown + " could not be opened: " +
           std::generic_category().message(result.systemError) + ".";
  }
  return shown + " could not be opened.";
}

}  // namespace vqx
