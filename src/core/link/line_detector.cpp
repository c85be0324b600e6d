#include "link/line_detector.h"

#include <algorithm>
#include <cstring>
#include <optional>

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
// A unit in command mode answers a bare CR with its echo and a line end, "OK" or "ERR",
// and a line end: within this many characters.
constexpr uint32_t kSweepAnswerChars = 8;
// Second looks in one sweep at settings whose answer may have come late: enough for a
// unit that was slow once, few enough that a line full of radio data (or of the echo of
// what a unit in command mode made of the CRs at other settings) keeps the sweep short.
constexpr int kSweepRechecks = 3;

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
                                             static_cast<uint32_t>(std::max(current_.baudRate, 50));
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

LineDetector::Wait LineDetector::QuietWatching(uint32_t ms, uint32_t heardBefore) {
  const uint32_t start = clock_.NowMs();
  for (;;) {
    if (Cancelled()) return Wait::Cancelled;
    const int32_t queued = port_.QueuedBytes();
    if (queued < 0) return Wait::Lost;
    if (queued > 0 && static_cast<int32_t>(clock_.NowMs() - heardBefore) < 0) return Wait::Heard;
    DropInput();
    if (ElapsedMs(clock_.NowMs(), start) >= ms) return Wait::Done;
    clock_.SleepMs(kLookEveryMs);
  }
}

uint32_t LineDetector::CharMs() const {
  const uint32_t bits = 2U + static_cast<uint32_t>(current_.dataBits == 7 ? 7 : 8) +
                        (current_.parity == 'E' || current_.parity == 'O' ? 1U : 0U) +
                        (current_.stopBits == 2 ? 1U : 0U);
  const uint32_t baud = static_cast<uint32_t>(std::max(current_.baudRate, 50));
  return (bits * 1000U + baud - 1) / baud;
}

LineDetector::Listen LineDetector::ListenForAnswer(uint32_t ms, bool cancellable, uint32_t silentMs,
                                                  uint32_t msOnceHeard) {
  Listen listen;
  std::string line;
  const uint32_t start = clock_.NowMs();
  uint32_t lastByteAt = start;
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
    const uint32_t now = clock_.NowMs();
    if (queued > 0) lastByteAt = now;
    const uint32_t limit = listen.bytes > 0 ? std::max(ms, msOnceHeard) : ms;
    if (ElapsedMs(now, start) >= limit || ElapsedMs(now, lastByteAt) >= silentMs) return listen;
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
    current_ = settings;
    Write("\rTRAN\r\n");
  }
}

bool LineDetector::UseSettings(const std::string& portName, const LineSettings& settings,
                               PortOpenResult* openResult) {
  if (!open_ || !port_.ChangeLineSettings(settings)) {
    port_.Close();
    *openResult = port_.Open(portName.c_str(), settings);
    open_ = openResult->ok;
    if (!open_) return false;
  }
  current_ = settings;
  return true;
}

LineDetector::Listen LineDetector::Probe(uint32_t ms, uint32_t silentMs, uint32_t msOnceHeard) {
  DropInput();
  if (!Write("\r")) {
    Listen lost;
    lost.wait = Wait::Lost;
    return lost;
  }
  probeLeftAt_ = clock_.NowMs();
  return ListenForAnswer(ms, true, silentMs, msOnceHeard);
}

