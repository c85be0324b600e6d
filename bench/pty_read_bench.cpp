// Reading a unit that talks without pause, through a real pseudo-terminal: the
// port's buffered reads against one read() system call per byte (the plain way a
// one-byte-per-poll link would read), both measured in the same run.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "posix/pty_pair.h"
#include "system_port.h"

namespace {

constexpr size_t kBytes = 4u << 20;

// Feeds kBytes into the master side from a thread.
std::thread Feed(int master) {
  return std::thread([master] {
    std::vector<char> chunk(4096, 'x');
    for (size_t i = 0; i < chunk.size(); i += 64) chunk[i] = '\n';
    size_t sent = 0;
    while (sent < kBytes) {
      const ssize_t n = ::write(master, chunk.data(), chunk.size());
      if (n > 0) sent += static_cast<size_t>(n);
    }
  });
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double ReadPerByteSyscall() {
  vqx::PtyPair pty;
  std::string error;
  if (!pty.Create(&error)) return -1;
  const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  std::thread feeder = Feed(pty.MasterFd());
  const auto t0 = std::chrono::steady_clock::now();
  size_t got = 0;
  char c = 0;
  while (got < kBytes) {
    if (::read(fd, &c, 1) == 1) ++got;
  }
  const double s = Seconds(std::chrono::steady_clock::now() - t0);
  feeder.join();
  ::close(fd);
  return s;
}

double ReadThroughPort() {
  vqx::PtyPair pty;
  std::string error;
  if (!pty.Create(&error)) return -1;
  auto port = vqx::CreateSystemSerialPort();
  if (!port->Open(pty.SlavePath().c_str(), vqx::LineSettings{115200, 'N', 8, 1}).ok) return -1;
  std::thread feeder = Feed(pty.MasterFd());
  const auto t0 = std::chrono::steady_clock::now();
  size_t got = 0;
  uint8_t b = 0;
  while (got < kBytes) {
    if (port->QueuedBytes() > 0 && port->ReadByte(b)) ++got;
  }
  const double s = Seconds(std::chrono::steady_clock::now() - t0);
  feeder.join();
  return s;
}

}  // namespace

int main() {
  const double baseline = ReadPerByteSyscall();
  const double port = ReadThroughPort();
  if (baseline < 0 || port < 0) {
    std::fprintf(stderr, "could not set up a pseudo-terminal\n");
    return 1;
  }
  const double mb = static_cast<double>(kBytes) / 1e6;
  std::printf("bytes: %zu\n", kBytes);
  std::printf("baseline (one read() per byte): %7.1f MB/s\n", mb / baseline);
  std::printf("port (buffered QueuedBytes/ReadByte): %7.1f MB/s = %.1fx baseline\n", mb / port, baseline / port);
  std::printf("115200 baud delivers 0.0115 MB/s\n");
  return 0;
}
