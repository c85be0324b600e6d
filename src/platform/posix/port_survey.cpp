#include "posix/port_survey.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <system_error>

#include "printable_name.h"

namespace vqx::posix {
namespace {

constexpr int kMaxLinkDepth = 16;
constexpr size_t kMaxHoldersShown = 4;

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "/a/./b/../c" -> "/a/c"; relative paths stay relative.
std::string Normalize(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string out = !path.empty() && path[0] == '/' ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) out += (i == 0 ? "" : "/") + parts[i];
  return out.empty() ? "." : out;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool ReadLinkText(SysCalls& sys, const std::string& path, std::string* target) {
  char buffer[4096];
  const ssize_t n = sys.ReadLink(path.c_str(), buffer, sizeof(buffer));
  if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) return false;
  target->assign(buffer, static_cast<size_t>(n));
  return true;
}

// A small text file (/proc/PID/comm, /sys/class/tty/NAME/type), first line only.
bool ReadSmallFile(SysCalls& sys, const std::string& path, std::string* text) {
  const int fd = sys.Open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[256];
  const ssize_t n = sys.Read(fd, buffer, sizeof(buffer));
  sys.Close(fd);
  if (n < 0) return false;
  text->assign(buffer, static_cast<size_t>(n));
  const size_t end = text->find('\n');
  if (end != std::string::npos) text->resize(end);
  return true;
}

std::string OwningGroupName(SysCalls& sys, const std::string& path) {
  struct stat info {};
  if (sys.Stat(path.c_str(), &info) != 0) return {};
  const long sizeHint = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(sizeHint > 0 ? static_cast<size_t>(sizeHint) : 1024U);
  group entry{};
  group* found = nullptr;
  int err = 0;
  while ((err = ::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < 1024U * 1024U) {
    buffer.resize(buffer.size() * 2);
  }
  if (err != 0 || found == nullptr || found->gr_name == nullptr) return std::to_string(info.st_gid);
  return found->gr_name;
}

std::string HolderList(const std::vector<PortHolder>& holders) {
  std::string out;
  for (size_t i = 0; i < holders.size() && i < kMaxHoldersShown; ++i) {
    if (i > 0) out += ", ";
    const std::string command = detail::PrintableName(holders[i].command);
    out += (command.empty() ? std::string("process") : command) + " (PID " + std::to_string(holders[i].pid) + ")";
  }
  if (holders.size() > kMaxHoldersShown) out += " and " + std::to_string(holders.size() - kMaxHoldersShown) + " more";
  return out;
}

PortOpenError ErrorForErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ENAMETOOLONG: return PortOpenError::NotFound;
    case EBUSY:
    case EWOULDBLOCK: return PortOpenError::Busy;
    case EACCES:
    case EPERM:
    case EROFS: return PortOpenError::PermissionDenied;
    case EISDIR:
    case ENOTTY: return PortOpenError::NotASerialPort;
    default: return PortOpenError::Other;
  }
}

// The 8250 driver makes ttyS0..ttyS31 whether or not a UART is there; type 0 is none.
bool SerialDeviceWithoutHardware(SysCalls& sys, const std::string& name) {
  if (name.rfind("ttyS", 0) != 0) return false;
  std::string type;
  return ReadSmallFile(sys, "/sys/class/tty/" + name + "/type", &type) && type == "0";
}

bool IsSerialDeviceName(const std::string& name) {
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    const std::string p = prefix;
    if (name.size() > p.size() && name.rfind(p, 0) == 0 && AllDigits(name.substr(p.size()))) return true;
  }
  return false;
}

// Opens and at once closes the device the way the utility opens its port (read-write,
// no controlling terminal, not waiting for carrier, exclusive lock).
PortOpenResult TryOpen(SysCalls& sys, const std::string& path) {
  PortOpenResult result;
  int fd = -1;
  do {
    fd = sys.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    result.systemError = errno;
    result.error = ErrorForErrno(result.systemError);
    return result;
  }
  termios attributes{};
  if (sys.TcGetAttr(fd, &attributes) != 0) {
    result.systemError = errno;
    result.error = result.systemError == ENOTTY || result.systemError == EINVAL ? PortOpenError::NotASerialPort
                                                                                  : PortOpenError::Other;
    sys.Close(fd);
    return result;
  }
  // Root gets past another program's TIOCEXCL; the port is that program's all the same.
  int exclusive = 0;
  if (sys.IoctlInt(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    result.systemError = EBUSY;
    result.error = PortOpenError::Busy;
    sys.Close(fd);
    return result;
  }
  if (sys.Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    result.systemError = errno;
    result.error = ErrorForErrno(result.systemError);
    sys.Close(fd);
    return result;
  }
  sys.Flock(fd, LOCK_UN);
  sys.Close(fd);
  result.ok = true;
  return result;
}

}  // namespace

