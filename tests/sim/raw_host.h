#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

namespace vqx::sim::testing {

// The host end of a serial device opened with plain POSIX calls, raw mode.
class RawHost {
 public:
  explicit RawHost(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~RawHost() {
    if (fd_ >= 0) close(fd_);
  }
  RawHost(const RawHost&) = delete;
  RawHost& operator=(const RawHost&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool Write(std::string_view bytes) {
    return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `expected` has arrived or `timeout` passes; returns all that came.
  std::string ReadUntil(std::string_view expected, std::chrono::milliseconds timeout) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (got.find(expected) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      if ((p.revents & POLLIN) == 0) break;  // hung up
      char buf[256];
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }
  // Everything that arrives within `window`.
  std::string ReadFor(std::chrono::milliseconds window) { return ReadUntil("\xff\xfe\xfd", window); }

 private:
  int fd_ = -1;
};

inline void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace vqx::sim::testing
