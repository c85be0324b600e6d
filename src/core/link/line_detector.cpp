#include "link/line_detector.h"

#include <algorithm>
#include <cstring>

#include "link/line_candidates.h"

namespace vqx {

namespace {

// How often the line is looked at while waiting: a reply is seen within this, and a
// cancel too.
constexpr uint32_t kLookEveryMs = 2;
constexpr uint32_t kDrainSliceMs = 20;
// Floor and slack of a drain's bound: a driver holds a byte or two back.
constexpr uint32_t kDrainSlackMs = 250;
// A byte with start, 8 data, parity and 2 stop bits: the longest frame there is.
constexpr uint32_t kMaxBitsPerByte = 12;
// Longer lines are no answer to the probe; what follows them still counts.
constexpr size_t kLineLimit = 64;

}  // namespace

std::string DetectionProgressText(const DetectionProgress& progress) {
  return "Trying " + LineSettingsText(progress.settings) + " (" + std::to_string(progress.tryNumber) + " of " +
         std::to_string(progress.tryCount) + ")";
}

LineDetector::LineDetector(ISerialPort& port, IClock& clock)
    : port_(port), clock_(clock), candidates_(DefaultDetectionOrder()) {}

bool LineDetector::Write(const char* text) {
  const size_t size = std::strlen(text);
  if (port_.Write(reinterpret_cast<const uint8_t*>(text), size) != size) return false;
  // The unit's quiet times run from the last byte on the wire, not from the write.
  const uint32_t bound = kDrainSlackMs + 2 * static_cast<uint32_t>(size) * kMaxBitsPerByte * 1000U /
                                             static_cast<uint32_t>(std::max(currentBaud_, 50));
  const uint32_t start = clock_.NowMs();
  while (!port_.Drain(kDrainSliceMs)) {
    if (ElapsedMs(clock_.NowMs(), start) >= bound) break;
  }
  return true;
}

void LineDetector::DropInput() {
  uint8_t byte = 0;
  for (int32_t queued = port_.QueuedBytes(); queued > 0; queued = port_.QueuedBytes()) {
    for (; queued > 0 && port_.ReadByte(byte); --queued) {
    }
  }
}

LineDetector::Wait LineDetector::Quiet(uint32_t ms) {
  const uint32_t start = clock_.NowMs();
  for (;;) {
    if (Cancelled()) return Wait::Cancelled;
    if (port_.QueuedBytes() < 0) return Wait::Lost;
    DropInput();
    if (ElapsedMs(clock_.NowMs(), start) >= ms) return Wait::Done;
    clock_.SleepMs(kLookEveryMs);
  }
}

LineDetector::Listen LineDetector::ListenForAnswer(uint32_t ms, bool cancellable) {
  Listen listen;
  std::string line;
  const uint32_t start = clock_.NowMs();
  for (;;) {
    const int32_t queued = port_.QueuedBytes();
    if (queued < 0) {
      listen.wait = Wait::Lost;
      return listen;
    }
    uint8_t byte = 0;
    for (int32_t left = queued; left > 0 && port_.ReadByte(byte); --left) {
      ++listen.bytes;
      if (byte == '\r' || byte == '\n') {
        // Only a whole line that is exactly the unit's answer counts: a reply read at the
        // wrong setting arrives garbled, and garbage may hold any letters.
        if (line == "OK" || line == "ERR") {
          listen.answered = true;
          listen.okLine = line == "OK";
          return listen;
        }
        line.clear();
      } else if (line.size() < kLineLimit) {
        line.push_back(static_cast<char>(byte));
      } else {
        line.assign(kLineLimit + 1, '\0');  // never an answer, until the next line end
      }
    }
    if (cancellable && Cancelled()) {
      listen.wait = Wait::Cancelled;
      return listen;
    }
    if (ElapsedMs(clock_.NowMs(), start) >= ms) return listen;
    clock_.SleepMs(kLookEveryMs);
  }
}

LineDetector::Returned LineDetector::ReturnToTransparent() {
  DropInput();
  if (!Write("TRAN\r\n")) return Returned::Unreadable;
  // The unit may echo the line before it answers: wait for the OK line itself. A cancel
  // does not cut this short.
  const Listen listen = ListenForAnswer(timings_.replyWindowMs, false);
  if (listen.okLine) return Returned::Confirmed;
  return listen.bytes == 0 ? Returned::Silent : Returned::Unreadable;
}

void LineDetector::ReturnEverywhere(const std::string& portName, int tried) {
  // A unit that heard an escape but whose answer never reached us (a broken transmit
  // line, an answer later than the reply time-out) is in command mode at one of these.
  // The CR first ends whatever the other settings' garbage left in its line.
  for (int i = 0; i < tried; ++i) {
    const LineSettings& settings = candidates_[static_cast<size_t>(i)];
    if (!port_.ChangeLineSettings(settings)) {
      port_.Close();
      if (!port_.Open(portName.c_str(), settings).ok) return;
    }
    currentBaud_ = settings.baudRate;
    Write("\rTRAN\r\n");
  }
}

DetectionResult LineDetector::Run(const std::string& portName, bool leaveInCommandMode) {
  DetectionResult result;
  const uint32_t start = clock_.NowMs();
  int escapesSent = 0;  // the tries whose "+++" went out
  const auto finish = [&](DetectionOutcome outcome) {
    if (outcome == DetectionOutcome::NotFound || outcome == DetectionOutcome::Cancelled) {
      ReturnEverywhere(portName, escapesSent);
    }
    result.outcome = outcome;
    result.elapsedMs = ElapsedMs(clock_.NowMs(), start);
    if (!(outcome == DetectionOutcome::Found && leaveInCommandMode)) port_.Close();
    return result;
  };
  // TRAN went out where the unit may have been escaped; nothing confirms it.
  const auto noteReturn = [&] {
    ++result.returnsSent;
    result.unitLeft = UnitLeft::NotConfirmed;
  };

  const int count = static_cast<int>(candidates_.size());
  for (int i = 0; i < count; ++i) {
    const LineSettings& settings = candidates_[static_cast<size_t>(i)];
    if (Cancelled()) return finish(DetectionOutcome::Cancelled);
    if (i == 0 || !port_.ChangeLineSettings(settings)) {
      port_.Close();
      result.openResult = port_.Open(portName.c_str(), settings);
      if (!result.openResult.ok) return finish(DetectionOutcome::PortProblem);
    }
    currentBaud_ = settings.baudRate;
    result.triesMade = i + 1;
    if (progress_) progress_({settings, i + 1, count});

    // Before the first try, the quiet time; later ones follow the previous reply window,
    // which is at least as long and in which nothing was written.
    if (i == 0) {
      const Wait before = Quiet(timings_.guardMs);
      if (before == Wait::Cancelled) return finish(DetectionOutcome::Cancelled);
      if (before == Wait::Lost) return finish(DetectionOutcome::PortProblem);
    }
    DropInput();
    if (!Write("+++")) return finish(DetectionOutcome::PortProblem);
    escapesSent = i + 1;
    const Wait after = Quiet(timings_.guardMs);
    if (after == Wait::Lost) return finish(DetectionOutcome::PortProblem);
    if (after == Wait::Cancelled) {
      // TRAN within the quiet time breaks the escape; one that came just too late finds
      // the unit in command mode and returns it, and its answer says so. A unit that says
      // nothing never left transparent mode.
      if (ReturnToTransparent() == Returned::Unreadable) noteReturn();
      return finish(DetectionOutcome::Cancelled);
    }

    DropInput();
    if (!Write("\r")) return finish(DetectionOutcome::PortProblem);
    const Listen answer = ListenForAnswer(timings_.replyWindowMs, true);
    if (answer.wait == Wait::Lost) {
      if (answer.bytes > 0) result.unitLeft = UnitLeft::NotConfirmed;
      return finish(DetectionOutcome::PortProblem);
    }
    if (answer.answered) {
      result.settings = settings;
      if (leaveInCommandMode) {
        result.unitLeft = UnitLeft::InCommandMode;
      } else {
        result.unitLeft =
            ReturnToTransparent() == Returned::Confirmed ? UnitLeft::Transparent : UnitLeft::NotConfirmed;
      }
      return finish(DetectionOutcome::Found);
    }
    if (answer.wait == Wait::Cancelled) {
      // The probe went out: TRAN, and its answer tells whether the unit heard the escape.
      if (ReturnToTransparent() == Returned::Unreadable) noteReturn();
      return finish(DetectionOutcome::Cancelled);
    }
    if (answer.bytes > 0) {
      // Something answered that cannot be read here: a unit escaped at this setting whose
      // reply reaches us garbled. TRAN, at the same setting, returns it; then the quiet
      // time the next "+++" needs.
      DropInput();
      Write("TRAN\r\n");
      noteReturn();
      const Wait quiet = Quiet(timings_.guardMs);
      if (quiet == Wait::Lost) return finish(DetectionOutcome::PortProblem);
      if (quiet == Wait::Cancelled) return finish(DetectionOutcome::Cancelled);
    }
  }
  return finish(DetectionOutcome::NotFound);
}

}  // namespace vqx
