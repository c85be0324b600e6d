#include "runner/in_process_line.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "system_port.h"

namespace vqx::sim {

using std::chrono::milliseconds;

void InProcessLine::Plug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_ = true;
    claimed_ = false;
    ++cable_;
    toUnit_.clear();
    toHost_.clear();
  }
  changed_.notify_all();
}

void InProcessLine::Unplug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_ = false;
    claimed_ = false;
    toUnit_.clear();
    toHost_.clear();
  }
  changed_.notify_all();
}

bool InProcessLine::Plugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plugged_;
}

bool InProcessLine::WaitForHostBytes(uint32_t waitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, milliseconds(waitMs), [&] { return !toUnit_.empty(); });
}

size_t InProcessLine::TakeFromHost(uint8_t* buffer, size_t size) {
  size_t taken = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    taken = std::min(size, toUnit_.size());
    std::copy_n(toUnit_.begin(), taken, buffer);
    toUnit_.erase(toUnit_.begin(), toUnit_.begin() + static_cast<std::ptrdiff_t>(taken));
  }
  if (taken > 0) changed_.notify_all();  // room for the host, and a drain may be over
  return taken;
}

size_t InProcessLine::SendToHost(const char* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Nobody on the other end: the bytes leave the connector and are lost, as on a cable.
  if (!plugged_ || !claimed_) return size;
  const size_t room = kQueueBytes - std::min(kQueueBytes, toHost_.size());
  const size_t put = std::min(size, room);
  toHost_.insert(toHost_.end(), data, data + put);
  return put;
}

PortOpenError InProcessLine::Claim(uint64_t* cable) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!plugged_) return PortOpenError::NotFound;
  if (claimed_) return PortOpenError::Busy;
  claimed_ = true;
  // Whatever the unit said while no port was open is gone, as from an unread line.
  toHost_.clear();
  *cable = cable_;
  return PortOpenError::None;
}

void InProcessLine::Release(uint64_t cable) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Current(cable)) claimed_ = false;
}

int32_t InProcessLine::QueuedForHost(uint64_t cable) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Current(cable)) return -1;
  return static_cast<int32_t>(std::min<size_t>(toHost_.size(), std::numeric_limits<int32_t>::max()));
}

bool InProcessLine::TakeByteForHost(uint64_t cable, uint8_t* byte) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Current(cable) || toHost_.empty()) return false;
  *byte = toHost_.front();
  toHost_.pop_front();
  return true;
}

size_t InProcessLine::SendToUnit(uint64_t cable, const uint8_t* data, size_t size, uint32_t limitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = std::chrono::steady_clock::now() + milliseconds(limitMs);
  size_t sent = 0;
  while (sent < size) {
    if (!Current(cable)) break;
    const size_t room = kQueueBytes - std::min(kQueueBytes, toUnit_.size());
    if (room == 0) {
      if (!changed_.wait_until(lock, deadline, [&] { return !Current(cable) || toUnit_.size() < kQueueBytes; })) break;
      continue;
    }
    const size_t put = std::min(room, size - sent);
    toUnit_.insert(toUnit_.end(), data + sent, data + sent + put);
    sent += put;
    changed_.notify_all();
  }
  return sent;
}

bool InProcessLine::WaitUntilUnitTookAll(uint64_t cable, uint32_t limitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, milliseconds(limitMs), [&] { return !Current(cable) || toUnit_.empty(); });
  return Current(cable) && toUnit_.empty();
}

InProcessSerialPort::InProcessSerialPort(std::shared_ptr<InProcessLine> line, std::string lineName)
    : line_(std::move(line)), lineName_(std::move(lineName)) {}

InProcessSerialPort::~InProcessSerialPort() { Close(); }

PortOpenResult InProcessSerialPort::Open(const char* name, const LineSettings& settings) {
  Close();
  std::lock_guard<std::mutex> lock(mutex_);
  PortOpenResult result;
  if (name != nullptr && lineName_ == name) {
    result.error = line_->Claim(&cable_);
    result.ok = result.error == PortOpenError::None;
    onLine_ = result.ok;
    return result;
  }
  if (!system_) system_ = CreateSystemSerialPort();
  return system_->Open(name, settings);
}

void InProcessSerialPort::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (onLine_) line_->Release(cable_);
  onLine_ = false;
  if (system_) system_->Close();
}

int32_t InProcessSerialPort::QueuedBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (onLine_) return line_->QueuedForHost(cable_);
  return system_ ? system_->QueuedBytes() : -1;
}

bool InProcessSerialPort::ReadByte(uint8_t& byte) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (onLine_) return line_->TakeByteForHost(cable_, &byte);
  return system_ && system_->ReadByte(byte);
}

size_t InProcessSerialPort::Write(const uint8_t* data, size_t size) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (data == nullptr) return 0;
  if (onLine_) {
    const uint64_t cable = cable_;
    lock.unlock();  // a full line must not stall the reader
    return line_->SendToUnit(cable, data, size, kWriteTimeoutMs);
  }
  return system_ ? system_->Write(data, size) : 0;
}

bool InProcessSerialPort::Drain(uint32_t limitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (onLine_) {
    const uint64_t cable = cable_;
    lock.unlock();
    return line_->WaitUntilUnitTookAll(cable, limitMs);
  }
  return system_ && system_->Drain(limitMs);
}

bool InProcessSimLine::Open(std::string* /*error*/) {
  line_->Plug();
  return true;
}

std::unique_ptr<ISerialPort> InProcessSimLine::CreateHostPort() {
  return std::make_unique<InProcessSerialPort>(line_, kPortName);
}

SimLine::Readiness InProcessSimLine::Wait(uint32_t waitMs, bool /*wantToSend*/) {
  Readiness result;
  result.readable = line_->WaitForHostBytes(waitMs);
  return result;
}

ptrdiff_t InProcessSimLine::Receive(uint8_t* buffer, size_t size) {
  return static_cast<ptrdiff_t>(line_->TakeFromHost(buffer, size));
}

size_t InProcessSimLine::Send(const char* data, size_t size) { return line_->SendToHost(data, size); }

}  // namespace vqx::sim