LineDetector::Sweep LineDetector::SweepForCommandMode(const std::string& portName, DetectionResult* result,
                                                      int* found) {
  // A unit in transparent mode passes the CR on as radio data and says nothing, and one in
  // command mode answers it at once with OK (or ERR, when what it heard at the other
  // settings is in its line). Nothing here can escape a unit.
  const auto ask = [&](int index, uint32_t answerMs) {
    if (!UseSettings(portName, candidates_[static_cast<size_t>(index)], &result->openResult)) {
      // A setting the driver refuses outright is passed over here (the try at it reports
      // it); a port that is gone, busy or forbidden ends the search.
      Listen skipped;
      if (result->openResult.error != PortOpenError::Other) skipped.wait = Wait::Lost;
      return skipped;
    }
    // The first character in answerMs plus its own time, the whole answer in its time.
    return Probe(answerMs + kSweepAnswerChars * CharMs(), answerMs + 2 * CharMs());
  };
  int rechecks = 0;
  const int count = static_cast<int>(candidates_.size());
  for (int i = 0; i < count; ++i) {
    if (Cancelled()) return Sweep::Cancelled;
    const Listen listen = ask(i, timings_.sweepAnswerMs);
    if (listen.wait == Wait::Lost) return Sweep::Lost;
    if (listen.wait == Wait::Cancelled) return Sweep::Cancelled;
    if (listen.answered) {
      *found = i;
      return Sweep::Found;
    }
    if (listen.bytes == 0) continue;
    // Garbled bytes: perhaps the answer of a unit slower than sweepAnswerMs at the setting
    // before (one at this rate with another framing is found at its own). Ask it again
    // there, with time to answer.
    if (i == 0 || rechecks >= kSweepRechecks) continue;
    ++rechecks;
    const Listen second = ask(i - 1, timings_.sweepRecheckMs);
    if (second.wait == Wait::Lost) return Sweep::Lost;
    if (second.wait == Wait::Cancelled) return Sweep::Cancelled;
    if (second.answered) {
      *found = i - 1;
      return Sweep::Found;
    }
  }
  return Sweep::NotFound;
}

