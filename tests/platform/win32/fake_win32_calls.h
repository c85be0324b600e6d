#pragma once

// A COM port driver that does what a test tells it: the errors of a removed USB adapter,
// a driver that stops taking bytes, a tick counter about to wrap.

#include <deque>
#include <string>
#include <vector>

#include "win32/win32_calls.h"

namespace vqx::win32::testing {

class FakeWin32Calls : public Win32Calls {
 public:
  HANDLE const kHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1234));

  DWORD openError = 0;             // OpenDevice fails with it when set
  std::vector<std::wstring> opened;
  int closes = 0;
  DCB driverDcb{};                 // what GetState reports
  std::vector<DCB> setStates;      // every DCB given to SetState
  int setStateFailures = 0;        // the first N SetState calls fail
  COMMTIMEOUTS timeouts{};
  DWORD getStateError = 0;
  DWORD clearErrorsError = 0;      // ClearErrors fails with it when set
  std::deque<DWORD> outQueue;      // cbOutQue per ClearErrors call (last one repeats)
  std::string input;               // bytes waiting to be read
  DWORD readError = 0;
  DWORD writeError = 0;
  DWORD writeTakes = MAXDWORD;     // at most this many bytes per Write
  std::string written;
  int flushes = 0;
  uint64_t ticks = 0;
  uint64_t ticksPerCall = 0;       // the clock moves on by this at every look
  DWORD lastError = 0;

  HANDLE OpenDevice(const wchar_t* path) override {
    opened.emplace_back(path);
    if (openError != 0) return Fail<HANDLE>(openError, INVALID_HANDLE_VALUE);
    return kHandle;
  }
  BOOL Close(HANDLE) override {
    ++closes;
    return TRUE;
  }
  BOOL GetState(HANDLE, DCB* dcb) override {
    if (getStateError != 0) return Fail<BOOL>(getStateError, FALSE);
    *dcb = driverDcb;
    return TRUE;
  }
  BOOL SetState(HANDLE, DCB* dcb) override {
    setStates.push_back(*dcb);
    if (setStateFailures > 0) {
      --setStateFailures;
      return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    }
    driverDcb = *dcb;
    return TRUE;
  }
  BOOL SetTimeouts(HANDLE, COMMTIMEOUTS* t) override {
    timeouts = *t;
    return TRUE;
  }
  BOOL ClearErrors(HANDLE, DWORD* errors, COMSTAT* status) override {
    if (clearErrorsError != 0) return Fail<BOOL>(clearErrorsError, FALSE);
    *errors = 0;
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(input.size());
    if (!outQueue.empty()) {
      status->cbOutQue = outQueue.front();
      if (outQueue.size() > 1) outQueue.pop_front();
    }
    return TRUE;
  }
  BOOL Read(HANDLE, void* buffer, DWORD size, DWORD* done) override {
    if (readError != 0) return Fail<BOOL>(readError, FALSE);
    const size_t n = std::min<size_t>(size, input.size());
    input.copy(static_cast<char*>(buffer), n);
    input.erase(0, n);
    *done = static_cast<DWORD>(n);
    return TRUE;
  }
  BOOL Write(HANDLE, const void* data, DWORD size, DWORD* done) override {
    if (writeError != 0) return Fail<BOOL>(writeError, FALSE);
    const DWORD n = std::min(size, writeTakes);
    written.append(static_cast<const char*>(data), n);
    *done = n;
    return TRUE;
  }
  BOOL Flush(HANDLE) override {
    ++flushes;
    return TRUE;
  }
  DWORD LastError() override { return lastError; }
  uint64_t TickCount() override {
    const uint64_t now = ticks;
    ticks += ticksPerCall;
    return now;
  }
  void SleepMs(DWORD ms) override { ticks += ms; }

 private:
  template <typename T>
  T Fail(DWORD error, T value) {
    lastError = error;
    return value;
  }
};

}  // namespace vqx::win32::testing
