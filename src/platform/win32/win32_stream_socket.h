#pragma once

#include "net/stream_socket.h"
#include "win32/win32_calls.h"

namespace vqx::win32 {

// A TCP connection with Winsock, every call through Win32Calls.
class Win32StreamSocket final : public IStreamSocket {
 public:
  explicit Win32StreamSocket(Win32Calls& calls = RealWin32Calls()) : calls_(calls) {}
  ~Win32StreamSocket() override;
  Win32StreamSocket(const Win32StreamSocket&) = delete;
  Win32StreamSocket& operator=(const Win32StreamSocket&) = delete;

  ConnectResult Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) override;
  void Close() override;
  int32_t Receive(uint8_t* buffer, size_t size) override;
  int32_t Send(const uint8_t* data, size_t size) override;
  bool WaitReadable(uint32_t ms) override;
  bool WaitWritable(uint32_t ms) override;
  // SIO_TCP_INFO's bytes in flight (sent, not acknowledged; Windows 10 1703 and later).
  // Bytes Winsock has not sent yet are not counted: with Nagle off they leave at once
  // unless the server's window is full. Negative where the call is missing (Wine).
  int32_t UnacknowledgedBytes() override;
  std::string ErrorText(int systemError) override;

 private:
  bool Wait(SHORT events, uint32_t ms);
  Win32Calls& calls_;
  SOCKET socket_ = INVALID_SOCKET;
  bool started_ = false;
};

}  // namespace vqx::win32
