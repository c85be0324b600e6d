#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "port/serial_port.h"
#include "posix/syscalls.h"

namespace vqx::posix {

// A tty device used as the utility's serial port.
//
// Thread use: Open and Close may run on one thread while another polls or writes;
// the descriptor is never closed under a read or write in progress. Reads
// (QueuedBytes, ReadByte) and writes use separate locks so a slow write does not
// stall polling, and whole buffers from two writers never interleave.
class PosixSerialPort final : public ISerialPort {
 public:
  static constexpr int32_t kPortGone = -1;
  static constexpr uint32_t kDefaultWriteTimeoutMs = 2000;

  explicit PosixSerialPort(SysCalls& sys = RealSysCalls(),
                           uint32_t writeTimeoutMs = kDefaultWriteTimeoutMs);
  ~PosixSerialPort() override;
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  PortOpenResult Open(const char* name, const LineSettings& settings) override;
  void Close() override;
  // Bytes ready to read; kPortGone when no port is open or the device went away
  // (hang-up, adapter unplugged). A lost device stays lost until the next Open.
  int32_t QueuedBytes() override;
  bool ReadByte(uint8_t& byte) override;
  // Waits for room in a full output queue up to the bytes' time on the wire at the open
  // rate plus the write time-out. Fewer bytes than asked means the line was cut.
  size_t Write(const uint8_t* data, size_t size) override;
  // Waits while the driver's output queue holds bytes (looking every few milliseconds,
  // the write lock held only to look), then tcdrain for the last bytes in the hardware,
  // which the driver bounds by its own buffer. False when limitMs passed first.
  bool Drain(uint32_t limitMs) override;
  // tcsetattr on the open descriptor; false (the port unchanged) when the driver refuses
  // or the speed is not one the system names.
  bool ChangeLineSettings(const LineSettings& settings) override;

  bool IsOpen() const;

 private:
  static constexpr size_t kReadBufferSize = 256;
  static constexpr int kMaxInterruptRetries = 16;
  static constexpr uint32_t kDrainCheckMs = 2;

  void CloseLocked();
  // 0 or the errno of the last attempt.
  int SetAttributes(const termios& attributes);
  PortOpenResult Fail(PortOpenError error, int systemError);
  int32_t FillLocked();
  // tcdrain, retried on EINTR; the caller holds writeMutex_.
  bool TcDrainLocked();
  uint32_t NowMs();
  void SleepMs(uint32_t ms);

  SysCalls& sys_;
  const uint32_t writeTimeoutMs_;

  mutable std::mutex readMutex_;
  mutable std::mutex writeMutex_;
  // Written only with both locks held; read under either.
  int fd_ = -1;
  std::atomic<bool> gone_{false};
  // We set the exclusive flag on fd_'s tty (and so clear it when we let go).
  bool exclusiveSet_ = false;
  // The device's attributes before we opened it, given back at close so the next program
  // finds the port as it was.
  // The open line's time per byte (a 12-bit frame, the longest there is), for time-outs.
  uint32_t msPerByte_ = 1;

  // Guarded by readMutex_.
  uint8_t readBuffer_[kReadBufferSize] = {};
  size_t readHead_ = 0;
  size_t readTail_ = 0;
};

}  // namespace vqx::posix
