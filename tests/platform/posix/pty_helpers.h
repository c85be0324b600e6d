#pragma once

#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "port/serial_port.h"

namespace vqx::posix::testing {

inline void WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads from a descriptor until `want` bytes came or `timeoutMs` passed without any.
inline std::vector<uint8_t> ReadFd(int fd, size_t want, int timeoutMs) {
  std::vector<uint8_t> got;
  uint8_t chunk[4096];
  while (got.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0 || (p.revents & POLLIN) == 0) break;
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}

// Polls the port the way the link does until `want` bytes came or the time ran out.
inline std::vector<uint8_t> ReadPort(ISerialPort& port, size_t want, int timeoutMs) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    const int32_t queued = port.QueuedBytes();
    if (queued < 0) break;
    if (queued == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    uint8_t byte = 0;
    if (port.ReadByte(byte)) got.push_back(byte);
  }
  return got;
}

inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

}  // namespace vqx::posix::testing
