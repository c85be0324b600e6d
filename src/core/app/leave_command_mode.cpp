// Leaving the unit at shutdown. A unit left in command mode stops passing its serial
// data, so the program returns it to transparent mode before it lets go of the port, or
// tells the user that it could not. The worker has ended: this thread drives the link,
// and nothing else can start a query or an escape meanwhile.

#include <algorithm>

#include "app/app_window.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

// Polls between two 1 ms sleeps: a reply of a few dozen bytes is read within a pass,
// and the link's time checks (every 100th Poll) come every few milliseconds.
constexpr int kPollsPerSleep = 50;
// A pass that took longer than this was a host starved of processor time, not a unit
// slow to answer: the wait counts it as this long only.
constexpr uint32_t kLongestCountedPassMs = 20;

bool EscapeRunning(LinkState state) {
  return state == LinkState::EscapeSent || state == LinkState::ProbeSent || state == LinkState::SecondProbe;
}

}  // namespace

void CAppWindow::NoteUnitAnswered() {
  if (statusState_.load() != kStatusRebootWait) commandModePossible_.store(true);
}

void CAppWindow::NoteEscapeWentOut() {
  if (statusState_.load() != kStatusRebootWait) escapeWentOut_.store(true);
}

void CAppWindow::NoteUnitTransparent() {
  commandModePossible_.store(false);
  escapeWentOut_.store(false);
}

CAppWindow::LeaveWait CAppWindow::PollForReply(uint32_t limitMs, ResponseRecord* reply) {
  uint32_t lastPass = services_.clock.NowMs();
  uint32_t waited = 0;
  for (;;) {
    for (int i = 0; i < kPollsPerSleep; ++i) {
      if (link_.PortLost()) return LeaveWait::Lost;
      switch (link_.GetState()) {
        case LinkState::ReplyReady:
          if (const ResponseRecord* taken = link_.TakeReply()) {
            NoteUnitAnswered();
            // A unit that echoes shows an ECHO command back before it answers it: the
            // answer is still to come.
            if (taken->responseId == kRspEcho) break;
            if (reply != nullptr) *reply = *taken;
            return LeaveWait::Reply;
          }
          break;
        case LinkState::Failed:
          link_.ResetLink();
          return LeaveWait::Failed;
        case LinkState::Closed: return LeaveWait::Lost;
        default: break;
      }
      link_.Poll();
    }
    const uint32_t now = services_.clock.NowMs();
    waited += std::min(ElapsedMs(now, lastPass), kLongestCountedPassMs);
    lastPass = now;
    if (waited >= limitMs) return LeaveWait::TimedOut;
    services_.clock.SleepMs(1);
  }
}

uint32_t CAppWindow::LeaveStepMs() const {
  return std::clamp(2 * link_.SlowestReplyMs(), kLeaveStepMs, kReplyTimeoutMs);
}

CAppWindow::LeaveWait CAppWindow::FinishEscape(uint32_t limitMs) {
  // The quiet time after "+++" runs out, the probe goes out and is answered, or the
  // probes time out: PollForReply covers all of it.
  return PollForReply(limitMs, nullptr);
}

bool CAppWindow::SendAndAwait(int32_t commandId, int32_t value, uint32_t limitMs, ResponseRecord* reply) {
  CommandRecord record;
  record.commandId = commandId;
  record.value = value;
  if (!link_.SendCommand(record)) return false;
  return PollForReply(limitMs, reply) == LeaveWait::Reply;
}

LeaveOutcome CAppWindow::LeaveCommandMode() {
  const LinkState state = link_.GetState();
  if (state == LinkState::Closed) return commandModePossible_.load() ? LeaveOutcome::NotConfirmed : LeaveOutcome::NothingToLeave;

  if (state == LinkState::EscapeWait) {
    // Nothing of this escape went out: nothing to finish.
    link_.ResetLink();
  } else if (EscapeRunning(state)) {
    // "+++" went out: the unit enters command mode once its quiet time has passed, whether
    // or not its answer to the probe reaches us in time (a slow line, a starved host, a
    // broken receive wire). Completing the escape shows whether it did; if it does not
    // show it, the unit still gets ECHO ON and TRAN. The worker notes this only when it
    // saw the probe go out, and here the probe may be ours.
    NoteEscapeWentOut();
    FinishEscape(kEscapeGuardMs + kLeaveStepMs);
  } else if (link_.GetState() != LinkState::Idle || link_.AwaitingReply()) {
    // A command in flight: its reply (or time-out) comes first, never mixed with ours.
    PollForReply(LeaveStepMs(), nullptr);
  }
  if (link_.PortLost() || link_.GetState() == LinkState::Closed) {
    return commandModePossible_.load() ? LeaveOutcome::NotConfirmed : LeaveOutcome::NothingToLeave;
  }
  // Whatever is left over (a probe the unit never answered, a late line) is dropped.
  link_.ResetLink();
  if (!commandModePossible_.load() && !escapeWentOut_.load()) return LeaveOutcome::NothingToLeave;

  ownCommand_.store(true);
  SendAndAwait(kCmdEcho, 1, LeaveStepMs(), nullptr);
  if (link_.GetState() != LinkState::Idle) link_.ResetLink();
  ResponseRecord reply{};
  queryStep_.store(kAwaitTransparent);
  // An ECHO ON whose answer did not come in its step may be answered now: the unit takes
  // its commands in order, so an OK after TRAN went out still shows it in command mode,
  // with TRAN next in its queue.
  if (SendAndAwait(kCmdTran, -1, kReplyTimeoutMs, &reply) && reply.responseId == kRspOk) {
    NoteUnitTransparent();
    queryStep_.store(kNothingPending);
    statusState_.store(kStatusTransparent);
    return LeaveOutcome::Transparent;
  }
  // A unit that never answered anything readable (none on the line, or one whose
  // replies are noise) had ECHO ON and TRAN in case it heard the escape; a warning that
  // it may be in command mode would be a guess.
  return commandModePossible_.load() ? LeaveOutcome::NotConfirmed : LeaveOutcome::NothingToLeave;
}

LeaveOutcome CAppWindow::Shutdown() {
  if (shutDown_.exchange(true)) return LeaveOutcome::NothingToLeave;
  surface_.KillTimer(ids::kRebootTimer);
  const LeaveOutcome outcome = LeaveCommandMode();
  if (outcome == LeaveOutcome::NotConfirmed) ShowBox(MessageOwner::None, kStillInCommandModeText, MessageIcon::Warning);
  return outcome;
}

}  // namespace vqx
