#include "win32/win32_serial_port.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "system_port.h"
#include "win32/wide_text.h"

namespace vqx::win32 {
namespace {

constexpr size_t kMaxNameLength = 255;

PortOpenError ErrorForOpen(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DEV_NOT_EXIST:
      return PortOpenError::NotFound;
    // A COM port is opened for exclusive use: another holder makes Windows answer
    // "access denied" (Wine says "sharing violation").
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return PortOpenError::Busy;
    default:
      return PortOpenError::Other;
  }
}

}  // namespace

bool IsLostPortError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
      return true;
    default:
      return false;
  }
}

void MakeRawDcb(DCB& dcb, const LineSettings& settings) {
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
  dcb.fBinary = TRUE;
  dcb.ByteSize = settings.dataBits == 7 ? 7 : 8;
  dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  switch (settings.parity) {
    case 'E': dcb.Parity = EVENPARITY; break;
    case 'O': dcb.Parity = ODDPARITY; break;
    default: dcb.Parity = NOPARITY; break;
  }
  dcb.fParity = dcb.Parity != NOPARITY ? TRUE : FALSE;
  // No flow control of either kind: the unit's line has only RX, TX and ground.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  // DTR and RTS held up, as a terminal program leaves them: some adapters power from them.
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  // Every byte as it came: no replacement of bad bytes, no NUL stripping, no stop on errors.
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.ErrorChar = 0;
  dcb.EofChar = 0;
  dcb.EvtChar = 0;
}

LineSettings LineOfDcb(const DCB& dcb) {
  LineSettings line;
  line.baudRate = static_cast<int32_t>(dcb.BaudRate);
  line.dataBits = dcb.ByteSize;
  line.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
  switch (dcb.Parity) {
    case EVENPARITY: line.parity = 'E'; break;
    case ODDPARITY: line.parity = 'O'; break;
    default: line.parity = 'N'; break;
  }
  return line;
}

Win32SerialPort::Win32SerialPort(Win32Calls& calls, uint32_t writeTimeoutMs)
    : calls_(calls), writeTimeoutMs_(writeTimeoutMs) {}

Win32SerialPort::~Win32SerialPort() { Close(); }

bool Win32SerialPort::IsOpen() const {
  std::lock_guard<std::mutex> lock(readMutex_);
  return handle_ != INVALID_HANDLE_VALUE;
}

PortOpenResult Win32SerialPort::Fail(PortOpenError error, DWORD systemError) {
  CloseLocked();
  PortOpenResult result;
  result.ok = false;
  result.error = error;
  result.systemError = static_cast<int>(systemError);
  return result;
}

PortOpenResult Win32SerialPort::Open(const char* name, const LineSettings& settings) {
  std::scoped_lock lock(readMutex_, writeMutex_);
  CloseLocked();

  if (name == nullptr || name[0] == '\0') return Fail(PortOpenError::NotFound, ERROR_FILE_NOT_FOUND);
  if (std::strlen(name) > kMaxNameLength) return Fail(PortOpenError::NotFound, ERROR_FILENAME_EXCED_RANGE);
  const std::wstring path = WidenUtf8(ResolvePortName(name));

  const HANDLE handle = calls_.OpenDevice(path.c_str());
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = calls_.LastError();
    return Fail(ErrorForOpen(error), error);
  }
  // From here on every failure must release the handle: Fail closes handle_.
  handle_ = handle;

  DCB original{};
  original.DCBlength = sizeof(DCB);
  if (!calls_.GetState(handle_, &original)) {
    // A file or a device without a serial driver: no line settings to read.
    return Fail(PortOpenError::NotASerialPort, calls_.LastError());
  }
  haveOriginalTimeouts_ = calls_.GetTimeouts(handle_, &originalTimeouts_) != FALSE;

  // A driver refuses a speed it cannot make, or a frame it does not have (7 bits on some
  // USB adapters), by refusing the whole DCB. The port is still of use at the driver's
  // own setting, so fall back step by step and report what the line runs at.
  DCB wanted = original;
  MakeRawDcb(wanted, settings);
  if (!calls_.SetState(handle_, &wanted)) {
    wanted.BaudRate = original.BaudRate;
    if (!calls_.SetState(handle_, &wanted)) {
      MakeRawDcb(wanted, settings);
      wanted.ByteSize = original.ByteSize;
      wanted.Parity = original.Parity;
      wanted.fParity = original.Parity != NOPARITY ? TRUE : FALSE;
      wanted.StopBits = original.StopBits;
      if (!calls_.SetState(handle_, &wanted)) {
        wanted.BaudRate = original.BaudRate;
        if (!calls_.SetState(handle_, &wanted)) return Fail(PortOpenError::Other, calls_.LastError());
      }
    }
  }
  // Some drivers take a DCB and keep settings of their own without a word: what counts
  // is what the driver reports back.
  DCB inEffect = wanted;
  inEffect.DCBlength = sizeof(DCB);
  if (!calls_.GetState(handle_, &inEffect)) inEffect = wanted;
  const LineSettings line = LineOfDcb(inEffect);

  // Reads return at once with what is queued. Writes give up once the bytes' time on the
  // wire plus the write time-out has passed (the loop in Write bounds the total too).
  msPerByte_ = inEffect.BaudRate > 0 ? static_cast<uint32_t>((12000U + inEffect.BaudRate - 1) / inEffect.BaudRate) : 1;
  if (msPerByte_ == 0) msPerByte_ = 1;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = msPerByte_;
  timeouts.WriteTotalTimeoutConstant = writeTimeoutMs_;
  if (!calls_.SetTimeouts(handle_, &timeouts)) return Fail(PortOpenError::Other, calls_.LastError());
  // Bytes an earlier program left to be read must never be taken for a reply, nor bytes it
  // left unsent reach the unit ahead of our first line. The transmit queue is purged only
  // when it holds bytes: a virtual port pair may hand written bytes to its other end at
  // once, and purging there would throw away lines the unit has not read yet (the SAVE of
  // an update, when the port is reopened at the unit's new line settings). A driver that
  // cannot report its queue is purged both ways, as before.
  DWORD openErrors = 0;
  COMSTAT openStatus{};
  const bool purgeOutput = !calls_.ClearErrors(handle_, &openErrors, &openStatus) || openStatus.cbOutQue > 0;
  calls_.Purge(handle_, PURGE_RXABORT | PURGE_RXCLEAR | (purgeOutput ? PURGE_TXABORT | PURGE_TXCLEAR : 0));

  timerPeriodSet_ = calls_.BeginTimerPeriod(kTimerPeriodMs);
  gone_.store(false);
  readHead_ = 0;
  readTail_ = 0;
  PortOpenResult result;
  result.ok = true;
  result.lineInEffect = line;
  result.settingsRefused = !SameLine(line, settings);
  return result;
}

