#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vqx {

// One TCP connection, as the network port needs it: non-blocking, Nagle off (a "+++" must
// leave in one segment, and a command's line without waiting for an acknowledgement).
// One implementation per platform; tests substitute a scripted one. Every wait is bounded.
class IStreamSocket {
 public:
  enum class ConnectError { None, UnknownHost, Refused, TimedOut, Unreachable, Other };
  struct ConnectResult {
    ConnectError error = ConnectError::None;
    int systemError = 0;  // errno, a getaddrinfo code or WSAGetLastError
  };

  virtual ~IStreamSocket() = default;

  // Resolves host and connects within timeoutMs (name lookup included where the system
  // lets it be bounded). Closes an earlier connection first.
  virtual ConnectResult Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) = 0;
  // Safe when nothing is connected.
  virtual void Close() = 0;
  // Bytes received (>0), 0 when none wait, negative when the connection is gone (reset,
  // closed by the server).
  virtual int32_t Receive(uint8_t* buffer, size_t size) = 0;
  // Bytes taken by the system (may be fewer than size, 0 when its buffer is full),
  // negative when the connection is gone.
  virtual int32_t Send(const uint8_t* data, size_t size) = 0;
  // Waits up to ms for the connection to become readable (or writable); true when it is
  // (a closed connection counts as readable: Receive then says so).
  virtual bool WaitReadable(uint32_t ms) = 0;
  virtual bool WaitWritable(uint32_t ms) = 0;
  // Bytes written but not yet acknowledged by the server; negative when the system does
  // not tell.
  virtual int32_t UnacknowledgedBytes() = 0;
  // A short description of a system error code, for messages.
  virtual std::string ErrorText(int systemError) = 0;
};

}  // namespace vqx