std::string CanonicalPath(const std::string& path, SysCalls& sys) {
  std::string current = Normalize(path);
  for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
    // A link may sit at any level (/dev/serial/by-id/x -> ../../ttyUSB0); only the last
    // one matters for device nodes and /proc links.
    std::string target;
    if (!ReadLinkText(sys, current, &target)) return current;
    current = Normalize(target[0] == '/' ? target : DirectoryOf(current) + "/" + target);
  }
  return current;
}

std::vector<PortHolder> FindPortHolders(const std::string& devicePath, SysCalls& sys) {
  std::vector<PortHolder> holders;
  const std::string device = CanonicalPath(devicePath, sys);
  std::vector<std::string> processes;
  if (sys.ListDirectory("/proc", &processes) != 0) return holders;
  std::sort(processes.begin(), processes.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (const std::string& pid : processes) {
    if (!AllDigits(pid) || pid.size() > 9) continue;
    const std::string fdDir = "/proc/" + pid + "/fd";
    std::vector<std::string> fds;
    if (sys.ListDirectory(fdDir.c_str(), &fds) != 0) continue;  // gone, or not ours to see
    for (const std::string& fd : fds) {
      std::string target;
      if (!ReadLinkText(sys, fdDir + "/" + fd, &target) || target != device) continue;
      PortHolder holder;
      holder.pid = static_cast<pid_t>(std::stol(pid));
      ReadSmallFile(sys, "/proc/" + pid + "/comm", &holder.command);
      holders.push_back(holder);
      break;
    }
  }
  return holders;
}

std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result, SysCalls& sys) {
  if (result.ok) return {};
  const std::string path = ResolvePortName(name);
  const std::string shown = detail::PrintableName(path.empty() ? std::string("(no port name)") : path);
  switch (result.error) {
    case PortOpenError::NotFound:
      return shown + " does not exist: check the port name and that the adapter is plugged in.";
    case PortOpenError::Busy: {
      const std::vector<PortHolder> holders = path.empty() ? std::vector<PortHolder>{} : FindPortHolders(path, sys);
      if (holders.empty()) return shown + " is in use by another program.";
      return shown + " is in use by another program: " + HolderList(holders) + ". Close it and try again.";
    }
    case PortOpenError::PermissionDenied: {
      const std::string group = detail::PrintableName(OwningGroupName(sys, path));
      if (group.empty() || group == "root" || group == "0") {
        return "Permission denied on " + shown + ": ask the administrator for read-write access to it.";
      }
      return "Permission denied on " + shown + ": add your user to the group '" + group + "' (sudo usermod -aG " +
             group + " $USER) and log in again.";
    }
    case PortOpenError::NotASerialPort: return shown + " is not a serial port.";
    case PortOpenError::None:
    case PortOpenError::Other: break;
  }
  if (result.systemError == EIO) return shown + " does not answer: no serial hardware is behind it.";
  if (result.systemError != 0) {
    return shown + " could not be opened: " + std::generic_category().message(result.systemError) + ".";
  }
  return shown + " could not be opened.";
}

std::vector<SerialPortEntry> ListSerialPorts(SysCalls& sys, bool tryOpening) {
  std::map<std::string, SerialPortEntry> ports;

  std::vector<std::string> devices;
  if (sys.ListDirectory("/dev", &devices) == 0) {
    for (const std::string& name : devices) {
      if (!IsSerialDeviceName(name) || SerialDeviceWithoutHardware(sys, name)) continue;
      ports["/dev/" + name].device = "/dev/" + name;
    }
  }
  // The stable names survive re-plugging; whatever they point at is a serial port.
  const std::string byId = "/dev/serial/by-id";
  std::vector<std::string> links;
  if (sys.ListDirectory(byId.c_str(), &links) == 0) {
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
      const std::string stable = byId + "/" + link;
      const std::string device = CanonicalPath(stable, sys);
      if (device == stable) continue;  // not a link
      SerialPortEntry& entry = ports[device];
      entry.device = device;
      entry.stableNames.push_back(stable);
    }
  }

  std::vector<SerialPortEntry> out;
  const std::string self = std::to_string(sys.GetPid());
  for (auto& [device, entry] : ports) {
    if (!tryOpening) {
      out.push_back(entry);
      continue;
    }
    const PortOpenResult result = TryOpen(sys, device);
    entry.canOpen = result.ok;
    entry.problem = DescribePortOpenFailure(device, result, sys);
    if (result.ok) {
      std::vector<PortHolder> others = FindPortHolders(device, sys);
      std::erase_if(others, [&](const PortHolder& h) { return std::to_string(h.pid) == self; });
      if (!others.empty()) entry.note = "also open in " + HolderList(others);
    }
    out.push_back(entry);
  }
  return out;
}

}  // namespace vqx::posix
