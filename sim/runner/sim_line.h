#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "port/serial_port.h"

namespace vqx::sim {

// The unit's end of its serial line: the master of a pseudo-terminal on POSIX, an
// in-process line on Windows (which has no pseudo-terminals). The utility reaches the
// other end through CreateHostPort().
class SimLine {
 public:
  virtual ~SimLine() = default;

  // Makes the line (a new cable); false with a readable reason.
  virtual bool Open(std::string* error) = 0;
  virtual bool IsOpen() const = 0;
  // The cable pulled: the utility's open port sees its adapter gone.
  virtual void Close() = 0;

  // The name the utility opens (e.g. /dev/pts/3).
  virtual std::string HostPortName() const = 0;
  // A serial port object that can open HostPortName() (and, by any other name, the
  // machine's own ports).
  virtual std::unique_ptr<ISerialPort> CreateHostPort() = 0;

  struct Readiness {
    bool readable = false;  // bytes from the host are waiting
    bool troubled = false;  // the line reports an error or hang-up
  };
  // Waits at most waitMs for bytes from the host, or for room when wantToSend.
  virtual Readiness Wait(uint32_t waitMs, bool wantToSend) = 0;
  // Bytes the host sent: > 0 read, 0 none, < 0 the line failed.
  virtual ptrdiff_t Receive(uint8_t* buffer, size_t size) = 0;
  // Passes bytes to the host without blocking; returns how many the line took.
  virtual size_t Send(const char* data, size_t size) = 0;
};

// This platform's line: a pseudo-terminal where there are some, else in-process.
std::unique_ptr<SimLine> CreatePlatformSimLine();

}  // namespace vqx::sim
