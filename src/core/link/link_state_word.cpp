#include "link/link_state_word.h"

namespace vqx {

bool LinkStateWord::TryMove(LinkState from, LinkState to) {
  uint32_t expected = Pack(from, kNothingHeld);
  return word_.compare_exchange_strong(expected, Pack(to, kNothingHeld));
}

void LinkStateWord::ResetToIdle() {
  uint32_t w = word_.load();
  while (StateOf(w) != LinkState::Closed &&
         !word_.compare_exchange_weak(w, Pack(LinkState::Idle, kNothingHeld))) {
  }
}

void LinkStateWord::ApplyPollOutcome(LinkState to, bool overFailed) {
  uint32_t w = word_.load();
  for (;;) {
    uint32_t next;
    switch (StateOf(w)) {
      case LinkState::Sending:
        next = Pack(LinkState::Sending, static_cast<uint32_t>(to));
        break;
      case LinkState::Failed:
        if (!overFailed) return;
        next = Pack(to, kNothingHeld);
        break;
      case LinkState::Idle:
      case LinkState::ProbeSent:
      case LinkState::SecondProbe:
        next = Pack(to, kNothingHeld);
        break;
      default:
        return;  // closed or reopened under us: the outcome belongs to nothing
    }
    if (word_.compare_exchange_weak(w, next)) return;
  }
}

void LinkStateWord::FinishSending() {
  uint32_t w = word_.load();
  while (StateOf(w) == LinkState::Sending) {
    const uint32_t held = HeldOf(w);
    const LinkState to = held == kNothingHeld ? LinkState::Idle : static_cast<LinkState>(held);
    if (word_.compare_exchange_weak(w, Pack(to, kNothingHeld))) return;
  }
}

}  // namespace vqx
