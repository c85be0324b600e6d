#include "posix/posix_serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "posix/termios_setup.h"
#include "system_port.h"

namespace vqx::posix {
namespace {

constexpr size_t kMaxNameLength = 255;

PortOpenError ErrorForOpen(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ENAMETOOLONG:
      return PortOpenError::NotFound;
    case EBUSY:
      return PortOpenError::Busy;
    case EACCES:
    case EPERM:
    case EROFS:
      return PortOpenError::PermissionDenied;
    case EISDIR:
      return PortOpenError::NotASerialPort;
    default:
      return PortOpenError::Other;
  }
}

}  // namespace

int PosixSerialPort::SetAttributes(const termios& attributes) {
  for (int attempt = 0; attempt <= kMaxInterruptRetries; ++attempt) {
    if (sys_.TcSetAttr(fd_, TCSANOW, &attributes) == 0) {
      return 0;
    }
    if (errno != EINTR) {
      return errno;
    }
  }
  return EINTR;
}

PosixSerialPort::PosixSerialPort(SysCalls& sys, uint32_t writeTimeoutMs)
    : sys_(sys), writeTimeoutMs_(writeTimeoutMs) {}

PosixSerialPort::~PosixSerialPort() { Close(); }

bool PosixSerialPort::IsOpen() const {
  std::lock_guard<std::mutex> lock(readMutex_);
  return fd_ >= 0;
}

PortOpenResult PosixSerialPort::Fail(PortOpenError error, int systemError) {
  CloseLocked();
  PortOpenResult result;
  result.ok = false;
  result.error = error;
  result.systemError = systemError;
  return result;
}

