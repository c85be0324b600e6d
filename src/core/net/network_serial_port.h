#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "net/network_port_name.h"
#include "net/stream_socket.h"
#include "net/telnet_com_port.h"
#include "port/clock.h"
#include "port/serial_port.h"

namespace vqx {

struct NetworkPortTimings {
  // Resolving the name and connecting; a mast's server behind a radio link may be slow,
  // but a technician waiting longer than this wants to hear why.
  uint32_t connectMs = 5000;
  // The server's answers to the line settings and the purge.
  uint32_t negotiationMs = 3000;
  // A send the connection stops taking.
  uint32_t writeMs = 2000;
};

// The serial line of a unit behind a serial device server (rfc2217:// or socket://),
// carried over TCP. Built on a platform's socket; the Telnet side is portable.
//
// Thread use as for the local ports: Open and Close under both locks; QueuedBytes and
// ReadByte under the read lock, Write and Drain under the write lock. The read side
// takes the write lock (after its own) to answer the server's Telnet requests.
class NetworkSerialPort final : public ISerialPort {
 public:
  NetworkSerialPort(std::unique_ptr<IStreamSocket> socket, IClock& clock, const NetworkPortTimings& timings = {});
  ~NetworkSerialPort() override;
  NetworkSerialPort(const NetworkSerialPort&) = delete;
  NetworkSerialPort& operator=(const NetworkSerialPort&) = delete;

  // Connects; over RFC 2217 sets the far port's line, checks the server's answers and
  // has it purge both of its buffers. A server that answers no COM-PORT request leaves
  // the port open at its own settings, with a warning.
  PortOpenResult Open(const char* name, const LineSettings& settings) override;
  void Close() override;
  // Negative once the connection is reset or closed by the server.
  int32_t QueuedBytes() override;
  bool ReadByte(uint8_t& byte) override;
  size_t Write(const uint8_t* data, size_t size) override;
  // Over TCP "left the line" can only mean: the server has acknowledged every byte (the
  // socket's send queue is empty). What the server's own UART still holds, a few bytes
  // at most on the servers we know, is beyond what the protocol tells.
  bool Drain(uint32_t limitMs) override;
  // Over RFC 2217 only, and only with a server that confirms every setting.
  bool ChangeLineSettings(const LineSettings& settings) override;

 private:
  static constexpr size_t kReceiveChunk = 512;
  static constexpr uint32_t kDrainCheckMs = 2;
  static constexpr uint32_t kNegotiationPollMs = 10;

  PortOpenResult Fail(PortOpenError error, const std::string& problem);
  void CloseLocked();
  // Reads what the server sent into pending_ (data) and answers its Telnet requests.
  // Negative when the connection is gone. Caller holds readMutex_.
  int32_t FillLocked();
  // Sends all of bytes within writeMs; false when the connection is gone or stalled.
  // Caller holds writeMutex_.
  bool SendAllLocked(const std::string& bytes);
  // Reads until the server has answered the line settings (and the purge, if asked)
  // or limitMs pass; data received meanwhile is stale and dropped. Both locks held.
  bool AwaitAnswersLocked(bool purge, uint32_t limitMs);
  // The line the server's answers describe; *refused when it differs from asked.
  LineSettings LineOfAnswers(const LineSettings& asked, bool* refused, std::string* unconfirmed) const;

  std::unique_ptr<IStreamSocket> socket_;
  IClock& clock_;
  const NetworkPortTimings timings_;

  mutable std::mutex readMutex_;
  mutable std::mutex writeMutex_;
  bool connected_ = false;  // written with both locks held
  std::atomic<bool> gone_{false};
  NetworkPortName name_;
  TelnetComPortCodec codec_;  // guarded by readMutex_
  std::string pending_;       // guarded by readMutex_
  size_t pendingHead_ = 0;
  // Answers the codec owes the server, sent as soon as the write lock is ours.
  std::string replies_;
};

}  // namespace vqx
