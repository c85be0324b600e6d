#pragma once

// Every operating-system call the serial port, the pty pair and the clock make goes
// through here, so tests can inject the failures real hardware produces (EINTR, EIO,
// EAGAIN, short writes). The default methods make the real calls; errors come back
// as -1 with errno set, exactly as from the system.

#include <poll.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>

#include <cstddef>

namespace vqx::posix {

class SysCalls {
 public:
  virtual ~SysCalls() = default;

  virtual int Open(const char* path, int flags);
  virtual int Close(int fd);
  virtual ssize_t Read(int fd, void* buffer, size_t size);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  // Only argument-less requests (TIOCEXCL, TIOCNXCL) are needed.
  virtual int Ioctl(int fd, unsigned long request);
  virtual int TcGetAttr(int fd, termios* attributes);
  virtual int TcSetAttr(int fd, int when, const termios* attributes);
  virtual int Flock(int fd, int operation);
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
  virtual int ClockGetTime(clockid_t clock, timespec* now);
  virtual int NanoSleep(const timespec* request, timespec* remaining);
};

// The process-wide instance that makes the real calls.
SysCalls& RealSysCalls();

}  // namespace vqx::posix