PortOpenResult PosixSerialPort::Open(const char* name, const LineSettings& settings) {
  std::scoped_lock lock(readMutex_, writeMutex_);
  CloseLocked();

  if (name == nullptr || name[0] == '\0') {
    return Fail(PortOpenError::NotFound, ENOENT);
  }
  if (std::strlen(name) > kMaxNameLength) {
    return Fail(PortOpenError::NotFound, ENAMETOOLONG);
  }
  const std::string path = ResolvePortName(name);

  int fd = -1;
  do {
    fd = sys_.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    return Fail(ErrorForOpen(err), err);
  }
  // From here on every failure must release the descriptor: Fail closes fd_.
  fd_ = fd;

  termios attributes{};
  if (sys_.TcGetAttr(fd_, &attributes) != 0) {
    const int err = errno;
    return Fail(err == ENOTTY || err == EINVAL ? PortOpenError::NotASerialPort
                                               : PortOpenError::Other,
                err);
  }

  // Root's open() passes another program's TIOCEXCL; that program still holds the port.
  // Refused without touching the flag, which is the holder's, not ours.
  int exclusive = 0;
  if (sys_.IoctlInt(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    return Fail(PortOpenError::Busy, EBUSY);
  }
  // flock also stops root and a second port object in this process; TIOCEXCL only
  // stops other users' open() but is what other terminal programs look at.
  int locked = -1;
  do {
    locked = sys_.Flock(fd_, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int err = errno;
    return Fail(err == EWOULDBLOCK || err == EAGAIN ? PortOpenError::Busy : PortOpenError::Other,
                err);
  }
  if (sys_.Ioctl(fd_, TIOCEXCL) != 0) {
    const int err = errno;
    return Fail(err == ENOTTY ? PortOpenError::NotASerialPort : PortOpenError::Other, err);
  }
  exclusiveSet_ = true;

  const termios original = attributes;
  MakeRaw(attributes);
  ApplyLineSettings(attributes, settings);
  int setError = SetAttributes(attributes);
  if (setError != 0) {
    // A speed the driver refuses is not an error: keep the speed it had and retry.
    cfsetispeed(&attributes, cfgetispeed(&original));
    cfsetospeed(&attributes, cfgetospeed(&original));
    setError = SetAttributes(attributes);
  }
  // Drivers take what they can (a pty keeps 8 bits and no parity, and refuses a
  // request of nothing else); the line settings are best effort, but without a raw
  // line CR/LF translation and echo would corrupt every exchange.
  termios actual{};
  if (sys_.TcGetAttr(fd_, &actual) != 0 || !IsRaw(actual)) {
    return Fail(PortOpenError::Other, setError != 0 ? setError : EIO);
  }
  // tcsetattr succeeds when the driver took any part of the request: the settings the
  // line really runs at are the ones read back.
  const LineSettings line = LineOfAttributes(actual);
  const uint32_t baud = line.baudRate > 0 ? static_cast<uint32_t>(line.baudRate) : 50U;
  msPerByte_ = std::max<uint32_t>(1U, (12000U + baud - 1) / baud);
  // Bytes an earlier program left to be read must never be taken for a reply, nor bytes it
  // left unsent reach the unit ahead of our first line. Only the driver's own queue holds
  // unsent bytes: on a pseudo-terminal what was written already waits in the other side's
  // input, and an output flush there throws away lines the unit has not read yet (the SAVE
  // of an update, when the port is reopened at the unit's new line settings). A driver that
  // cannot count its queue is flushed both ways, as before.
  int unsent = 0;
  const bool flushOutput = sys_.IoctlInt(fd_, TIOCOUTQ, &unsent) != 0 || unsent > 0;
  sys_.TcFlush(fd_, flushOutput ? TCIOFLUSH : TCIFLUSH);

  gone_.store(false);
  readHead_ = 0;
  readTail_ = 0;
  PortOpenResult result;
  result.ok = true;
  result.lineInEffect = line;
  result.settingsRefused = !SameLine(line, settings);
  return result;
}

bool PosixSerialPort::ChangeLineSettings(const LineSettings& settings) {
  std::scoped_lock lock(readMutex_, writeMutex_);
  if (fd_ < 0 || gone_.load()) return false;
  termios attributes{};
  if (sys_.TcGetAttr(fd_, &attributes) != 0) return false;
  if (!ApplyLineSettings(attributes, settings)) return false;
  if (SetAttributes(attributes) != 0) return false;
  msPerByte_ = std::max<uint32_t>(1U, (12000U + static_cast<uint32_t>(settings.baudRate) - 1) /
                                          static_cast<uint32_t>(settings.baudRate));
  // Bytes received at the old settings mean nothing at the new ones: those read ahead
  // and those still queued in the driver.
  sys_.TcFlush(fd_, TCIFLUSH);
  readHead_ = 0;
  readTail_ = 0;
  return true;
}

void PosixSerialPort::Close() {
  std::scoped_lock lock(readMutex_, writeMutex_);
  CloseLocked();
}

void PosixSerialPort::CloseLocked() {
  if (fd_ >= 0) {
    // The exclusive flag outlives our descriptor while someone else (a pty master's
    // holder) keeps the tty open; clear it so the next open by a normal user works.
    // Only our own: on a refused open the flag belongs to the program that holds the port.
    // The line stays raw at our settings. Giving a tty back its own (echo and canonical
    // input, as a fresh one has) while its other end still talks would echo the unit's
    // output back into the unit; and a program that opens the port next sets its own.
    if (exclusiveSet_) sys_.Ioctl(fd_, TIOCNXCL);
    sys_.Close(fd_);  // releases the flock too; never retried on EINTR (fd is gone)
    fd_ = -1;
  }
  exclusiveSet_ = false;
  gone_.store(false);
  readHead_ = 0;
  readTail_ = 0;
}

int32_t PosixSerialPort::FillLocked() {
  if (fd_ < 0 || gone_.load()) {
    return kPortGone;
  }
  readHead_ = 0;
  readTail_ = 0;
  for (int attempt = 0; attempt <= kMaxInterruptRetries; ++attempt) {
    const ssize_t n = sys_.Read(fd_, readBuffer_, kReadBufferSize);
    if (n > 0) {
      readTail_ = static_cast<size_t>(n);
      return static_cast<int32_t>(n);
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return 0;
    }
    // 0 is a hang-up; EIO/ENXIO an unplugged adapter or closed pty master. Any other
    // error leaves the port just as unusable, and retrying would only spin.
    gone_.store(true);
    return kPortGone;
  }
  return 0;  // interrupted over and over: nothing read this time, try again later
}

int32_t PosixSerialPort::QueuedBytes() {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (readHead_ < readTail_) {
    return static_cast<int32_t>(readTail_ - readHead_);
  }
  return FillLocked();
}

bool PosixSerialPort::ReadByte(uint8_t& byte) {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (readHead_ >= readTail_ && FillLocked() <= 0) {
    return false;
  }
  byte = readBuffer_[readHead_++];
  return true;
}

void PosixSerialPort::SleepMs(uint32_t ms) {
  timespec request{static_cast<time_t>(ms / 1000U), static_cast<long>(ms % 1000U) * 1000000L};
  timespec remaining{};
  for (int attempt = 0; attempt <= kMaxInterruptRetries; ++attempt) {
    if (sys_.NanoSleep(&request, &remaining) == 0 || errno != EINTR) return;
    request = remaining;
  }
}

bool PosixSerialPort::TcDrainLocked() {
  for (int attempt = 0; attempt <= kMaxInterruptRetries; ++attempt) {
    if (sys_.TcDrain(fd_) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EIO || errno == ENXIO) gone_.store(true);
    return false;
  }
  return false;
}

bool PosixSerialPort::Drain(uint32_t limitMs) {
  const uint32_t start = NowMs();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(writeMutex_);
      if (fd_ < 0 || gone_.load()) return false;
      int queued = 0;
      // A driver that cannot count its queue is not waited for: tcdrain could then
      // block for as long as the line stands still.
      if (sys_.IoctlInt(fd_, TIOCOUTQ, &queued) != 0) return true;
      // Empty queue: only the hardware's own few bytes are left, which tcdrain waits
      // out within a bound the driver sets.
      if (queued <= 0) return TcDrainLocked();
    }
    const uint32_t elapsed = NowMs() - start;
    if (elapsed >= limitMs) return false;
    SleepMs(std::min(kDrainCheckMs, limitMs - elapsed));
  }
}

