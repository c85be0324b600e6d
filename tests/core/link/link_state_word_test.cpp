#include "link/link_state_word.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vqx {
namespace {

TEST(LinkStateWord, OutcomeDuringASendIsHeldAndHandedOverAtItsEnd) {
  LinkStateWord w;
  w.Store(LinkState::Idle);
  ASSERT_TRUE(w.TryMove(LinkState::Idle, LinkState::Sending));
  w.ApplyPollOutcome(LinkState::ReplyReady);
  EXPECT_EQ(w.Load(), LinkState::Sending);
  EXPECT_TRUE(w.HoldsOutcome());
  EXPECT_FALSE(w.TryMove(LinkState::Sending, LinkState::Idle));  // held outcome blocks plain moves
  w.FinishSending();
  EXPECT_EQ(w.Load(), LinkState::ReplyReady);
  EXPECT_FALSE(w.HoldsOutcome());
}

TEST(LinkStateWord, CloseDuringASendWins) {
  LinkStateWord w;
  w.Store(LinkState::Idle);
  ASSERT_TRUE(w.TryMove(LinkState::Idle, LinkState::Sending));
  w.Store(LinkState::Closed);
  w.FinishSending();
  EXPECT_EQ(w.Load(), LinkState::Closed);
  w.ApplyPollOutcome(LinkState::ReplyReady);
  EXPECT_EQ(w.Load(), LinkState::Closed);
  w.ResetToIdle();
  EXPECT_EQ(w.Load(), LinkState::Closed);
}

TEST(LinkStateWord, FailureIsReplacedOnlyWhenAskedTo) {
  LinkStateWord w;
  w.Store(LinkState::Failed);
  w.ApplyPollOutcome(LinkState::ReplyReady);
  EXPECT_EQ(w.Load(), LinkState::Failed);
  w.ApplyPollOutcome(LinkState::ReplyReady, /*overFailed=*/true);
  EXPECT_EQ(w.Load(), LinkState::ReplyReady);
}

TEST(LinkStateWord, TwoSendersNeverHoldSendingTogether) {
  LinkStateWord w;
  w.Store(LinkState::Idle);
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  auto sender = [&] {
    for (int i = 0; i < 20000; ++i) {
      if (!w.TryMove(LinkState::Idle, LinkState::Sending)) continue;
      if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
      inside.fetch_sub(1);
      w.FinishSending();
    }
  };
  std::thread a(sender);
  std::thread b(sender);
  a.join();
  b.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(w.Load(), LinkState::Idle);
}

}  // namespace
}  // namespace vqx
