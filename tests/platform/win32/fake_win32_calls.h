#pragma once

// A COM port driver that does what a test tells it: the errors of a removed USB adapter,
// a driver that stops taking bytes, a tick counter about to wrap. Where Wine differs from
// Windows it behaves as Windows does: it refuses line settings its hardware cannot make,
// completes a write only once the bytes are on the wire (within COMMTIMEOUTS), and
// rounds every sleep up to the system timer's period unless timeBeginPeriod asked.

#include <algorithm>
#include <cmath>
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
  std::vector<DWORD> supportedBauds;  // when set, SetState refuses any other speed
  bool refusesSevenBits = false;   // SetState refuses ByteSize 7 (adapters without it)
  bool keepsEightBitsNoParity = false;  // SetState succeeds but keeps 8N (Wine on a pty)
  COMMTIMEOUTS originalTimeouts{};   // what GetTimeouts reports before anyone set them
  std::vector<COMMTIMEOUTS> setTimeouts;
  std::vector<DWORD> purges;       // PurgeComm flags, in order
  // With transmitsBeforeCompleting, Write returns only once its bytes left the line at
  // driverDcb's rate, cut short (successfully, as serial.sys does) by COMMTIMEOUTS.
  bool transmitsBeforeCompleting = false;
  double periodMs = 1.0;           // a Sleep lasts whole periods (15.625 without timeBeginPeriod)
  double timerPeriodDefaultMs = 1.0;
  int timerPeriodsBegun = 0;       // timeBeginPeriod minus timeEndPeriod
  std::vector<std::wstring> calls; // the order of the calls that matter for open and close
  std::wstring dosDevices;         // QueryDosDevice's list, NUL-separated, without the final NUL
  std::vector<DWORD> dosBufferSizes;
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
    calls.push_back(L"Close");
    return TRUE;
  }
  BOOL GetState(HANDLE, DCB* dcb) override {
    if (getStateError != 0) return Fail<BOOL>(getStateError, FALSE);
    *dcb = driverDcb;
    return TRUE;
  }
  BOOL SetState(HANDLE, DCB* dcb) override {
    setStates.push_back(*dcb);
    calls.push_back(L"SetState");
    if (setStateFailures > 0) {
      --setStateFailures;
      return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (!supportedBauds.empty() &&
        std::find(supportedBauds.begin(), supportedBauds.end(), dcb->BaudRate) == supportedBauds.end()) {
      return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (refusesSevenBits && dcb->ByteSize == 7) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    driverDcb = *dcb;
    if (keepsEightBitsNoParity) {
      driverDcb.ByteSize = 8;
      driverDcb.Parity = NOPARITY;
      driverDcb.fParity = FALSE;
    }
    return TRUE;
  }
  BOOL SetTimeouts(HANDLE, COMMTIMEOUTS* t) override {
    calls.push_back(L"SetTimeouts");
    timeouts = *t;
    setTimeouts.push_back(*t);
    return TRUE;
  }
  BOOL GetTimeouts(HANDLE, COMMTIMEOUTS* t) override {
    *t = setTimeouts.empty() ? originalTimeouts : timeouts;
    return TRUE;
  }
  BOOL Purge(HANDLE, DWORD flags) override {
    calls.push_back(L"Purge");
    purges.push_back(flags);
    if ((flags & PURGE_RXCLEAR) != 0) input.clear();
    return TRUE;
  }
  bool BeginTimerPeriod(UINT ms) override {
    calls.push_back(L"BeginTimerPeriod");
    ++timerPeriodsBegun;
    periodMs = ms;
    return true;
  }
  bool EndTimerPeriod(UINT) override {
    calls.push_back(L"EndTimerPeriod");
    if (--timerPeriodsBegun == 0) periodMs = timerPeriodDefaultMs;
    return true;
  }
  DWORD QueryDosDevices(const wchar_t*, wchar_t* buffer, DWORD size) override {
    dosBufferSizes.push_back(size);
    const size_t needed = dosDevices.size() + 1;
    if (size < needed) return Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    std::copy(dosDevices.begin(), dosDevices.end(), buffer);
    buffer[dosDevices.size()] = L'\0';
    return static_cast<DWORD>(needed);
  }
  // Milliseconds one byte takes on the line at driverDcb's settings.
  double ByteMs() const {
    const int bits = 1 + driverDcb.ByteSize + (driverDcb.Parity != NOPARITY ? 1 : 0) +
                     (driverDcb.StopBits == TWOSTOPBITS ? 2 : 1);
    return bits * 1000.0 / driverDcb.BaudRate;
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
    DWORD n = std::min(size, writeTakes);
    if (transmitsBeforeCompleting) {
      const double limitMs = static_cast<double>(timeouts.WriteTotalTimeoutMultiplier) * size +
                             timeouts.WriteTotalTimeoutConstant;
      const bool limited = timeouts.WriteTotalTimeoutMultiplier != 0 || timeouts.WriteTotalTimeoutConstant != 0;
      if (limited && n * ByteMs() > limitMs) n = static_cast<DWORD>(limitMs / ByteMs());
      AdvanceMs(limited && n < size ? limitMs : n * ByteMs());
    }
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
  void SleepMs(DWORD ms) override {
    sleeps.push_back(ms);
    // Windows wakes a sleeper only at a timer tick: a sleep lasts whole periods.
    const double periods = std::ceil(ms / periodMs - 1e-9);
    AdvanceMs(std::max(periods, ms > 0 ? 1.0 : 0.0) * periodMs);
  }
  std::vector<DWORD> sleeps;
  double fractionMs = 0;  // below one tick, carried to the next advance

  void AdvanceMs(double ms) {
    fractionMs += ms;
    const double whole = std::floor(fractionMs);
    ticks += static_cast<uint64_t>(whole);
    fractionMs -= whole;
  }

 private:
  template <typename T>
  T Fail(DWORD error, T value) {
    lastError = error;
    return value;
  }
};

}  // namespace vqx::win32::testing
