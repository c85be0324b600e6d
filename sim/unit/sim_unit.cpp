#include "unit/sim_unit.h"

#include <algorithm>
#include <utility>

namespace vqx::sim {

namespace {
// Longer lines are answered ERR as a whole rather than cut into commands.
constexpr size_t kMaxLineLength = 250;
// Enough to see what went astray; a host streaming for hours does not fill the memory.
constexpr size_t kForwardedKept = 65536;
}  // namespace

std::string_view ModeName(SimMode mode) {
  switch (mode) {
    case SimMode::Transparent: return "transparent";
    case SimMode::Command: return "command";
    case SimMode::Rebooting: return "rebooting";
  }
  return "?";
}

std::string_view LineEndingText(LineEnding ending) {
  switch (ending) {
    case LineEnding::LfCr: return "\n\r";
    case LineEnding::CrLf: return "\r\n";
    case LineEnding::Lf: return "\n";
  }
  return "\n";
}

SimUnit::SimUnit(SimConfig config, SimMs nowMs)
    : config_(std::move(config)),
      interpreter_(config_.unsupported, config_.refusedSets),
      escape_(config_.guardMs),
      saved_(config_.settings),
      noise_(config_.noiseSeed == 0 ? 1 : config_.noiseSeed) {
  SetFaults(config_.faults);
  PowerUp(nowMs);
}

void SimUnit::SetFaults(const FaultConfig& faults) {
  config_.faults = faults;
  output_.Configure(faults.splitDelayMs, faults.pace ? config_.hostBaud : 0);
}

void SimUnit::OnBytes(std::string_view bytes, SimMs nowMs, std::optional<SimMs> sentSinceMs) {
  OnBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nowMs, sentSinceMs);
}

void SimUnit::OnBytes(const uint8_t* data, size_t size, SimMs nowMs, std::optional<SimMs> sentSinceMs) {
  Advance(nowMs);
  // Held-back bytes are dated from the earliest moment they can have been sent: a quiet
  // time before them is never made longer than it can have been, and a SAVE among them
  // restarts the unit from when it can have been sent.
  const SimMs heardAt = sentSinceMs ? std::min(*sentSinceMs, nowMs) : nowMs;
  for (size_t i = 0; i < size; ++i) {
    switch (mode_) {
      case SimMode::Transparent:
        // The LF of the CR LF that ended TRAN belongs to that line, not to the data.
        if (std::exchange(lastWasCr_, false) && data[i] == '\n') break;
        if (forwarded_.size() < kForwardedKept) forwarded_.push_back(static_cast<char>(data[i]));
        escape_.OnByte(data[i], heardAt);
        // What followed the "+++" in a held-back batch may have come after the whole
        // guard time: a unit on the wire heard the gap the batch hides, so the escape
        // is taken. A fourth '+' is taken as part of the same run, as it most likely was.
        if (sentSinceMs && i + 1 < size && data[i + 1] != '+' && escape_.Armed()) EnterCommandMode(nowMs);
        break;
      case SimMode::Command: OnCommandByte(data[i], heardAt); break;
      case SimMode::Rebooting: break;  // nobody listens while the unit boots
    }
  }
}

void SimUnit::Tick(SimMs nowMs) { Advance(nowMs); }

void SimUnit::Advance(SimMs nowMs) {
  if (mode_ == SimMode::Rebooting && nowMs >= rebootEndsMs_) PowerUp(rebootEndsMs_);
  if (mode_ == SimMode::Transparent && escape_.Due(nowMs)) EnterCommandMode(nowMs);
}

void SimUnit::EnterCommandMode(SimMs nowMs) {
  line_.clear();
  lineOverflow_ = false;
  lastWasCr_ = false;
  SetMode(SimMode::Command, nowMs);
}

void SimUnit::PowerUp(SimMs nowMs) {
  state_.settings = saved_;
  state_.echo = true;
  state_.peer = config_.peer;
  escape_.Reset(nowMs);
  lastWasCr_ = false;
  SetMode(SimMode::Transparent, nowMs);
}