DetectionResult LineDetector::Run(const std::string& portName, bool leaveInCommandMode) {
  DetectionResult result;
  const uint32_t start = clock_.NowMs();
  open_ = false;
  int escapesSent = 0;  // the tries whose "+++" went out
  const auto finish = [&](DetectionOutcome outcome) {
    if (outcome == DetectionOutcome::NotFound || outcome == DetectionOutcome::Cancelled) {
      ReturnEverywhere(portName, escapesSent);
    }
    result.outcome = outcome;
    result.elapsedMs = ElapsedMs(clock_.NowMs(), start);
    if (!(outcome == DetectionOutcome::Found && leaveInCommandMode)) {
      port_.Close();
      open_ = false;
    }
    return result;
  };
  // TRAN went out where the unit may have been escaped; nothing confirms it.
  const auto noteReturn = [&] {
    ++result.returnsSent;
    result.unitLeft = UnitLeft::NotConfirmed;
  };
  // Something answered that cannot be read here: a unit escaped at the open setting whose
  // reply reaches us garbled. TRAN, at the same setting, returns it; then the quiet time
  // the next "+++" needs. The outcome when the search cannot go on.
  const auto returnGarbled = [&]() -> std::optional<DetectionOutcome> {
    DropInput();
    Write("TRAN\r\n");
    noteReturn();
    const Wait quiet = Quiet(timings_.guardMs);
    if (quiet == Wait::Lost) return DetectionOutcome::PortProblem;
    if (quiet == Wait::Cancelled) return DetectionOutcome::Cancelled;
    return std::nullopt;
  };
  // The unit answered at the open setting, which is `index`'s: it is in command mode there.
  const auto foundAt = [&](int index) {
    result.settings = candidates_[static_cast<size_t>(index)];
    if (leaveInCommandMode) {
      result.unitLeft = UnitLeft::InCommandMode;
    } else {
      result.unitLeft =
          ReturnToTransparent() == Returned::Confirmed ? UnitLeft::Transparent : UnitLeft::NotConfirmed;
    }
    return finish(DetectionOutcome::Found);
  };

  const int count = static_cast<int>(candidates_.size());
  if (count == 0) return finish(DetectionOutcome::NotFound);
  int progressShown = 0;  // the highest try number reported
  const auto showProgress = [&](int index) {
    if (index + 1 <= progressShown) return;
    progressShown = index + 1;
    if (progress_) progress_({candidates_[static_cast<size_t>(index)], index + 1, count});
  };

  if (timings_.sweepFirst) {
    // Reported as the first try: it takes a moment and shows where the search stands.
    showProgress(0);
    result.triesMade = 1;
    int found = -1;
    const Sweep sweep = SweepForCommandMode(portName, &result, &found);
    result.sweepMs = ElapsedMs(clock_.NowMs(), start);
    switch (sweep) {
      case Sweep::Found:
        result.foundInCommandMode = true;
        return foundAt(found);
      case Sweep::Cancelled: return finish(DetectionOutcome::Cancelled);
      case Sweep::Lost: return finish(DetectionOutcome::PortProblem);
      case Sweep::NotFound: break;
    }
  }

  // While set, a byte before this time may be the late answer of the setting before.
  bool lateWatch = false;
  uint32_t lateUntil = 0;
  for (int i = 0; i < count; ++i) {
    const LineSettings& settings = candidates_[static_cast<size_t>(i)];
    if (Cancelled()) return finish(DetectionOutcome::Cancelled);
    if (!UseSettings(portName, settings, &result.openResult)) return finish(DetectionOutcome::PortProblem);
    result.triesMade = std::max(result.triesMade, i + 1);
    showProgress(i);

    // Before the first try, the quiet time; later ones follow the previous try's listening
    // at its own setting, which lasted at least as long after its last byte left the line.
    if (i == 0) {
      const Wait before = Quiet(timings_.guardMs);
      if (before == Wait::Cancelled) return finish(DetectionOutcome::Cancelled);
      if (before == Wait::Lost) return finish(DetectionOutcome::PortProblem);
    }
    const int32_t early = lateWatch ? port_.QueuedBytes() : 0;
    if (early < 0) return finish(DetectionOutcome::PortProblem);
    Wait after = Wait::Heard;
    if (early == 0) {
      DropInput();
      if (!Write("+++")) return finish(DetectionOutcome::PortProblem);
      escapesSent = std::max(escapesSent, i + 1);
      after = lateWatch ? QuietWatching(timings_.guardMs, lateUntil) : Quiet(timings_.guardMs);
    }
    lateWatch = false;
    if (after == Wait::Lost) return finish(DetectionOutcome::PortProblem);
    if (after == Wait::Heard) {
      // Something arrived while the previous setting's reply window was still open: its
      // unit may have answered late and be in command mode there. Ask it there; our CR
      // also ends the quiet time this try's "+++" needs, so a unit at this setting stays
      // transparent and the try is made again.
      const int previous = i - 1;
      if (!UseSettings(portName, candidates_[static_cast<size_t>(previous)], &result.openResult)) {
        return finish(DetectionOutcome::PortProblem);
      }
      const Listen again = Probe(timings_.replyWindowMs, timings_.replyWindowMs);
      if (again.wait == Wait::Lost) return finish(DetectionOutcome::PortProblem);
      if (again.answered) {
        result.triesMade = previous + 1;
        return foundAt(previous);
      }
      if (again.wait == Wait::Cancelled) {
        if (ReturnToTransparent() == Returned::Unreadable) noteReturn();
        return finish(DetectionOutcome::Cancelled);
      }
      if (again.bytes > 0) {
        if (const auto ended = returnGarbled()) return finish(*ended);
      }
      // Its whole reply window was heard there (at least the guard time): try this one again.
      --i;
      continue;
    }
    if (after == Wait::Cancelled) {
      // TRAN within the quiet time breaks the escape; one that came just too late finds
      // the unit in command mode and returns it, and its answer says so. A unit that says
      // nothing never left transparent mode.
      if (ReturnToTransparent() == Returned::Unreadable) noteReturn();
      return finish(DetectionOutcome::Cancelled);
    }

    // At the last setting nothing follows to hear the rest of the reply window in. A unit
    // that echoed the probe (or said anything) is heard out here, for the whole window.
    const bool overlap = timings_.overlapReplyWindow && i + 1 < count;
    const Listen answer =
        Probe(overlap ? timings_.guardMs : timings_.replyWindowMs, UINT32_MAX, timings_.replyWindowMs);
    if (answer.wait == Wait::Lost) {
      if (answer.bytes > 0) result.unitLeft = UnitLeft::NotConfirmed;
      return finish(DetectionOutcome::PortProblem);
    }
    if (answer.answered) return foundAt(i);
    if (answer.wait == Wait::Cancelled) {
      // The probe went out: TRAN, and its answer tells whether the unit heard the escape.
      if (ReturnToTransparent() == Returned::Unreadable) noteReturn();
      return finish(DetectionOutcome::Cancelled);
    }
    if (answer.bytes > 0) {
      if (const auto ended = returnGarbled()) return finish(*ended);
    } else if (overlap) {
      lateWatch = true;
      // The unit's answer may start as late as the reply window allows, and takes a
      // character's time to arrive.
      lateUntil = probeLeftAt_ + timings_.replyWindowMs + 2 * CharMs() + kLookEveryMs;
    }
  }
  return finish(DetectionOutcome::NotFound);
}

}  // namespace vqx
