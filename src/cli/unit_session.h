#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "app/application.h"
#include "app/update_plan.h"
#include "cli_surface.h"
#include "exit_codes.h"
#include "link/serial_comm.h"
#include "port/clock.h"
#include "port/memory_file_store.h"

namespace vqx::cli {

// The host side of the line, as --baud, --data-bits, --stop-bits and --parity give it.
struct LineOptions {
  std::string port;
  int32_t baudRate = 9600;
  int32_t dataBits = 8;
  int32_t stopBits = 1;
  char parity = 'N';
};

// How long the escape and a full read take at most with a unit that is slow but keeps
// within the reply time-out on every exchange: the escape (the guard time, "+++", the
// guard time, the probe's answer), ECHO OFF, the 28 queries, the STAT the logic asks
// after each ERR, the closing STAT; and a margin for a loaded host. A fixed minute ended
// the read of a unit answering each query after 2.5 s, which the desktop program reads.
inline constexpr uint32_t kReadExchanges = 1 + kSettingCount + kSettingCount + 1;
inline constexpr uint32_t kReadPhaseLimitMs =
    2 * kEscapeGuardMs + kReplyTimeoutMs + kReadExchanges * kReplyTimeoutMs + 10000;

struct SessionOptions {
  LineOptions line;
  bool quiet = false;
  // How long the unit is left alone after SAVE before it is read again.
  uint32_t rebootWaitMs = kRebootWaitMs;
  // The longest the escape and a full read may take together.
  uint32_t phaseLimitMs = kReadPhaseLimitMs;
  // Set (from a signal handler, say) to stop waiting; the session then returns the unit
  // to transparent mode as usual. May be null.
  const std::atomic<bool>* interrupt = nullptr;
  // Find the unit's line settings first (these tries, in order); the read then starts in
  // the command mode the detection left the unit in, and uses the settings found.
  bool detect = false;
  std::vector<LineSettings> detectOrder;
  // The clock the session and its worker tell time and sleep by; the system's when null.
  // A benchmark passes one that sleeps in whole timer periods, as Windows does.
  IClock* clock = nullptr;
};

// Files the window logic writes during a run stay in memory: the command-line tool never
// touches the desktop program's preferences file.

// One conversation with a unit, exactly as the desktop program holds it: the window logic
// on a headless surface, its worker thread on the real serial port and the real clock.
// This thread plays the user-interface thread.
class UnitSession {
 public:
  // port: the system's serial port when null (--demo passes the simulated unit's).
  UnitSession(const SessionOptions& options, std::ostream& progress, std::unique_ptr<ISerialPort> port = nullptr);
  ~UnitSession();
  UnitSession(const UnitSession&) = delete;
  UnitSession& operator=(const UnitSession&) = delete;

  // Opens the port and reads the unit: escape, ECHO OFF, the 28 queries, STAT. With
  // detect, the detection takes the escape's place.
  // kExitOk, or the exit code with the reason in *error.
  ExitCode Connect(std::string* error);

  DeviceSettings Settings() const { return window_.GetCurrentSettings(); }
  // Keywords the unit answered ERR to during the last full read.
  std::vector<std::string> UnsupportedKeywords() const;
  // "VQX-2 disconnected", "VQX-2 connected to 10.1.2.3", ...
  std::string LinkStatusSentence() const { return window_.StatusSentence(); }
  StatusState Status() const { return window_.GetStatusState(); }
  // Why the port did not open (busy, missing, ...), after Connect gave kExitPortNotOpened.
  PortOpenError OpenError() const { return comm_.LastOpenResult().error; }
  // The line settings in use (those found, after a detection).
  const LineOptions& Line() const { return options_.line; }

  // What Update Settings would send to make the unit hold target.
  UpdatePlan PlanFor(const DeviceSettings& target);

  // Update Settings towards target: the changed settings, SAVE, the reboot wait, the
  // read again. *warnings receives the boxes the logic showed.
  ExitCode Update(const DeviceSettings& target, std::vector<std::string>* warnings, std::string* error);

  // Types one line into the terminal and returns what the unit answered (its lines, LF
  // ended). A line the logic refuses gives kExitRefused with its reason in *error.
  ExitCode SendLine(const std::string& line, std::string* answer, std::string* error);

  // The worker stopped, the unit returned to transparent mode (ECHO ON and TRAN, each
  // once the previous reply is in), the port closed. Runs once. False when the unit did
  // not confirm TRAN and may still be in command mode; *warning then says so.
  bool Close(std::string* warning = nullptr);

 private:
  ExitCode DetectLine(std::string* error);
  ExitCode WaitForUnitIdle(const char* what, std::string* error);
  // The reboot after SAVE or REBOOT: the wait, then the read that follows it.
  ExitCode WaitOutTheReboot(std::string* error);
  void Progress(const std::string& text);
  void SleepMs(uint32_t ms);
  bool WaitForQuietLink(uint32_t limitMs);
  bool ReadComplete() const;
  bool Interrupted() const { return options_.interrupt != nullptr && options_.interrupt->load(); }

  SessionOptions options_;
  std::ostream& progress_;
  IClock& clock_;
  MemoryFileStore files_;
  CliSurface surface_;
  std::unique_ptr<ISerialPort> port_;
  CSerialComm comm_;
  AppServices services_;
  CAppWindow window_;
  CApplication app_;
  bool started_ = false;
  bool closed_ = false;
  bool inTerminal_ = false;
  std::optional<StatusState> lastShownStatus_;  // none before the first progress line
};

}  // namespace vqx::cli
