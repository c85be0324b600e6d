#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "runner/pty_sim_line.h"
#include "system_port.h"

namespace vqx::sim {

std::unique_ptr<SimLine> CreatePlatformSimLine() { return std::make_unique<PtySimLine>(); }

bool PtySimLine::Open(std::string* error) {
  if (!pty_.Create(error)) return false;
  const int fd = pty_.MasterFd();
  // Never block on a host that stops reading: unsent bytes wait in the runner.
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
    if (error != nullptr) *error = "cannot make the pseudo-terminal non-blocking";
    pty_.Close();
    return false;
  }
  return true;
}

std::unique_ptr<ISerialPort> PtySimLine::CreateHostPort() { return CreateSystemSerialPort(); }

SimLine::Readiness PtySimLine::Wait(uint32_t waitMs, bool wantToSend) {
  pollfd pfd{pty_.MasterFd(), static_cast<short>(POLLIN | (wantToSend ? POLLOUT : 0)), 0};
  const int ready = poll(&pfd, 1, static_cast<int>(waitMs));
  Readiness result;
  if (ready > 0) {
    result.readable = (pfd.revents & POLLIN) != 0;
    result.troubled = (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
  }
  return result;
}

ptrdiff_t PtySimLine::Receive(uint8_t* buffer, size_t size) {
  const ssize_t got = read(pty_.MasterFd(), buffer, size);
  if (got >= 0) return got;
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

size_t PtySimLine::Send(const char* data, size_t size) {
  const ssize_t put = write(pty_.MasterFd(), data, size);
  return put > 0 ? static_cast<size_t>(put) : 0;
}

}  // namespace vqx::sim