void Win32SerialPort::Close() {
  std::scoped_lock lock(readMutex_, writeMutex_);
  CloseLocked();
}

void Win32SerialPort::CloseLocked() {
  if (handle_ != INVALID_HANDLE_VALUE) {
    // The next program finds the time-outs it knew: ours make every read return at once.
    // The line settings stay: a speed changed while the last bytes leave garbles them
    // (many USB adapters finish FlushFileBuffers before the wire does), and every program
    // sets its own. A removed adapter has nothing left to restore.
    if (!gone_.load() && haveOriginalTimeouts_) calls_.SetTimeouts(handle_, &originalTimeouts_);
    calls_.Close(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  if (timerPeriodSet_) {
    calls_.EndTimerPeriod(kTimerPeriodMs);
    timerPeriodSet_ = false;
  }
  haveOriginalTimeouts_ = false;
  gone_.store(false);
  readHead_ = 0;
  readTail_ = 0;
}

int32_t Win32SerialPort::FillLocked() {
  if (handle_ == INVALID_HANDLE_VALUE || gone_.load()) return kPortGone;
  readHead_ = 0;
  readTail_ = 0;
  // ClearCommError also clears line errors (framing, overrun), which are ignored: the
  // link's own checks see a garbled reply.
  DWORD errors = 0;
  COMSTAT status{};
  if (!calls_.ClearErrors(handle_, &errors, &status)) {
    // Any failure here leaves the port unusable; retrying would only spin.
    gone_.store(true);
    return kPortGone;
  }
  if (status.cbInQue == 0) return 0;
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(status.cbInQue, kReadBufferSize));
  if (!calls_.Read(handle_, readBuffer_, want, &got)) {
    gone_.store(true);
    return kPortGone;
  }
  readTail_ = got;
  return static_cast<int32_t>(got);
}

int32_t Win32SerialPort::QueuedBytes() {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (readHead_ < readTail_) return static_cast<int32_t>(readTail_ - readHead_);
  return FillLocked();
}

bool Win32SerialPort::ReadByte(uint8_t& byte) {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (readHead_ >= readTail_ && FillLocked() <= 0) return false;
  byte = readBuffer_[readHead_++];
  return true;
}

uint32_t Win32SerialPort::WriteBudgetMs(size_t size) const {
  const uint64_t budget = uint64_t{writeTimeoutMs_} + uint64_t{msPerByte_} * size;
  return static_cast<uint32_t>(std::min<uint64_t>(budget, UINT32_MAX));
}

uint32_t Win32SerialPort::NowMs() { return static_cast<uint32_t>(calls_.TickCount()); }

size_t Win32SerialPort::Write(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  if (handle_ == INVALID_HANDLE_VALUE || gone_.load() || data == nullptr) return 0;
  size_t written = 0;
  const uint32_t start = NowMs();
  const uint32_t budget = WriteBudgetMs(size);
  while (written < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - written, 64U * 1024U));
    DWORD done = 0;
    if (!calls_.Write(handle_, data + written, chunk, &done)) {
      if (IsLostPortError(calls_.LastError())) gone_.store(true);
      break;
    }
    written += done;
    // The driver's own time-out (the same length) cut the write short: the line is
    // stalled or trickling. Keep trying only within the total time, so one Write takes
    // at most about twice the budget however slowly the driver takes bytes.
    if (written < size && ElapsedMs(NowMs(), start) >= budget) break;
    if (done == 0) calls_.SleepMs(kDrainCheckMs);
  }
  return written;
}

bool Win32SerialPort::Drain(uint32_t limitMs) {
  const uint32_t start = NowMs();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(writeMutex_);
      if (handle_ == INVALID_HANDLE_VALUE || gone_.load()) return false;
      DWORD errors = 0;
      COMSTAT status{};
      if (!calls_.ClearErrors(handle_, &errors, &status)) {
        if (IsLostPortError(calls_.LastError())) gone_.store(true);
        return false;
      }
      // Empty queue: only the UART's few bytes are left, which FlushFileBuffers waits out
      // within a bound the driver sets.
      if (status.cbOutQue == 0) {
        if (calls_.Flush(handle_)) return true;
        if (IsLostPortError(calls_.LastError())) gone_.store(true);
        return false;
      }
    }
    const uint32_t elapsed = ElapsedMs(NowMs(), start);
    if (elapsed >= limitMs) return false;
    calls_.SleepMs(std::min(kDrainCheckMs, limitMs - elapsed));
  }
}

}  // namespace vqx::win32
