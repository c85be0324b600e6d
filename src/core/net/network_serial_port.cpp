#include "net/network_serial_port.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vqx {
namespace {

std::string Seconds(uint32_t ms) {
  const uint32_t tenths = (ms + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

}  // namespace

NetworkSerialPort::NetworkSerialPort(std::unique_ptr<IStreamSocket> socket, IClock& clock,
                                     const NetworkPortTimings& timings)
    : socket_(std::move(socket)), clock_(clock), timings_(timings) {}

NetworkSerialPort::~NetworkSerialPort() { Close(); }

PortOpenResult NetworkSerialPort::Fail(PortOpenError error, const std::string& problem) {
  CloseLocked();
  PortOpenResult result;
  result.error = error;
  result.problem = problem;
  return result;
}

PortOpenResult NetworkSerialPort::Open(const char* name, const LineSettings& settings) {
  std::scoped_lock lock(readMutex_, writeMutex_);
  CloseLocked();
  const std::string text = name != nullptr ? name : "";
  std::string problem;
  if (!ParseNetworkPortName(text, &name_, &problem)) {
    return Fail(PortOpenError::NotFound, "\"" + text + "\" is not a network port: " + problem + ".");
  }
  const std::string& where = name_.where;
  const IStreamSocket::ConnectResult connected = socket_->Connect(name_.host, name_.port, timings_.connectMs);
  switch (connected.error) {
    case IStreamSocket::ConnectError::None:
      break;
    case IStreamSocket::ConnectError::UnknownHost:
      return Fail(PortOpenError::NotFound, "Cannot reach " + where + ": the host name \"" + name_.host +
                                               "\" is unknown (" + socket_->ErrorText(connected.systemError) + ").");
    case IStreamSocket::ConnectError::Refused:
      return Fail(PortOpenError::Other, "Cannot reach " + where +
                                            ": the connection was refused; no serial server listens on that "
                                            "port, or it serves another client.");
    case IStreamSocket::ConnectError::TimedOut:
      return Fail(PortOpenError::Other, "Cannot reach " + where + ": no answer within " +
                                            Seconds(timings_.connectMs) +
                                            "; the server is off, unreachable, or a firewall drops the connection.");
    case IStreamSocket::ConnectError::Unreachable:
    case IStreamSocket::ConnectError::Other:
      return Fail(PortOpenError::Other,
                  "Cannot reach " + where + ": " + socket_->ErrorText(connected.systemError) + ".");
  }
  connected_ = true;
  gone_.store(false);
  pending_.clear();
  pendingHead_ = 0;
  codec_ = TelnetComPortCodec{};

  PortOpenResult result;
  result.ok = true;
  result.lineInEffect = Normalized(settings);
  if (name_.protocol == NetworkPortName::Protocol::Raw) return result;

  if (!SendAllLocked(TelnetComPortCodec::Greeting())) {
    return Fail(PortOpenError::Other, where + " closed the connection at once.");
  }
  codec_.Greeted();
  if (!SendAllLocked(TelnetComPortCodec::LineSettingsRequest(settings) + TelnetComPortCodec::PurgeRequest())) {
    return Fail(PortOpenError::Other, where + " closed the connection at once.");
  }
  if (!AwaitAnswersLocked(true, timings_.negotiationMs)) {
    return Fail(PortOpenError::Other, where + " closed the connection while the line settings were set.");
  }
  const TelnetComPortCodec::Answers& answers = codec_.Received();
  const bool answeredAny = answers.baudRate || answers.dataSize || answers.parity || answers.stopSize;
  if (codec_.ComPort() == TelnetComPortCodec::Agreement::Refused || !answeredAny) {
    result.warning = where + " did not take up the line settings (RFC 2217): the line runs at the server's own "
                             "settings, which must be the unit's";
    return result;
  }
  std::string unconfirmed;
  result.lineInEffect = LineOfAnswers(settings, &result.settingsRefused, &unconfirmed);
  if (!unconfirmed.empty()) {
    result.warning = where + " did not confirm " + unconfirmed + "; the line may run at the server's own";
  }
  return result;
}

LineSettings NetworkSerialPort::LineOfAnswers(const LineSettings& asked, bool* refused,
                                              std::string* unconfirmed) const {
  const TelnetComPortCodec::Answers& answers = codec_.Received();
  LineSettings line = Normalized(asked);
  *refused = false;
  std::vector<std::string> missing;
  if (answers.baudRate) {
    // A server answers 0 to say it keeps the speed it has (and will not say which).
    if (*answers.baudRate != static_cast<uint32_t>(line.baudRate)) *refused = true;
    line.baudRate = static_cast<int32_t>(*answers.baudRate);
  } else {
    missing.push_back("the speed");
  }
  if (answers.dataSize) {
    if (*answers.dataSize != line.dataBits) *refused = true;
    line.dataBits = *answers.dataSize == 7 ? 7 : 8;
  } else {
    missing.push_back("the data bits");
  }
  if (answers.parity) {
    if (*answers.parity != TelnetComPortCodec::ParityCode(line)) *refused = true;
    line.parity = *answers.parity == 2 ? 'O' : *answers.parity == 3 ? 'E' : 'N';
  } else {
    missing.push_back("the parity");
  }
  if (answers.stopSize) {
    if (*answers.stopSize != TelnetComPortCodec::StopSizeCode(line)) *refused = true;
    line.stopBits = *answers.stopSize == 2 ? 2 : 1;
  } else {
    missing.push_back("the stop bits");
  }
  // Mark and space parity, 5 or 6 data bits, 1.5 stop bits have no LineSettings value:
  // they count as refused above and show as the nearest there is.
  unconfirmed->clear();
  for (size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) *unconfirmed += i + 1 == missing.size() ? " and " : ", ";
    *unconfirmed += missing[i];
  }
  return line;
}

bool NetworkSerialPort::AwaitAnswersLocked(bool purge, uint32_t limitMs) {
  const uint32_t start = clock_.NowMs();
  for (;;) {
    if (FillLocked() < 0) return false;
    if (!replies_.empty() && !SendAllLocked(replies_)) return false;
    replies_.clear();
    pending_.clear();
    pendingHead_ = 0;
    const TelnetComPortCodec::Answers& answers = codec_.Received();
    if (codec_.ComPort() == TelnetComPortCodec::Agreement::Refused) return true;
    if (codec_.AllLineAnswers() && (!purge || answers.purged)) return true;
    const uint32_t elapsed = ElapsedMs(clock_.NowMs(), start);
    if (elapsed >= limitMs) return true;
    socket_->WaitReadable(std::min(kNegotiationPollMs, limitMs - elapsed));
  }
}

void NetworkSerialPort::Close() {
  std::scoped_lock lock(readMutex_, writeMutex_);
  CloseLocked();
}

void NetworkSerialPort::CloseLocked() {
  if (connected_) socket_->Close();
  connected_ = false;
  gone_.store(false);
  pending_.clear();
  pendingHead_ = 0;
  replies_.clear();
}

int32_t NetworkSerialPort::FillLocked() {
  if (!connected_ || gone_.load()) return -1;
  pending_.erase(0, pendingHead_);
  pendingHead_ = 0;
  uint8_t chunk[kReceiveChunk];
  // Telnet commands alone add no data: read on (a few times) so that a caller polling
  // for data is not told "nothing" while data waits behind them.
  for (int round = 0; round < 4; ++round) {
    const int32_t n = socket_->Receive(chunk, sizeof chunk);
    if (n < 0) {
      gone_.store(true);
      return -1;
    }
    if (n == 0) break;
    if (name_.protocol == NetworkPortName::Protocol::Raw) {
      pending_.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(n));
    } else {
      codec_.Take(chunk, static_cast<size_t>(n), &pending_, &replies_);
    }
    if (!pending_.empty()) break;
  }
  return static_cast<int32_t>(pending_.size());
}

