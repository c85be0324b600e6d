#pragma once

// Real system calls with scripted failures in front of them. Each queue entry is used
// by one call; when a queue is empty the real call runs.

#include <sys/ioctl.h>

#include <cerrno>
#include <deque>
#include <vector>

#include "posix/syscalls.h"

namespace vqx::posix::testing {

class FaultySysCalls : public SysCalls {
 public:
  // Read: an errno makes the call fail, kHangUp makes it return 0.
  static constexpr int kHangUp = -1;
  std::deque<int> readFaults;
  // Write: an errno makes the call fail; kShortWrite(n) lets at most n bytes through.
  static constexpr int ShortWrite(int n) { return 100000 + n; }
  std::deque<int> writeFaults;
  std::deque<int> openFaults;
  std::deque<int> tcGetAttrFaults;
  std::deque<int> tcSetAttrFaults;
  std::deque<int> flockFaults;
  std::deque<int> sleepInterruptions;  // remaining ms reported by an interrupted sleep
  bool fixedTime = false;
  timespec now{};
  // With fixedTime: each sleep moves the fixed time on by what it asked for.
  bool sleepMovesTime = false;
  // TIOCOUTQ answers, one per call; stuckOutputQueue >= 0 answers every call once empty.
  std::deque<int> outputQueued;
  int stuckOutputQueue = -1;
  std::deque<int> tcDrainFaults;
  bool keepsSpeed = false;
  std::vector<int> flushes;  // the queue argument of every tcflush

  int readCalls = 0;
  int writeCalls = 0;
  int pollCalls = 0;
  int closeCalls = 0;
  int tcDrainCalls = 0;
  std::vector<timespec> sleepRequests;
  std::vector<termios> setRequests;  // every attribute set asked for, refused or not

  int Open(const char* path, int flags) override {
    if (!openFaults.empty()) return Fail(openFaults);
    return SysCalls::Open(path, flags);
  }
  int Close(int fd) override {
    ++closeCalls;
    return SysCalls::Close(fd);
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    ++readCalls;
    if (!readFaults.empty()) {
      const int fault = readFaults.front();
      readFaults.pop_front();
      if (fault == kHangUp) return 0;
      errno = fault;
      return -1;
    }
    return SysCalls::Read(fd, buffer, size);
  }
  ssize_t Write(int fd, const void* data, size_t size) override {
    ++writeCalls;
    if (!writeFaults.empty()) {
      const int fault = writeFaults.front();
      writeFaults.pop_front();
      if (fault >= 100000) {
        const size_t cap = static_cast<size_t>(fault - 100000);
        return SysCalls::Write(fd, data, size < cap ? size : cap);
      }
      errno = fault;
      return -1;
    }
    return SysCalls::Write(fd, data, size);
  }
  int TcGetAttr(int fd, termios* attributes) override {
    if (!tcGetAttrFaults.empty()) return Fail(tcGetAttrFaults);
    return SysCalls::TcGetAttr(fd, attributes);
  }
  int TcSetAttr(int fd, int when, const termios* attributes) override {
    setRequests.push_back(*attributes);
    if (!tcSetAttrFaults.empty()) return Fail(tcSetAttrFaults);
    if (keepsSpeed) {
      // A driver that takes the call but not the speed: tcsetattr still succeeds, as it
      // does whenever any part of the request was taken.
      termios taken = *attributes;
      termios current{};
      if (SysCalls::TcGetAttr(fd, &current) == 0) {
        cfsetispeed(&taken, cfgetispeed(&current));
        cfsetospeed(&taken, cfgetospeed(&current));
      }
      return SysCalls::TcSetAttr(fd, when, &taken);
    }
    return SysCalls::TcSetAttr(fd, when, attributes);
  }
  int TcFlush(int fd, int queue) override {
    flushes.push_back(queue);
    return SysCalls::TcFlush(fd, queue);
  }
  int Flock(int fd, int operation) override {
    if (!flockFaults.empty()) return Fail(flockFaults);
    return SysCalls::Flock(fd, operation);
  }
  int IoctlInt(int fd, unsigned long request, int* value) override {
    if (request == TIOCOUTQ && !outputQueued.empty()) {
      *value = outputQueued.front();
      outputQueued.pop_front();
      return 0;
    }
    if (request == TIOCOUTQ && stuckOutputQueue >= 0) {
      *value = stuckOutputQueue;
      return 0;
    }
    return SysCalls::IoctlInt(fd, request, value);
  }
  int TcDrain(int fd) override {
    ++tcDrainCalls;
    if (!tcDrainFaults.empty()) return Fail(tcDrainFaults);
    return SysCalls::TcDrain(fd);
  }
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    ++pollCalls;
    return SysCalls::Poll(fds, count, timeoutMs);
  }
  int ClockGetTime(clockid_t clock, timespec* time) override {
    if (fixedTime) {
      *time = now;
      return 0;
    }
    return SysCalls::ClockGetTime(clock, time);
  }
  int NanoSleep(const timespec* request, timespec* remaining) override {
    sleepRequests.push_back(*request);
    if (fixedTime && sleepMovesTime) {
      now.tv_nsec += request->tv_nsec;
      now.tv_sec += request->tv_sec + now.tv_nsec / 1000000000L;
      now.tv_nsec %= 1000000000L;
    }
    if (!sleepInterruptions.empty()) {
      const int leftMs = sleepInterruptions.front();
      sleepInterruptions.pop_front();
      remaining->tv_sec = leftMs / 1000;
      remaining->tv_nsec = static_cast<long>(leftMs % 1000) * 1000000L;
      errno = EINTR;
      return -1;
    }
    return 0;  // no real sleep: the tests only check what was asked for
  }

 private:
  static int Fail(std::deque<int>& faults) {
    errno = faults.front();
    faults.pop_front();
    return -1;
  }
};

}  // namespace vqx::posix::testing
