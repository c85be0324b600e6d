#include "posix/syscalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vqx::posix {

int SysCalls::Open(const char* path, int flags) { return ::open(path, flags); }
int SysCalls::Close(int fd) { return ::close(fd); }
ssize_t SysCalls::Read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t SysCalls::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
int SysCalls::Ioctl(int fd, unsigned long request) { return ::ioctl(fd, request); }
int SysCalls::IoctlInt(int fd, unsigned long request, int* value) { return ::ioctl(fd, request, value); }
int SysCalls::TcDrain(int fd) { return ::tcdrain(fd); }
int SysCalls::TcFlush(int fd, int queue) { return ::tcflush(fd, queue); }
int SysCalls::TcGetAttr(int fd, termios* attributes) { return ::tcgetattr(fd, attributes); }
int SysCalls::TcSetAttr(int fd, int when, const termios* attributes) {
  return ::tcsetattr(fd, when, attributes);
}
int SysCalls::Flock(int fd, int operation) { return ::flock(fd, operation); }
int SysCalls::Ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int SysCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
int SysCalls::ClockGetTime(clockid_t clock, timespec* now) { return ::clock_gettime(clock, now); }
int SysCalls::NanoSleep(const timespec* request, timespec* remaining) {
  return ::nanosleep(request, remaining);
}
int SysCalls::OpenWithMode(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int SysCalls::Fsync(int fd) { return ::fsync(fd); }
int SysCalls::Rename(const char* from, const char* to) { return ::rename(from, to); }
int SysCalls::Unlink(const char* path) { return ::unlink(path); }
pid_t SysCalls::GetPid() { return ::getpid(); }
int SysCalls::Lstat(const char* path, struct stat* info) { return ::lstat(path, info); }
int SysCalls::Fstat(int fd, struct stat* info) { return ::fstat(fd, info); }
int SysCalls::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int SysCalls::Fchown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }
int SysCalls::Access(const char* path, int mode) { return ::access(path, mode); }
int SysCalls::Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
int SysCalls::Kill(pid_t pid, int signal) { return ::kill(pid, signal); }
uid_t SysCalls::GetEuid() { return ::geteuid(); }
gid_t SysCalls::GetEgid() { return ::getegid(); }
int SysCalls::Stat(const char* path, struct stat* info) { return ::stat(path, info); }
ssize_t SysCalls::ReadLink(const char* path, char* buffer, size_t size) { return ::readlink(path, buffer, size); }

int SysCalls::ListDirectory(const char* path, std::vector<std::string>* names) {
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return -1;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  ::closedir(dir);
  return 0;
}

int SysCalls::GetCwd(std::string* path) {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= (size_t{1} << 20)) return -1;
    buffer.resize(buffer.size() * 2);
  }
  *path = buffer.c_str();
  return 0;
}

SysCalls& RealSysCalls() {
  static SysCalls instance;
  return instance;
}

}  // namespace vqx::posix