void SimUnit::OnCommandByte(uint8_t byte, SimMs nowMs) {
  if (byte == '\n' && lastWasCr_) {
    lastWasCr_ = false;  // its echo went out with the CR
    return;
  }
  // A CR is echoed as a whole line end before the line runs: the answer to ECHO OFF
  // (or to anything else) never joins the echoed command on one line.
  if (state_.echo) Transmit(byte == '\r' ? std::string("\r\n") : std::string(1, static_cast<char>(byte)), nowMs);
  lastWasCr_ = byte == '\r';
  if (byte == '\r' || byte == '\n') {
    ExecuteLine(nowMs);
  } else if (byte == 0x08 || byte == 0x7f) {
    if (!line_.empty()) line_.pop_back();  // someone typing at a terminal
  } else if (line_.size() >= kMaxLineLength) {
    lineOverflow_ = true;
  } else {
    line_.push_back(static_cast<char>(byte));
  }
}

void SimUnit::ExecuteLine(SimMs nowMs) {
  const std::string line = std::exchange(line_, {});
  received_.push_back(line);
  events_.push_back({SimEvent::Kind::LineReceived, nowMs, line});

  CommandResult result;
  if (std::exchange(lineOverflow_, false)) {
    result.lines.emplace_back("ERR");
    result.note = "line too long";
  } else {
    result = interpreter_.Execute(line, state_);
  }
  if (!result.note.empty()) events_.push_back({SimEvent::Kind::Refused, nowMs, result.note});

  const SimMs replyAt = nowMs + config_.replyDelayMs;
  const std::string_view ending = LineEndingText(config_.lineEnding);
  for (const std::string& reply : result.lines) {
    Transmit(reply + std::string(ending), replyAt);
    std::string text = reply;
    if (config_.faults.silent) text += "  [not sent: silent]";
    else if (config_.faults.garbage) text += "  [sent as noise]";
    events_.push_back({SimEvent::Kind::LineSent, replyAt, std::move(text)});
  }

  switch (result.action) {
    case UnitAction::None: break;
    case UnitAction::SaveAndReboot:
      saved_ = state_.settings;
      [[fallthrough]];
    case UnitAction::Reboot:
      rebootEndsMs_ = replyAt + config_.rebootMs;
      SetMode(SimMode::Rebooting, nowMs);
      break;
    case UnitAction::LeaveCommandMode:
      escape_.Reset(nowMs);
      SetMode(SimMode::Transparent, nowMs);
      break;
  }
}

void SimUnit::Transmit(std::string_view bytes, SimMs atMs) {
  if (config_.faults.silent) return;
  if (config_.faults.garbage) {
    output_.Emit(Noise(bytes.size()), atMs);
  } else {
    output_.Emit(bytes, atMs);
  }
}

uint32_t SimUnit::NextNoise() {
  noise_ ^= noise_ << 13;
  noise_ ^= noise_ >> 17;
  noise_ ^= noise_ << 5;
  return noise_;
}

std::string SimUnit::Noise(size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    const uint32_t n = NextNoise();
    // High bytes never spell a reply keyword; the odd LF cuts the noise into lines.
    out.push_back(n % 16 == 0 ? '\n' : static_cast<char>(0x80 | (n & 0x7f)));
  }
  return out;
}

std::string SimUnit::Babble(size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) out.push_back(static_cast<char>(0x80 | (NextNoise() & 0x7f)));
  return out;
}

void SimUnit::SetMode(SimMode mode, SimMs nowMs) {
  if (mode == mode_) return;
  mode_ = mode;
  if (mode == SimMode::Transparent) forwarded_.clear();
  events_.push_back({SimEvent::Kind::ModeChanged, nowMs, std::string(ModeName(mode))});
}

std::vector<SimEvent> SimUnit::DrainEvents() { return std::exchange(events_, {}); }

}  // namespace vqx::sim
