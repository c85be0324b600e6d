#pragma once

#include "win32/windows_api.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "port/serial_port.h"
#include "win32/win32_calls.h"

namespace vqx::win32 {

// A COM port used as the utility's serial port: opened exclusively (share mode 0), the
// line raw (binary, no flow control, no special characters), reads that return at once.
//
// Thread use as on POSIX: Open and Close may run on one thread while another polls or
// writes; the handle is never closed under a read or write in progress. Reads and writes
// use separate locks, so a slow write does not stall polling.
//
// While a port is open the system timer runs at 1 ms: the link's polling and the escape's
// quiet times sleep in milliseconds, which Windows otherwise rounds up to 15.6 ms each.
class Win32SerialPort final : public ISerialPort {
 public:
  static constexpr int32_t kPortGone = -1;
  // The margin on top of the time the bytes of one Write need on the wire.
  static constexpr uint32_t kDefaultWriteTimeoutMs = 2000;
  static constexpr UINT kTimerPeriodMs = 1;

  explicit Win32SerialPort(Win32Calls& calls = RealWin32Calls(),
                           uint32_t writeTimeoutMs = kDefaultWriteTimeoutMs);
  ~Win32SerialPort() override;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  PortOpenResult Open(const char* name, const LineSettings& settings) override;
  void Close() override;
  // Bytes ready to read; kPortGone when nothing is open or the adapter went away. A lost
  // port stays lost until the next Open.
  int32_t QueuedBytes() override;
  bool ReadByte(uint8_t& byte) override;
  // Gives up once the bytes' time on the wire at the open rate, plus the write time-out,
  // has passed, however slowly the driver takes bytes (each WriteFile is bounded the same
  // way through COMMTIMEOUTS). Fewer bytes than asked means the line was cut.
  size_t Write(const uint8_t* data, size_t size) override;
  // Waits while the driver's output queue holds bytes, then FlushFileBuffers for the
  // last ones. False when limitMs passed first or the port is gone.
  bool Drain(uint32_t limitMs) override;

  bool IsOpen() const;

 private:
  static constexpr size_t kReadBufferSize = 256;
  static constexpr uint32_t kDrainCheckMs = 2;

  void CloseLocked();
  // The most one Write of size bytes may take at the open line's rate.
  uint32_t WriteBudgetMs(size_t size) const;
  PortOpenResult Fail(PortOpenError error, DWORD systemError);
  int32_t FillLocked();
  uint32_t NowMs();

  Win32Calls& calls_;
  const uint32_t writeTimeoutMs_;

  mutable std::mutex readMutex_;
  mutable std::mutex writeMutex_;
  // Written only with both locks held; read under either.
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::atomic<bool> gone_{false};
  // What the device had before we opened it, given back at close so the next program
  // finds the port as it was. Valid while handle_ is.
  COMMTIMEOUTS originalTimeouts_{};
  bool haveOriginalTimeouts_ = false;
  // The open line's time per byte (a 12-bit frame, the longest there is), for time-outs.
  uint32_t msPerByte_ = 1;
  bool timerPeriodSet_ = false;

  // Guarded by readMutex_.
  uint8_t readBuffer_[kReadBufferSize] = {};
  size_t readHead_ = 0;
  size_t readTail_ = 0;
};

// Whether a failed ReadFile, WriteFile or ClearCommError means the adapter is gone
// (unplugged USB adapter, removed device) rather than a passing problem.
bool IsLostPortError(DWORD error);

// The DCB for the four line settings over what the driver reported: binary, parity
// checked only when parity is set, no flow control, no special characters.
void MakeRawDcb(DCB& dcb, const LineSettings& settings);

// The four line settings a DCB stands for.
LineSettings LineOfDcb(const DCB& dcb);

}  // namespace vqx::win32
