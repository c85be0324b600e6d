#pragma once

#include <atomic>
#include <cstdint>

#include "link/link_state.h"

namespace vqx {

// The link state shared by the worker and user-interface threads, together with an
// outcome held back while a send is in progress. One atomic word, so the move from
// Idle to Sending is a single test-and-set and a reply recognised during a send is
// handed over when the send ends instead of being overwritten.
class LinkStateWord {
 public:
  LinkStateWord() = default;

  LinkState Load() const { return StateOf(word_.load()); }
  // A reply or failure is being held for the end of the current send.
  bool HoldsOutcome() const { return HeldOf(word_.load()) != kNothingHeld; }

  // Unconditional: Open, Close, construction. Drops anything held.
  void Store(LinkState state) { word_.store(Pack(state, kNothingHeld)); }
  // Moves only from the given state with nothing held; false changes nothing.
  bool TryMove(LinkState from, LinkState to);
  // Any state but Closed becomes Idle.
  void ResetToIdle();
  // An outcome of Poll (a recognised line, a time-out, a lost port): applied at once in
  // the reading states, held while Sending, dropped when the link was closed meanwhile.
  // overFailed: the same Poll call timed the link out just before; a line completed by
  // the byte it still reads replaces that failure.
  void ApplyPollOutcome(LinkState to, bool overFailed = false);
  // The sender is done: the held outcome, or Idle. No effect unless still Sending
  // (a Close or Open during the write wins).
  void FinishSending();

 private:
  static constexpr uint32_t kNothingHeld = 0xFF;
  static constexpr uint32_t Pack(LinkState s, uint32_t held) {
    return static_cast<uint32_t>(s) | (held << 8);
  }
  static constexpr LinkState StateOf(uint32_t w) { return static_cast<LinkState>(w & 0xFF); }
  static constexpr uint32_t HeldOf(uint32_t w) { return w >> 8; }

  std::atomic<uint32_t> word_{Pack(LinkState::Closed, kNothingHeld)};
};

}  // namespace vqx
