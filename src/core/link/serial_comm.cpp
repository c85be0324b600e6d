#include "link/serial_comm.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "protocol/command_format.h"
#include "protocol/reply_recognizer.h"
#include "protocol/response_table.h"

namespace vqx {

namespace {

class NullLinkHost final : public ILinkHost {
 public:
  void AppendOutput(const char*) override {}
  void SetStatusState(StatusState) override {}
  void NoteLinkActivity() override {}
  bool AcceptTypedCommand(const char*, const char*) override { return true; }
};

NullLinkHost nullHost;

constexpr int8_t kTimeCheckEvery = 100;
constexpr size_t kTypedLineLimit = 255;
// The port lock is held for at most this long at a time while a drain waits.
constexpr uint32_t kDrainSliceMs = 20;
// A read that took longer than this waited for input the system held back.
constexpr uint32_t kHeldInputMs = 100;
// Time for the driver's last bytes and the bound's floor.
constexpr uint32_t kDrainSlackMs = 250;
// A byte with start, 8 data, parity and 2 stop bits: the longest frame there is.
constexpr uint64_t kMaxBitsPerByte = 12;
constexpr int32_t kSlowestBaud = 50;

LinkState ToLinkState(Recognition r) {
  switch (r) {
    case Recognition::ReplyReady: return LinkState::ReplyReady;
    case Recognition::Failed: return LinkState::Failed;
    case Recognition::Idle:
    case Recognition::Unusable: return LinkState::Idle;
  }
  return LinkState::Idle;
}

bool IsTypedDelimiter(char c) { return c == ' ' || c == '\r' || c == '\n'; }

}  // namespace

CSerialComm::CSerialComm(ISerialPort& port, IClock& clock) : port_(port), clock_(clock), host_(&nullHost) {}

void CSerialComm::AttachHost(ILinkHost* host) { host_ = host ? host : &nullHost; }

bool CSerialComm::Open(const char* portName, int32_t baudRate, char parity, int32_t dataBits,
                       int32_t stopBits) {
  awaitingReply_ = false;
  std::unique_lock lock(portMutex_);
  const LineSettings settings{baudRate, parity, dataBits, stopBits};
  lastOpenResult_ = port_.Open(portName, settings);
  if (!lastOpenResult_.ok) {
    // The port layer has let go of any port it held before; say so.
    if (state_.Load() != LinkState::Closed) state_.Store(LinkState::Closed);
    return false;
  }
  portLost_ = false;
  lastSendTime_ = 0;
  slowestReplyMs_ = 0;
  // A HELP or WHAT typed on the old line must not keep the new line's replies unread.
  suppressParse_ = false;
  baudRate_ = baudRate;
  undrainedBytes_ = 0;
  state_.Store(LinkState::Idle);
  return true;
}

void CSerialComm::Close() {
  std::unique_lock lock(portMutex_);
  port_.Close();
  state_.Store(LinkState::Closed);
}

bool CSerialComm::StartCommandMode() {
  if (!state_.TryMove(LinkState::Idle, LinkState::EscapeWait)) return false;
  // The probe's OK must be recognised even when HELP or WHAT was the last line typed.
  suppressParse_ = false;
  host_->SetStatusState(kStatusEnteringCommand);
  // The unit's quiet time runs from the last byte on the wire, not from the last write.
  DrainOutput();
  guardStart_ = clock_.NowMs();
  return true;
}

bool CSerialComm::SendCommand(const CommandRecord& record) {
  if (!state_.TryMove(LinkState::Idle, LinkState::Sending)) return false;
  char line[kLineSize];
  size_t length = 0;
  if (FormCommandLine(record, line, &length) != FormatResult::Formed) {
    state_.FinishSending();
    return false;
  }
  lastCommand_ = record;
  suppressParse_ = false;
  ownCommandAwaited_ = true;
  Show("\r\n");
  Show(line);
  // Armed before the write: a unit quick enough to answer before we get here must not
  // leave a stale time-out behind. A failed write still times out, and the window then
  // reports the unit as not responding.
  lastSendTime_ = clock_.NowMs();
  awaitingReply_ = true;
  // Part of a line is no command the unit can take: the rest of it would run into the
  // next line. Only a line written whole counts as sent.
  const size_t written = WriteToPort(line, length);
  state_.FinishSending();
  return written == length;
}

bool CSerialComm::SendTypedLine(const char* text) {
  if (!state_.TryMove(LinkState::Idle, LinkState::Sending)) return false;

  char copy[kTypedLineLimit + 1];
  std::strncpy(copy, text, kTypedLineLimit);
  copy[kTypedLineLimit] = '\0';
  const size_t textLength = std::strlen(copy);

  char* word = copy;
  while (IsTypedDelimiter(*word)) ++word;
  if (*word == '\0') {
    state_.FinishSending();
    return false;
  }
  char* wordEnd = word;
  for (; *wordEnd != '\0' && !IsTypedDelimiter(*wordEnd); ++wordEnd) {
    if (*wordEnd >= 'a' && *wordEnd <= 'z') *wordEnd = static_cast<char>(*wordEnd - 'a' + 'A');
  }
  // The argument runs from after the word's delimiter to the next CR or LF.
  const char* argument = nullptr;
  if (*wordEnd != '\0') {
    char* rest = wordEnd + 1;
    *wordEnd = '\0';
    rest += std::strspn(rest, "\r\n");
    if (*rest != '\0') {
      rest[std::strcspn(rest, "\r\n")] = '\0';
      argument = rest;
    }
  }

  if (!host_->AcceptTypedCommand(word, argument)) {
    state_.FinishSending();
    return false;
  }
  suppressParse_ = std::strcmp(word, "HELP") == 0 || std::strcmp(word, "WHAT") == 0;
  ownCommandAwaited_ = false;

  Show("\r\n");
  Show(text);
  // Only a line that went out arms the reply time-out; arm first, undo if nothing went.
  const uint32_t previousSendTime = lastSendTime_.load();
  const bool previousAwaiting = awaitingReply_.load();
  lastSendTime_ = clock_.NowMs();
  awaitingReply_ = true;
  const size_t written = WriteToPort(text, textLength);
  if (written != textLength) {
    lastSendTime_ = previousSendTime;
    awaitingReply_ = previousAwaiting;
  }
  state_.FinishSending();
  return written == textLength;
}

const ResponseRecord* CSerialComm::TakeReply() {
  if (!state_.TryMove(LinkState::ReplyReady, LinkState::Idle)) return nullptr;
  return &reply_;
}

void CSerialComm::ResetLink() { state_.ResetToIdle(); }

uint32_t CSerialComm::DrainBoundMs() const {
  const uint64_t baud = static_cast<uint64_t>(std::max(baudRate_.load(), kSlowestBaud));
  const uint64_t wireMs = uint64_t{undrainedBytes_.load()} * kMaxBitsPerByte * 1000U / baud;
  // Twice the wire time: a driver may hold a byte or two back, an adapter pauses.
  return static_cast<uint32_t>(std::min<uint64_t>(kDrainSlackMs + 2 * wireMs, kDrainLimitMs));
}

bool CSerialComm::DrainOutput() {
  const uint32_t bound = DrainBoundMs();
  undrainedBytes_ = 0;
  const uint32_t start = clock_.NowMs();
  for (;;) {
    const uint32_t elapsed = ElapsedMs(clock_.NowMs(), start);
    {
      std::shared_lock lock(portMutex_);
      if (state_.Load() == LinkState::Closed || portLost_) return false;
      if (port_.Drain(std::min(kDrainSliceMs, bound > elapsed ? bound - elapsed : 0))) return true;
    }
    if (ElapsedMs(clock_.NowMs(), start) >= bound) return false;
  }
}

bool CSerialComm::TimeCheckDue() {
  if (++pollDivider_ <= kTimeCheckEvery - 1) return false;
  pollDivider_ = 0;
  return true;
}

void CSerialComm::Poll() {
  LinkState state = state_.Load();
  switch (state) {
    case LinkState::Closed:
    case LinkState::ReplyReady:
    case LinkState::Failed:
      return;
    // The escape's quiet times look at the clock on every pass: a check every hundredth
    // pass of a paced worker would end each of them up to a second late.
    case LinkState::EscapeWait:
      if (ElapsedMs(clock_.NowMs(), guardStart_) > kEscapeGuardMs &&
          state_.TryMove(LinkState::EscapeWait, LinkState::EscapeSent)) {
        Show("+++");
        WriteToPort("+++", 3);
        // The quiet time after "+++" starts once its last '+' has left the line.
        DrainOutput();
        const uint32_t now = clock_.NowMs();
        guardStart_ = now;
        lastSendTime_ = now;
        ownCommandAwaited_ = true;
        awaitingReply_ = true;
      }
      return;
    case LinkState::EscapeSent:
      // The probe does not renew lastSendTime: its time-out runs from the "+++".
      if (ElapsedMs(clock_.NowMs(), guardStart_) > kEscapeGuardMs) {
        DiscardStaleInput();
        Show("\r\n");
        WriteToPort("\r", 1);
        state_.TryMove(LinkState::EscapeSent, LinkState::ProbeSent);
      }
      return;
    case LinkState::Sending:
      // A reply already waits for the end of the send: leave further input queued.
      if (state_.HoldsOutcome()) return;
      break;
    case LinkState::Idle:
    case LinkState::ProbeSent:
    case LinkState::SecondProbe:
      break;
  }

  bool timedOut = false;
  if (TimeCheckDue() && awaitingReply_ && ElapsedMs(clock_.NowMs(), lastSendTime_) > kReplyTimeoutMs) {
    if (state == LinkState::ProbeSent) {
      state_.TryMove(LinkState::ProbeSent, LinkState::SecondProbe);
      Show("\r\n");
      WriteToPort("\r", 1);
      const uint32_t now = clock_.NowMs();
      guardStart_ = now;
      lastSendTime_ = now;
    } else {
      state_.ApplyPollOutcome(LinkState::Failed);
      awaitingReply_ = false;
      timedOut = true;
    }
  }

  if (portLost_) return;
  uint8_t byte = 0;
  bool gotByte = false;
  {
    std::shared_lock lock(portMutex_);
    if (state_.Load() == LinkState::Closed) return;
    // On Linux a read waits while the kernel worker that hands received bytes to the tty
    // has yet to run, and on a machine whose cores are all busy that can take seconds.
    // A read that waited and then had bytes held the unit's answer back on this side: the
    // wait is not the unit's. (A read that waited for nothing proves no answer.) The clock
    // is read only while an answer is awaited: Poll runs thousands of times a second.
    const bool timeTheRead = awaitingReply_.load();
    const uint32_t readStart = timeTheRead ? clock_.NowMs() : 0;
    const int32_t queued = port_.QueuedBytes();
    if (timeTheRead && queued > 0) {
      const uint32_t heldMs = ElapsedMs(clock_.NowMs(), readStart);
      if (heldMs > kHeldInputMs) lastSendTime_.fetch_add(heldMs);
    }
    if (queued < 0) {
      portLost_ = true;
    } else if (queued > 0) {
      gotByte = port_.ReadByte(byte);
    }
  }
  if (portLost_) {
    // An adapter pulled out: the window is told through Failed and PortLost, and the
    // descriptor is let go so that the adapter, plugged in again, gets its old name back.
    state_.ApplyPollOutcome(LinkState::Failed);
    awaitingReply_ = false;
    std::unique_lock lock(portMutex_);
    if (portLost_ && state_.Load() != LinkState::Closed) port_.Close();  // not if reopened meanwhile
    return;
  }
  if (gotByte) HandleByte(static_cast<char>(byte), timedOut);
}

void CSerialComm::HandleByte(char c, bool timedOutThisPoll) {
  const LineAssembler::Outcome outcome = assembler_.Feed(c);
  if (outcome == LineAssembler::Outcome::Dropped) return;
  const char shown[2] = {c, '\0'};
  Show(shown);
  host_->NoteLinkActivity();
  if (outcome != LineAssembler::Outcome::LineComplete) return;

  if (suppressParse_) {
    awaitingReply_ = false;
    return;
  }
  const bool inSecondProbe = state_.Load() == LinkState::SecondProbe;
  Recognition r = RecognizeReply(assembler_.Line(), assembler_.Remark(), inSecondProbe, reply_);
  const bool ownReplyAwaited = awaitingReply_.load() && ownCommandAwaited_.load();
  if (r == Recognition::Unusable && ownReplyAwaited) {
    // The unit answered the program's own command with a value nothing can be made of
    // (an address with a word for an octet, say): a refusal of that setting, so that the
    // read goes on without it instead of waiting for a reply that has come and gone.
    reply_.responseId = kRspErr;
    r = Recognition::ReplyReady;
  } else if (r != Recognition::ReplyReady && r != Recognition::Failed && ownReplyAwaited) {
    // Not an answer (noise, a line of the unit's own): the program's command or probe
    // is still unanswered, and its time-out keeps running.
    return;
  }
  if (ownReplyAwaited && !inSecondProbe && state_.Load() != LinkState::ProbeSent) {
    const uint32_t took = ElapsedMs(clock_.NowMs(), lastSendTime_);
    if (took > slowestReplyMs_.load()) slowestReplyMs_ = took;
  }
  awaitingReply_ = false;
  state_.ApplyPollOutcome(ToLinkState(r), timedOutThisPoll);
}

void CSerialComm::DiscardStaleInput() {
  // Only what the unit says after the probe can answer it. What it said before (the rest
  // of a HELP or WHAT listing, noise) is shown as traffic and never taken for a reply,
  // and a line it was still sending starts afresh.
  int32_t left = 0;
  {
    std::shared_lock lock(portMutex_);
    if (state_.Load() == LinkState::Closed || portLost_) return;
    left = port_.QueuedBytes();
  }
  char chunk[64];
  while (left > 0) {
    size_t got = 0;
    {
      std::shared_lock lock(portMutex_);
      if (state_.Load() == LinkState::Closed) return;
      for (uint8_t byte = 0; got < sizeof(chunk) && left > 0 && port_.ReadByte(byte); --left) {
        chunk[got++] = static_cast<char>(byte);
      }
    }
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      if (assembler_.Feed(chunk[i]) == LineAssembler::Outcome::Dropped) continue;
      const char shown[2] = {chunk[i], '\0'};
      Show(shown);
    }
  }
  assembler_.Reset();
}

size_t CSerialComm::WriteToPort(const char* data, size_t size) {
  std::shared_lock lock(portMutex_);
  if (state_.Load() == LinkState::Closed || portLost_) return 0;
  const size_t written = port_.Write(reinterpret_cast<const uint8_t*>(data), size);
  undrainedBytes_.fetch_add(static_cast<uint32_t>(written));
  return written;
}

}  // namespace vqx
