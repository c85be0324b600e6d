#pragma once

#include "net/stream_socket.h"

namespace vqx::posix {

// A TCP connection with the BSD socket calls.
class PosixStreamSocket final : public IStreamSocket {
 public:
  PosixStreamSocket() = default;
  ~PosixStreamSocket() override;
  PosixStreamSocket(const PosixStreamSocket&) = delete;
  PosixStreamSocket& operator=(const PosixStreamSocket&) = delete;

  ConnectResult Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) override;
  void Close() override;
  int32_t Receive(uint8_t* buffer, size_t size) override;
  int32_t Send(const uint8_t* data, size_t size) override;
  bool WaitReadable(uint32_t ms) override;
  bool WaitWritable(uint32_t ms) override;
  // SIOCOUTQ: on Linux, bytes not yet sent plus bytes sent but not acknowledged.
  int32_t UnacknowledgedBytes() override;
  std::string ErrorText(int systemError) override;

 private:
  bool Wait(short events, uint32_t ms);
  int fd_ = -1;
};

}  // namespace vqx::posix