int32_t NetworkSerialPort::QueuedBytes() {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (pendingHead_ < pending_.size()) return static_cast<int32_t>(pending_.size() - pendingHead_);
  const int32_t queued = FillLocked();
  if (!replies_.empty()) {
    std::lock_guard<std::mutex> writeLock(writeMutex_);
    SendAllLocked(replies_);
    replies_.clear();
  }
  return queued;
}

bool NetworkSerialPort::ReadByte(uint8_t& byte) {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (pendingHead_ >= pending_.size()) return false;
  byte = static_cast<uint8_t>(pending_[pendingHead_++]);
  return true;
}

bool NetworkSerialPort::SendAllLocked(const std::string& bytes) {
  if (!connected_ || gone_.load()) return false;
  size_t sent = 0;
  const uint32_t start = clock_.NowMs();
  while (sent < bytes.size()) {
    const int32_t n = socket_->Send(reinterpret_cast<const uint8_t*>(bytes.data()) + sent, bytes.size() - sent);
    if (n < 0) {
      gone_.store(true);
      return false;
    }
    sent += static_cast<size_t>(n);
    if (sent >= bytes.size()) break;
    const uint32_t elapsed = ElapsedMs(clock_.NowMs(), start);
    if (elapsed >= timings_.writeMs) return false;
    socket_->WaitWritable(timings_.writeMs - elapsed);
  }
  return true;
}

size_t NetworkSerialPort::Write(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  if (data == nullptr || size == 0) return 0;
  const std::string wire = name_.protocol == NetworkPortName::Protocol::Raw
                               ? std::string(reinterpret_cast<const char*>(data), size)
                               : TelnetComPortCodec::EscapeData(data, size);
  // One send for the whole buffer: with Nagle off, a "+++" leaves in one segment and
  // reaches the unit as one burst, whatever the network does to the quiet around it.
  return SendAllLocked(wire) ? size : 0;
}

bool NetworkSerialPort::Drain(uint32_t limitMs) {
  const uint32_t start = clock_.NowMs();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(writeMutex_);
      if (!connected_ || gone_.load()) return false;
      const int32_t unacknowledged = socket_->UnacknowledgedBytes();
      // A system that cannot tell is not waited for (as a driver that cannot count its queue).
      if (unacknowledged <= 0) return true;
    }
    const uint32_t elapsed = ElapsedMs(clock_.NowMs(), start);
    if (elapsed >= limitMs) return false;
    clock_.SleepMs(std::min(kDrainCheckMs, limitMs - elapsed));
  }
}

bool NetworkSerialPort::ChangeLineSettings(const LineSettings& settings) {
  std::scoped_lock lock(readMutex_, writeMutex_);
  if (!connected_ || gone_.load() || name_.protocol == NetworkPortName::Protocol::Raw ||
      codec_.ComPort() != TelnetComPortCodec::Agreement::Agreed) {
    return false;
  }
  codec_.ForgetAnswers();
  if (!SendAllLocked(TelnetComPortCodec::LineSettingsRequest(settings))) return false;
  // What arrives meanwhile was sent at the old settings: AwaitAnswersLocked drops it.
  if (!AwaitAnswersLocked(false, timings_.negotiationMs) || !codec_.AllLineAnswers()) return false;
  bool refused = false;
  std::string unconfirmed;
  LineOfAnswers(settings, &refused, &unconfirmed);
  return !refused;
}

}  // namespace vqx
