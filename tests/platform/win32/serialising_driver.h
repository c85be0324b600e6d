#pragma once

// A COM port driver in real time that handles its handle as Windows handles a handle
// opened without FILE_FLAG_OVERLAPPED: one request at a time. A WriteFile that completes
// only once its bytes are on the wire holds every other request on the handle (the
// queued-byte query, ReadFile) until it is done. Wine does not: its reads and writes on a
// serial line run side by side.
//
// The unit on the other end answers each line (ended in CR LF) with "OK" CR LF after a
// turnaround, its bytes arriving at the line's rate; and it may talk unasked.

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win32/win32_calls.h"

namespace vqx::win32::testing {

class SerialisingDriver : public Win32Calls {
 public:
  using Clock = std::chrono::steady_clock;
  HANDLE const kHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4321));

  explicit SerialisingDriver(bool serialises, DWORD baud) : serialises_(serialises) { dcb_.BaudRate = baud; }

  // When the last byte of each answer reached the driver's input queue.
  std::vector<Clock::time_point> AnswersArrived() {
    std::lock_guard lock(dataMutex_);
    return answersArrived_;
  }
  // Queues bytes the unit sends unasked, at the line's rate from now.
  void UnitSays(const std::string& text) {
    std::lock_guard lock(dataMutex_);
    Arrive(text, Clock::now());
  }

  HANDLE OpenDevice(const wchar_t*) override { return kHandle; }
  BOOL Close(HANDLE) override { return TRUE; }
  BOOL GetState(HANDLE, DCB* dcb) override {
    auto io = Request();
    *dcb = dcb_;
    return TRUE;
  }
  BOOL SetState(HANDLE, DCB* dcb) override {
    auto io = Request();
    dcb_ = *dcb;
    return TRUE;
  }
  BOOL SetTimeouts(HANDLE, COMMTIMEOUTS* t) override {
    auto io = Request();
    timeouts_ = *t;
    return TRUE;
  }
  BOOL GetTimeouts(HANDLE, COMMTIMEOUTS* t) override {
    auto io = Request();
    *t = timeouts_;
    return TRUE;
  }
  BOOL Purge(HANDLE, DWORD) override {
    auto io = Request();
    return TRUE;
  }
  BOOL ClearErrors(HANDLE, DWORD* errors, COMSTAT* status) override {
    auto io = Request();
    std::lock_guard lock(dataMutex_);
    *errors = 0;
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(ArrivedLocked());
    return TRUE;
  }
  BOOL Read(HANDLE, void* buffer, DWORD size, DWORD* done) override {
    auto io = Request();
    std::lock_guard lock(dataMutex_);
    const size_t n = std::min<size_t>(size, ArrivedLocked());
    for (size_t i = 0; i < n; ++i) {
      static_cast<char*>(buffer)[i] = input_.front().byte;
      input_.pop_front();
    }
    *done = static_cast<DWORD>(n);
    return TRUE;
  }
  // Completes once the bytes have left at the line's rate (the port keeps its writes
  // well inside COMMTIMEOUTS here).
  BOOL Write(HANDLE, const void* data, DWORD size, DWORD* done) override {
    auto io = Request();
    std::this_thread::sleep_for(ByteTime() * size);
    std::lock_guard lock(dataMutex_);
    heard_.append(static_cast<const char*>(data), size);
    for (size_t end; (end = heard_.find("\r\n")) != std::string::npos;) {
      heard_.erase(0, end + 2);
      Arrive("OK\r\n", Clock::now() + std::chrono::milliseconds(kTurnaroundMs));
      answersArrived_.push_back(input_.back().at);
    }
    *done = size;
    return TRUE;
  }
  BOOL Flush(HANDLE) override { return TRUE; }
  DWORD LastError() override { return 0; }
  uint64_t TickCount() override {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
  }
  void SleepMs(DWORD ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  bool BeginTimerPeriod(UINT) override { return true; }
  bool EndTimerPeriod(UINT) override { return true; }

  Clock::duration ByteTime() const {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / dcb_.BaudRate));
  }
  static constexpr int kTurnaroundMs = 20;

 private:
  struct Byte {
    Clock::time_point at;
    char byte;
  };
  // The file object's lock: held through each request when the driver serialises.
  std::unique_lock<std::mutex> Request() {
    return serialises_ ? std::unique_lock<std::mutex>(ioMutex_) : std::unique_lock<std::mutex>();
  }
  // After what is queued already: the line carries one byte at a time.
  void Arrive(const std::string& text, Clock::time_point from) {
    Clock::time_point at = std::max(from, input_.empty() ? from : input_.back().at);
    for (char c : text) input_.push_back({at += ByteTime(), c});
  }
  size_t ArrivedLocked() const {
    const auto now = Clock::now();
    size_t n = 0;
    while (n < input_.size() && input_[n].at <= now) ++n;
    return n;
  }

  const bool serialises_;
  std::mutex ioMutex_;
  std::mutex dataMutex_;
  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  std::string heard_;
  std::deque<Byte> input_;
  std::vector<Clock::time_point> answersArrived_;
};

}  // namespace vqx::win32::testing
