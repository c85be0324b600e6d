#include "unit_session.h"

#include <algorithm>
#include <cstring>

#include "app/preferences_block.h"
#include "line_detection.h"
#include "link/line_candidates.h"
#include "protocol/command_table.h"
#include "system_port.h"
#include "terminal_text.h"
#include "window/control_ids.h"

namespace vqx::cli {

namespace {

constexpr uint32_t kPollMs = 10;

// A typed line's answer is complete once the link is idle and the unit has said nothing
// more for this long.
constexpr uint32_t kAnswerQuietMs = 300;
constexpr uint32_t kAnswerLimitMs = 5000;

std::string ExplainOpenFailure(const char* portName, const PortOpenResult& result) {
  return DescribePortOpenFailure(portName, result);
}

// The logic's boxes break lines with CR; a terminal wants one line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

// The unit's answer as lines ending in LF, whatever its line ends (LF CR, CR LF, LF).
std::string AnswerLines(const std::string& raw) {
  std::string out;
  for (char c : raw) {
    if (c == '\r') continue;
    if (c == '\n' && (out.empty() || out.back() == '\n')) continue;  // no empty lines
    out += c;
  }
  if (!out.empty() && out.back() != '\n') out += '\n';
  return out;
}

}  // namespace

UnitSession::UnitSession(const SessionOptions& options, std::ostream& progress, std::unique_ptr<ISerialPort> port)
    : options_(options),
      progress_(progress),
      clock_(options.clock != nullptr ? *options.clock : SystemClock()),
      port_(port ? std::move(port) : CreateSystemSerialPort()),
      comm_(*port_, clock_),
      services_{clock_, files_, SystemWallClock(), &ExplainOpenFailure},
      window_(comm_, surface_, services_),
      app_(comm_, window_) {
  comm_.AttachHost(&window_);
}

UnitSession::~UnitSession() { Close(); }

void UnitSession::Progress(const std::string& text) {
  if (!options_.quiet) progress_ << text << std::endl;
}

void UnitSession::SleepMs(uint32_t ms) {
  // In short steps, so that an interrupt is seen within a moment.
  for (uint32_t slept = 0; slept < ms && !Interrupted(); slept += kPollMs) {
    clock_.SleepMs(std::min(kPollMs, ms - slept));
  }
}

ExitCode UnitSession::DetectLine(std::string* error) {
  DetectionResult result;
  const ExitCode code = DetectLineSettings(*port_, options_.line.port, options_.detectOrder, true, options_.interrupt,
                                           [this](const std::string& text) { Progress(text); }, &result, error);
  if (code != kExitOk) return code;
  options_.line.baudRate = result.settings.baudRate;
  options_.line.dataBits = result.settings.dataBits;
  options_.line.stopBits = result.settings.stopBits;
  options_.line.parity = result.settings.parity;
  Progress("Found the VQX-2 at " + LineSettingsText(result.settings));
  return kExitOk;
}

ExitCode UnitSession::Connect(std::string* error) {
  const LineOptions& line = options_.line;
  auto prefs = std::make_unique<PreferencesBlock>();
  std::memset(prefs.get(), 0, sizeof(PreferencesBlock));
  if (line.port.empty() || line.port.size() >= sizeof(prefs->portName)) {
    *error = "The serial port could not be opened: the port name must hold 1 to " +
             std::to_string(sizeof(prefs->portName) - 1) + " characters.";
    return kExitPortNotOpened;
  }
  // The run's own preferences, in memory: the port and line settings asked for.
  prefs->formatMark = kPreferencesFormatMark;
  prefs->view = kViewSettings;
  prefs->baudRate = line.baudRate;
  prefs->dataBits = line.dataBits;
  prefs->stopBits = line.stopBits;
  prefs->parity = line.parity;
  std::memcpy(prefs->portName, line.port.data(), line.port.size());
  if (options_.detect) {
    const ExitCode detected = DetectLine(error);
    if (detected != kExitOk) return detected;
    prefs->baudRate = line.baudRate;
    prefs->dataBits = line.dataBits;
    prefs->stopBits = line.stopBits;
    prefs->parity = line.parity;
  }
  files_.ReplaceFile(kPreferencesFileName, prefs.get(), sizeof(PreferencesBlock));

  const size_t mark = surface_.BoxCount();
  if (!window_.Create()) {
    // The detection left the unit in command mode; the port it used is gone again.
    if (options_.detect) {
      *error = std::string(kPortOpenFailedText) + " again after the detection. " + OneLine(kStillInCommandModeText);
      return kExitLeftInCommandMode;
    }
    const std::vector<std::string> boxes = surface_.BoxesSince(mark);
    std::string text = boxes.empty() ? std::string(kPortOpenFailedText) : boxes.back();
    const size_t br = text.find('\r');
    if (br != std::string::npos) text = text.substr(0, br) + ": " + text.substr(br + 1);
    *error = OneLine(text);
    return kExitPortNotOpened;
  }
  // A line at other settings than asked for would only garble the exchange, or worse,
  // write settings the unit misreads: the technician decides, not vqxctl. Nothing has gone
  // to the unit yet. After a detection the unit waits in command mode at settings the
  // port already took once: go on, and let the warning stand.
  const PortOpenResult opened = comm_.LastOpenResult();
  // Not subject to --quiet: a line at the server's own settings explains a silent unit.
  if (!opened.warning.empty()) progress_ << "vqxctl: warning: " << Visible(opened.warning) << "." << std::endl;
  if (opened.settingsRefused) {
    const LineSettings asked{prefs->baudRate, prefs->parity, prefs->dataBits, prefs->stopBits};
    const std::string refusal = DescribeRefusedLineSettings(line.port, asked, opened.lineInEffect);
    if (!options_.detect) {
      *error = refusal + ".";
      return kExitPortNotOpened;
    }
    Progress(Visible(refusal));
  }
  // The unit answered the detection's probe: the read goes on from there, without
  // another escape.
  if (options_.detect) window_.BeginReadInCommandMode();
  started_ = app_.StartWorker();
  return WaitForUnitIdle("the read", error);
}

ExitCode UnitSession::WaitForUnitIdle(const char* what, std::string* error) {
  const uint32_t start = clock_.NowMs();
  for (;;) {
    const StatusState status = window_.GetStatusState();
    if (status != lastShownStatus_) {
      lastShownStatus_ = status;
      if (!ReadComplete() && status != kStatusNotResponding && status != kStatusPortNotOpen) {
        Progress(Visible(window_.StatusSentence()));
      }
    }
    if (ReadComplete()) return kExitOk;
    if (Interrupted()) {
      *error = std::string("Interrupted during ") + what + ".";
      return kExitInterrupted;
    }
    // A lost port also fails the exchange in progress: say what really happened first.
    if (status == kStatusPortNotOpen || comm_.PortLost()) {
      *error = "The serial port " + options_.line.port + " was lost during " + what +
               " (adapter unplugged or line hung up).";
      return kExitPortNotOpened;
    }
    if (status == kStatusNotResponding) {
      *error = "The VQX-2 is not responding on " + options_.line.port + " during " + what +
               ": check the cable, that the unit is powered and that --baud, --data-bits, --stop-bits and --parity "
               "match the unit's serial settings.";
      return kExitNotResponding;
    }
    if (ElapsedMs(clock_.NowMs(), start) > options_.phaseLimitMs) {
      *error = "The VQX-2 did not finish " + std::string(what) + " within " +
               std::to_string(options_.phaseLimitMs / 1000) + " s.";
      return kExitNotResponding;
    }
    SleepMs(kPollMs);
  }
}

bool UnitSession::ReadComplete() const { return window_.IsReadFinished(); }

bool UnitSession::WaitForQuietLink(uint32_t limitMs) {
  const uint32_t start = clock_.NowMs();
  while (comm_.GetState() != LinkState::Idle || comm_.AwaitingReply()) {
    if (ElapsedMs(clock_.NowMs(), start) > limitMs) return false;
    clock_.SleepMs(kPollMs);
  }
  return true;
}

std::vector<std::string> UnitSession::UnsupportedKeywords() const {
  std::vector<std::string> keywords;
  for (int i = 0; i < kSettingCount; ++i) {
    if (window_.GetSettingReadState(i) == ReadMark::Refused) {
      keywords.emplace_back(CommandKeywordTable[kFullReadOrder[static_cast<size_t>(i)]]);
    }
  }
  return keywords;
}

UpdatePlan UnitSession::PlanFor(const DeviceSettings& target) { return window_.PlanUpdateTo(target); }

ExitCode UnitSession::Update(const DeviceSettings& target, std::vector<std::string>* warnings, std::string* error) {
  const size_t mark = surface_.BoxCount();
  window_.UpdateSettingsTo(target);
  for (const std::string& box : surface_.BoxesSince(mark)) warnings->push_back(OneLine(box));

  const StatusState status = window_.GetStatusState();
  if (status == kStatusPortNotOpen) {
    *error = warnings->empty() ? std::string(kPortOpenFailedText) : warnings->back();
    return kExitPortNotOpened;
  }
  // The reboot timer, not the status, tells that the update went out: a late STAT reply
  // may already have replaced the status.
  if (!surface_.Inner().TimerRunning(ids::kRebootTimer)) {
    *error = warnings->empty() ? std::string("Nothing was sent to the VQX-2.") : warnings->back();
    return kExitRefused;
  }
  return WaitOutTheReboot(error);
}

ExitCode UnitSession::WaitOutTheReboot(std::string* error) {
  Progress("Waiting for VQX-2 to reboot (please wait)");
  lastShownStatus_ = kStatusRebootWait;
  SleepMs(options_.rebootWaitMs);
  if (Interrupted()) {
    *error = "Interrupted while the VQX-2 rebooted.";
    return kExitInterrupted;
  }
  // The burst's replies are taken before the read starts again, as they are long before
  // the desktop's ten seconds are over.
  WaitForQuietLink(kReplyTimeoutMs + 1000);
  if (surface_.Inner().TimerRunning(ids::kRebootTimer)) window_.OnTimer(ids::kRebootTimer);
  return WaitForUnitIdle("the read after the reboot", error);
}

ExitCode UnitSession::SendLine(const std::string& line, std::string* answer, std::string* error) {
  if (!inTerminal_) {
    window_.OnCommand(ids::kViewTerminal, kBnClicked);
    inTerminal_ = true;
  }
  WaitForQuietLink(kReplyTimeoutMs + 1000);
  const size_t outputMark = surface_.OutputSize();
  const size_t boxMark = surface_.BoxCount();
  surface_.Inner().UserSetText(ids::kCommandEntry, line);
  window_.OnEnterKey();
  const std::vector<std::string> boxes = surface_.BoxesSince(boxMark);
  if (!boxes.empty()) {
    *error = OneLine(boxes.front());
    return kExitRefused;
  }
  // The logic shows the line it sent at once; nothing shown means nothing went out.
  const std::string shownLine = "\r\n" + line.substr(0, 253) + "\r\n";
  if (surface_.OutputSince(outputMark).rfind(shownLine, 0) != 0) {
    *error = "The line could not be sent: the link was busy or the line is empty.";
    return kExitRefused;
  }

  const uint32_t start = clock_.NowMs();
  size_t seen = surface_.OutputSize();
  uint32_t quietSince = start;
  while (ElapsedMs(clock_.NowMs(), start) < kAnswerLimitMs && !Interrupted()) {
    SleepMs(kPollMs);
    const size_t now = surface_.OutputSize();
    if (now != seen) {
      seen = now;
      quietSince = clock_.NowMs();
      continue;
    }
    const bool linkQuiet = comm_.GetState() == LinkState::Idle && !comm_.AwaitingReply();
    if (linkQuiet && ElapsedMs(clock_.NowMs(), quietSince) >= kAnswerQuietMs) break;
  }
  *answer = AnswerLines(surface_.OutputSince(outputMark + shownLine.size()));

  // SAVE or REBOOT typed: the logic waits for the reboot and reads the unit again.
  if (surface_.Inner().TimerRunning(ids::kRebootTimer)) return WaitOutTheReboot(error);
  return kExitOk;
}

bool UnitSession::Close(std::string* warning) {
  if (closed_) return true;
  closed_ = true;
  if (!started_) {
    comm_.Close();
    return true;
  }
  // The orderly stop waits for the reply in flight itself, whatever the interrupt says.
  if (app_.Shutdown() != LeaveOutcome::NotConfirmed) return true;
  if (warning != nullptr) *warning = OneLine(kStillInCommandModeText);
  return false;
}

}  // namespace vqx::cli
