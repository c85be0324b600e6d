#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "port/serial_port.h"
#include "runner/sim_line.h"

namespace vqx::sim {

// A serial line inside the process: a byte queue each way between the simulated unit
// and the utility's port, each as large as a driver's buffer. Bytes pass as soon as the
// other side takes them; the unit's own timing (guard time, reply delay, byte gaps)
// comes from the unit. Shared by the unit's end and the host ports opened on it.
class InProcessLine {
 public:
  static constexpr size_t kQueueBytes = 4096;

  // A new cable: both queues empty; a port still open on the old one has lost it.
  void Plug();
  void Unplug();
  bool Plugged() const;

  // The unit's end.
  bool WaitForHostBytes(uint32_t waitMs);
  size_t TakeFromHost(uint8_t* buffer, size_t size);
  size_t SendToHost(const char* data, size_t size);

  // The host's end. Claim fails when the line is unplugged or another port holds it.
  PortOpenError Claim(uint64_t* cable);
  void Release(uint64_t cable);
  // Negative when the cable the port claimed is gone.
  int32_t QueuedForHost(uint64_t cable) const;
  bool TakeByteForHost(uint64_t cable, uint8_t* byte);
  // Waits up to limitMs for room; returns how many bytes went in.
  size_t SendToUnit(uint64_t cable, const uint8_t* data, size_t size, uint32_t limitMs);
  // Until the unit has taken every byte sent: false after limitMs or when unplugged.
  bool WaitUntilUnitTookAll(uint64_t cable, uint32_t limitMs);

 private:
  bool Current(uint64_t cable) const { return plugged_ && cable == cable_; }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool plugged_ = false;
  bool claimed_ = false;
  uint64_t cable_ = 0;  // counts plug-ins
  std::deque<uint8_t> toUnit_;
  std::deque<uint8_t> toHost_;
};

// The utility's serial port on an in-process line. Open by the line's name reaches the
// simulated unit; any other name opens the machine's own port of that name.
class InProcessSerialPort final : public ISerialPort {
 public:
  static constexpr uint32_t kWriteTimeoutMs = 2000;

  InProcessSerialPort(std::shared_ptr<InProcessLine> line, std::string lineName);
  ~InProcessSerialPort() override;
  InProcessSerialPort(const InProcessSerialPort&) = delete;
  InProcessSerialPort& operator=(const InProcessSerialPort&) = delete;

  PortOpenResult Open(const char* name, const LineSettings& settings) override;
  void Close() override;
  int32_t QueuedBytes() override;
  bool ReadByte(uint8_t& byte) override;
  size_t Write(const uint8_t* data, size_t size) override;
  bool Drain(uint32_t limitMs) override;

 private:
  const std::shared_ptr<InProcessLine> line_;
  const std::string lineName_;
  mutable std::mutex mutex_;
  bool onLine_ = false;  // guarded by mutex_, as is cable_
  uint64_t cable_ = 0;
  std::unique_ptr<ISerialPort> system_;  // the machine's port, when another name was opened
};

// The unit's end of an in-process line.
class InProcessSimLine final : public SimLine {
 public:
  static constexpr const char* kPortName = "DEMO";

  InProcessSimLine() : line_(std::make_shared<InProcessLine>()) {}
  bool Open(std::string* error) override;
  bool IsOpen() const override { return line_->Plugged(); }
  void Close() override { line_->Unplug(); }
  std::string HostPortName() const override { return kPortName; }
  std::unique_ptr<ISerialPort> CreateHostPort() override;
  Readiness Wait(uint32_t waitMs, bool wantToSend) override;
  ptrdiff_t Receive(uint8_t* buffer, size_t size) override;
  size_t Send(const char* data, size_t size) override;

 private:
  std::shared_ptr<InProcessLine> line_;
};

}  // namespace vqx::sim
