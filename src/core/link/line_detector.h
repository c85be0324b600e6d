#pragma once

#include <atomic>
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
// time it has to answer. A reply is listened for for the whole reply time-out, so a unit
// that answers as late as the link allows is still seen (and, unread, returned to
// transparent mode); that listening is also the quiet time before the next try's "+++".
struct DetectionTimings {
  uint32_t guardMs = kEscapeGuardMs + 50;   // a little over the unit's, as the link's checks are
  uint32_t replyWindowMs = kReplyTimeoutMs;
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
  uint32_t elapsedMs = 0;
};

// Finds the line settings of a unit by trying them in turn: at each, the normal escape
// (quiet time, "+++", quiet time, CR) and the reply time-out, until one answers OK.
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
  enum class Wait { Done, Cancelled, Lost };
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
  // Reads lines for up to ms; stops early at an OK or ERR line.
  Listen ListenForAnswer(uint32_t ms, bool cancellable);
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
  int32_t currentBaud_ = 9600;
};

// "Trying 19200 8N1 (2 of 54)".
std::string DetectionProgressText(const DetectionProgress& progress);

}  // namespace vqx
