// The hand-over of the worker's window calls to the user-interface thread.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ui_call_queue.h"

namespace vqx::desktop {
namespace {

using ::testing::ElementsAre;

struct Recorder {
  std::vector<std::string> events;
  std::atomic<int> wakes{0};
  UiCallQueue queue{[this] { ++wakes; }};
  Recorder() {
    queue.SetAppendSink([this](int id, const std::string& text) {
      events.push_back("append " + std::to_string(id) + " " + text);
    });
  }
};

TEST(UiCallQueueTest, CallsFromAnotherThreadRunInOrderAndAppendsToOneWindowAreJoined) {
  Recorder r;
  std::thread worker([&] {
    r.queue.Post([&] { r.events.push_back("set name"); });
    for (const char c : std::string("OK\n\r")) r.queue.Append(1008, std::string(1, c));
    r.queue.Post([&] { r.events.push_back("invalidate"); });
    r.queue.Append(1008, "N");
    r.queue.Append(1145, "x");
    r.queue.Append(1008, "A");
  });
  worker.join();
  EXPECT_EQ(r.wakes.load(), 2) << "the calls wake; text behind them does not";
  EXPECT_EQ(r.queue.Drain(), 6u);
  EXPECT_THAT(r.events, ElementsAre("set name", "append 1008 OK\n\r", "invalidate", "append 1008 N", "append 1145 x",
                                    "append 1008 A"));
}

TEST(UiCallQueueTest, ADrainWithALimitLeavesTheRestInOrderForTheNextDrain) {
  Recorder r;
  std::thread worker([&] {
    r.queue.Post([&] { r.events.push_back("first"); });
    r.queue.Append(1008, "text");
    r.queue.Post([&] { r.events.push_back("last"); });
  });
  worker.join();
  bool appended = true;
  EXPECT_EQ(r.queue.Drain(&appended, 1), 1u);
  EXPECT_FALSE(appended);
  EXPECT_EQ(r.queue.Pending(), 2u);
  EXPECT_EQ(r.queue.Drain(&appended, 1), 1u);
  EXPECT_TRUE(appended);
  EXPECT_EQ(r.queue.Drain(), 1u);
  EXPECT_THAT(r.events, ElementsAre("first", "append 1008 text", "last"));
}

TEST(UiCallQueueTest, HeldTextQueuesWithoutWakingWhileOtherCallsStillWakeAtOnce) {
  Recorder r;
  r.queue.Append(1008, "a");
  EXPECT_EQ(r.wakes.load(), 1) << "text reaching an empty queue wakes";
  bool appended = false;
  r.queue.Drain(&appended);
  EXPECT_TRUE(appended);

  r.queue.HoldAppendWakes(true);
  std::thread([&] {
    for (const char c : std::string("bcd")) r.queue.Append(1008, std::string(1, c));
  }).join();
  EXPECT_EQ(r.wakes.load(), 1) << "held text waits for the owner's timer";
  std::thread([&] { r.queue.Post([&] { r.events.push_back("checked"); }); }).join();
  EXPECT_EQ(r.wakes.load(), 2) << "a control write is never held back";
  r.queue.Drain(&appended);
  EXPECT_TRUE(appended);
  EXPECT_THAT(r.events, ElementsAre("append 1008 a", "append 1008 bcd", "checked"));

  r.queue.Drain(&appended);
  EXPECT_FALSE(appended);
  r.queue.HoldAppendWakes(false);
  r.queue.Append(1008, "e");
  EXPECT_EQ(r.wakes.load(), 3);
}

TEST(UiCallQueueTest, ABlockingCallWaitsForTheOwnerAndSeesEverythingPostedBeforeIt) {
  Recorder r;
  int value = 0;
  std::atomic<bool> returned{false};
  int seen = -1;
  std::thread worker([&] {
    r.queue.Post([&] { value = 7; });
    r.queue.Call([&] { seen = value; });
    returned = true;
  });
  while (r.queue.Pending() < 2) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned.load()) << "the read waits for the user-interface thread";
  while (!returned.load()) {
    r.queue.Drain();
    r.queue.WaitForWork(std::chrono::milliseconds(1));
  }
  worker.join();
  EXPECT_EQ(seen, 7);
}

TEST(UiCallQueueTest, OnTheOwnerThreadACallFirstRunsWhatTheWorkerQueued) {
  Recorder r;
  std::thread worker([&] {
    r.queue.Post([&] { r.events.push_back("worker"); });
    r.queue.Append(1008, "x");
  });
  worker.join();
  r.queue.Call([&] { r.events.push_back("owner"); });
  EXPECT_THAT(r.events, ElementsAre("worker", "append 1008 x", "owner"));
  EXPECT_EQ(r.queue.Pending(), 0u);
}

// A unit that talks without pause queues text again while the window shows the last of
// it. A control write or read of the user-interface thread (a view switch is a run of
// them) must not keep showing that text for as long as the unit talks.
TEST(UiCallQueueTest, OnTheOwnerThreadACallRunsOnlyWhatWasQueuedBeforeItDuringAFlood) {
  Recorder r;
  int shown = 0;
  r.queue.SetAppendSink([&](int id, const std::string&) {
    ++shown;
    if (shown < 1000) r.queue.Append(id, "more");  // the worker, while the window is busy
  });
  r.queue.Append(1008, "flood");
  r.queue.Post([&] { r.events.push_back("show terminal"); });
  EXPECT_EQ(shown, 1);
  r.queue.Call([&] { r.events.push_back("read"); });
  EXPECT_EQ(shown, 2);
  EXPECT_THAT(r.events, ElementsAre("show terminal", "read"));
  EXPECT_EQ(r.queue.Pending(), 1u) << "the newest text waits for the next drain";
}

TEST(UiCallQueueTest, ACallThatDrainsAgainFromInsideKeepsTheRestInOrder) {
  // A message box runs a nested event loop, which drains the queue again.
  Recorder r;
  std::thread worker([&] {
    r.queue.Post([&] {
      r.events.push_back("box opens");
      r.queue.Drain();
      r.events.push_back("box closes");
    });
    r.queue.Post([&] { r.events.push_back("after"); });
  });
  worker.join();
  r.queue.Drain();
  EXPECT_THAT(r.events, ElementsAre("box opens", "after", "box closes"));
}

TEST(UiCallQueueTest, ManyWorkersBlockingAndPostingAreAllServed) {
  Recorder r;
  std::atomic<int> done{0};
  int counter = 0;  // touched on the owner thread only
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        r.queue.Post([&] { ++counter; });
        r.queue.Call([&] { ++counter; });
        r.queue.Append(1008, "z");
      }
      ++done;
    });
  }
  while (done.load() < 4) {
    r.queue.Drain();
    r.queue.WaitForWork(std::chrono::milliseconds(1));
  }
  for (auto& t : workers) t.join();
  r.queue.Drain();
  EXPECT_EQ(counter, 1600);
  size_t appended = 0;
  for (const auto& e : r.events) appended += e.size() - std::string("append 1008 ").size();
  EXPECT_EQ(appended, 800u) << "joined appends lose no character";
}

// A window that cannot keep up with a unit that never stops talking holds the newest
// text, no more than the limit, instead of growing without bound.
TEST(UiCallQueueTest, OutputWaitingForASlowWindowKeepsOnlyTheNewestBytes) {
  UiCallQueue queue([] {});
  std::string shown;
  queue.SetAppendSink([&](int, const std::string& text) { shown += text; });
  std::thread worker([&] {
    const std::string chunk(1000, 'x');
    for (size_t sent = 0; sent < 3 * UiCallQueue::kAppendBacklogLimit; sent += chunk.size()) queue.Append(7, chunk);
    queue.Append(7, "END");
  });
  worker.join();
  queue.Drain();
  EXPECT_EQ(shown.size(), UiCallQueue::kAppendBacklogLimit);
  EXPECT_EQ(shown.substr(shown.size() - 4), "xEND");
  // What the pump uses to tell a flood from a few replies.
  EXPECT_EQ(queue.LastDrainAppendedBytes(), UiCallQueue::kAppendBacklogLimit);
  queue.Post([] {});
  queue.Drain();
  EXPECT_EQ(queue.LastDrainAppendedBytes(), 0u);
}

}  // namespace
}  // namespace vqx::desktop
