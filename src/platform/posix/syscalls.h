#pragma once

// Every operating-system call the serial port, the pty pair, the clocks and the file
// store make goes through here, so tests can inject the failures real hardware
// produces (EINTR, EIO, EAGAIN, short writes, a full disk). The default methods make
// the real calls; errors come back as -1 with errno set, exactly as from the system.

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vqx::posix {

class SysCalls {
 public:
  virtual ~SysCalls() = default;

  virtual int Open(const char* path, int flags);
  virtual int Close(int fd);
  virtual ssize_t Read(int fd, void* buffer, size_t size);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  // Argument-less requests (TIOCEXCL, TIOCNXCL).
  virtual int Ioctl(int fd, unsigned long request);
  // Requests that fill in one int (TIOCOUTQ, TIOCGEXCL).
  virtual int IoctlInt(int fd, unsigned long request, int* value);
  // Waits until the output queue has left the line (tcdrain).
  virtual int TcDrain(int fd);
  virtual int TcFlush(int fd, int queue);
  virtual int TcGetAttr(int fd, termios* attributes);
  virtual int TcSetAttr(int fd, int when, const termios* attributes);
  virtual int Flock(int fd, int operation);
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
  virtual int ClockGetTime(clockid_t clock, timespec* now);
  virtual int NanoSleep(const timespec* request, timespec* remaining);
  // For the file store: creating files, flushing them and replacing one by another.
  virtual int OpenWithMode(const char* path, int flags, mode_t mode);
  virtual int Fsync(int fd);
  virtual int Ftruncate(int fd, off_t length);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual pid_t GetPid();
  // For keeping a replaced file's mode, owner and links, and for our stale temporaries.
  virtual int Lstat(const char* path, struct stat* info);
  virtual int Fstat(int fd, struct stat* info);
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Fchown(int fd, uid_t owner, gid_t group);
  virtual int Access(const char* path, int mode);
  // Only the integer-argument commands (F_GETFL, F_SETFL) are needed.
  virtual int Fcntl(int fd, int command, int argument);
  virtual int Kill(pid_t pid, int signal);
  virtual uid_t GetEuid();
  virtual gid_t GetEgid();
  // For the port survey and the diagnosis of a port that will not open.
  virtual int Stat(const char* path, struct stat* info);
  virtual ssize_t ReadLink(const char* path, char* buffer, size_t size);
  // The names in a directory, without "." and ".."; -1 with errno when it cannot be read.
  virtual int ListDirectory(const char* path, std::vector<std::string>* names);
  // The working directory; -1 with errno when it cannot be told (it was removed, say).
  virtual int GetCwd(std::string* path);
};

// The process-wide instance that makes the real calls.
SysCalls& RealSysCalls();

}  // namespace vqx::posix