uint32_t PosixSerialPort::NowMs() {
  timespec now{};
  sys_.ClockGetTime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000U +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000U);
}

size_t PosixSerialPort::Write(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  if (fd_ < 0 || gone_.load() || data == nullptr) {
    return 0;
  }
  size_t written = 0;
  int interrupts = 0;
  const uint32_t start = NowMs();
  // A long write at a slow rate needs its time on the wire; a queue that stops taking
  // bytes is given up after the write time-out, however much is left.
  const uint32_t budget = static_cast<uint32_t>(
      std::min<uint64_t>(uint64_t{writeTimeoutMs_} + uint64_t{msPerByte_} * size, UINT32_MAX));
  uint32_t lastProgress = start;
  while (written < size) {
    const ssize_t n = sys_.Write(fd_, data + written, size - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      lastProgress = NowMs();
      continue;
    }
    if (n < 0 && errno == EINTR) {
      if (++interrupts > kMaxInterruptRetries) {
        break;
      }
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (errno == EIO || errno == ENXIO) {
        gone_.store(true);
      }
      break;
    }
    // Output queue full (or a write of 0): wait for room within the time budget.
    const uint32_t now = NowMs();
    const uint32_t elapsed = now - start;
    const uint32_t stalled = now - lastProgress;
    if (elapsed >= budget || stalled >= writeTimeoutMs_) {
      break;
    }
    pollfd waiter{};
    waiter.fd = fd_;
    waiter.events = POLLOUT;
    const uint32_t wait = std::min(budget - elapsed, writeTimeoutMs_ - stalled);
    const int ready = sys_.Poll(&waiter, 1, static_cast<int>(std::min<uint32_t>(wait, INT32_MAX)));
    if (ready < 0 && errno != EINTR) {
      break;
    }
    if (ready > 0 && (waiter.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
        (waiter.revents & POLLOUT) == 0) {
      gone_.store(true);
      break;
    }
  }
  return written;
}

}  // namespace vqx::posix
