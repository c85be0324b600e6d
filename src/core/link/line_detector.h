#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/serial_comm.h"
#include "port/clock.h"
#include "port/line_settings.h"
#include "port/serial_port.h"

namespace vqx {

// The times of one try. The defaults are the unit's: its quiet time around "+++" and the
// time it has to answer.
//
// Waiting for a reply is also the quiet time the next try's "+++" needs, so a try listens
// at its own setting only for the guard time after its probe left the line; the rest of
// the reply window falls into the next try's quiet time after "+++". An answer that comes
// that late reaches the host at the next setting, garbled: any byte then is taken as a
// possible late answer and the previous setting is asked again (a unit that heard its
// escape is in command mode there and answers a bare CR).
struct DetectionTimings {
  uint32_t guardMs = kEscapeGuardMs + 25;  // a little over the unit's, as the link's checks are
  uint32_t replyWindowMs = kReplyTimeoutMs;
  // False: each try listens for the whole reply window before the next one, as the
  // search did before (what the benchmark compares with).
  bool overlapReplyWindow = true;
  // First a bare CR at every setting, which only a unit already in command mode answers.
  bool sweepFirst = true;
  // How long such a unit may take to start its answer, beyond the bytes' own time on the
  // line; one that takes longer is asked again at the setting before, for sweepRecheckMs.
  uint32_t sweepAnswerMs = 15;
  uint32_t sweepRecheckMs = 200;
};

struct DetectionProgress {
  LineSettings settings;
  int tryNumber = 0;  // 1-based
  int tryCount = 0;
};

enum class DetectionOutcome {
  Found,        // a unit answered OK (or ERR: it was in command mode already)
  NotFound,     // nothing answered at any setting
  Cancelled,    // the cancel flag was set
  PortProblem,  // the port could not be opened, or went away
};

// How the unit was left.
enum class UnitLeft {
  Transparent,        // no escape could have reached it, or it confirmed TRAN
  InCommandMode,      // found, and left in command mode as asked: the port is still open
  NotConfirmed,       // TRAN went out where the unit may have heard an escape, unconfirmed
};

struct DetectionResult {
  DetectionOutcome outcome = DetectionOutcome::NotFound;
  LineSettings settings;      // Found: what answered
  int triesMade = 0;
  int returnsSent = 0;        // TRANs sent at settings where something unreadable answered
  UnitLeft unitLeft = UnitLeft::Transparent;
  PortOpenResult openResult;  // PortProblem: why the port did not open (ok when it was lost)
  bool foundInCommandMode = false;  // by the sweep: no escape was sent
  uint32_t sweepMs = 0;             // what the sweep took
  uint32_t elapsedMs = 0;
};

// Finds the line settings of a unit. First a bare CR at every setting finds a unit that is
// in command mode already (the sweep). Then the settings are tried in turn: at each, the
// normal escape (quiet time, "+++", quiet time, CR) and the reply time-out, until one
// answers OK (see DetectionTimings for how the reply window overlaps the next try).
//
// A unit escaped at a setting whose answer arrives unreadable may be in command mode
// there: whenever anything came back, TRAN is sent at that setting before the next try,
// so no try strands the unit. A cancel sends TRAN too once "+++" went out. When nothing
// is found (or the run is cancelled), TRAN goes out once more at every setting tried,
// for a unit that heard an escape but could not be heard.
// Runs on the calling thread; the port must not be used by anyone else meanwhile.
class LineDetector {
 public:
  LineDetector(ISerialPort& port, IClock& clock);

  void SetCandidates(std::vector<LineSettings> candidates) { candidates_ = std::move(candidates); }
  const std::vector<LineSettings>& Candidates() const { return candidates_; }
  void SetTimings(const DetectionTimings& timings) { timings_ = timings; }
  // Called on this thread before each try.
  void SetProgress(std::function<void(const DetectionProgress&)> progress) { progress_ = std::move(progress); }
  // Polled every few milliseconds; may be null.
  void SetCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }

  // leaveInCommandMode: on success the port stays open at the settings found and the unit
  // in command mode (a read follows); otherwise the unit is sent TRAN and the port closed.
  DetectionResult Run(const std::string& portName, bool leaveInCommandMode);

 private:
  enum class Wait { Done, Cancelled, Lost, Heard };
  struct Listen {
    Wait wait = Wait::Done;
    bool answered = false;  // an OK or ERR line
    bool okLine = false;
    size_t bytes = 0;
  };

  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }
  bool Write(const char* text);
  // Quiet for ms (nothing written), dropping what arrives.
  Wait Quiet(uint32_t ms);
  // Quiet for ms like Quiet, but a byte that arrives before the clock reaches heardBefore
  // ends it with Heard (and stays unread).
  Wait QuietWatching(uint32_t ms, uint32_t heardBefore);
  // Reads lines for up to ms; stops early at an OK or ERR line, and once nothing has
  // arrived for silentMs; once anything arrived, for up to msOnceHeard if that is longer.
  Listen ListenForAnswer(uint32_t ms, bool cancellable, uint32_t silentMs = UINT32_MAX, uint32_t msOnceHeard = 0);
  // Opens the port at these settings, or moves the open port to them.
  bool UseSettings(const std::string& portName, const LineSettings& settings, PortOpenResult* openResult);
  // A bare CR and what answers it.
  Listen Probe(uint32_t ms, uint32_t silentMs, uint32_t msOnceHeard = 0);
  // Time of one character at the open setting, rounded up.
  uint32_t CharMs() const;
  enum class Sweep { Found, NotFound, Cancelled, Lost };
  Sweep SweepForCommandMode(const std::string& portName, DetectionResult* result, int* found);
  void DropInput();
  // TRAN at the open setting, and what came back within the reply time-out.
  enum class Returned { Confirmed, Silent, Unreadable };
  Returned ReturnToTransparent();
  // "TRAN" at each of the first `tried` settings, without waiting for answers.
  void ReturnEverywhere(const std::string& portName, int tried);

  ISerialPort& port_;
  IClock& clock_;
  std::vector<LineSettings> candidates_;
  DetectionTimings timings_;
  std::function<void(const DetectionProgress&)> progress_;
  const std::atomic<bool>* cancel_ = nullptr;
  LineSettings current_;
  bool open_ = false;
  uint32_t probeLeftAt_ = 0;  // when the last probe's CR had left the line
};

// "Trying 19200 8N1 (2 of 54)".
std::string DetectionProgressText(const DetectionProgress& progress);

}  // namespace vqx
