#pragma once

#include "posix/pty_pair.h"
#include "runner/sim_line.h"

namespace vqx::sim {

// The unit on the master side of a pseudo-terminal; the utility opens the slave device
// with the system's serial port.
class PtySimLine final : public SimLine {
 public:
  bool Open(std::string* error) override;
  bool IsOpen() const override { return pty_.IsOpen(); }
  void Close() override { pty_.Close(); }
  std::string HostPortName() const override { return pty_.SlavePath(); }
  std::unique_ptr<ISerialPort> CreateHostPort() override;
  Readiness Wait(uint32_t waitMs, bool wantToSend) override;
  ptrdiff_t Receive(uint8_t* buffer, size_t size) override;
  size_t Send(const char* data, size_t size) override;

 private:
  PtyPair pty_;
};

}  // namespace vqx::sim
