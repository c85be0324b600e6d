#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace vqx::desktop {

// Carries calls from the worker thread to the user-interface thread, in the order they
// were made. Qt-free: the front-end supplies the wake-up (a thread-safe nudge of its
// event loop) and drains the queue on its own thread.
//
// Three kinds of call:
//  - Call: runs on the owner thread and waits for it (a control read);
//  - Post: runs on the owner thread in order, without waiting (a control write);
//  - Append: text for the output window; consecutive appends to the same control are
//    joined into one call, so a unit that talks continuously costs one widget update
//    per drain instead of one per byte.
// On the owner thread itself Call and Post first run whatever was queued before them,
// then run at once, so the order of calls is kept for both threads.
class UiCallQueue {
 public:
  using AppendSink = std::function<void(int id, const std::string& text)>;

  // wake is called from any thread when a call is queued (the front-end's waker keeps
  // one wake-up pending at a time) and when output text reaches an empty queue, unless
  // such wake-ups are held.
  explicit UiCallQueue(std::function<void()> wake);

  // The thread that drains is the one that constructs the queue (the user-interface thread).
  bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }
  void SetAppendSink(AppendSink sink) { appendSink_ = std::move(sink); }

  void Call(const std::function<void()>& fn);
  void Post(std::function<void()> fn);
  // Text waiting for a slow window is kept up to this many bytes, the newest; the window
  // could show no more of it anyway.
  static constexpr size_t kAppendBacklogLimit = size_t{1} << 20;
  void Append(int id, std::string_view text);

  // Owner thread: runs the calls queued now and those queued while they run, at most
  // limit of them. Returns the number run; appended tells whether output text was among
  // them. Re-entrant: a call that spins a nested event loop may drain too. A limit keeps a
  // worker that queues faster than the window can show from holding the owner in one
  // drain for ever: what is left waits for the next one.
  size_t Drain(bool* appended = nullptr, size_t limit = SIZE_MAX);
  // Owner thread: how many bytes of output text the last Drain handed to the window.
  size_t LastDrainAppendedBytes() const { return lastDrainAppendedBytes_; }
  // While held, output text queues up without waking the owner, which then shows it in
  // one piece a moment later (its own timer); every other call still wakes at once.
  void HoldAppendWakes(bool hold) { appendsHeld_.store(hold); }
  // Owner thread: waits until something is queued or the time is up.
  void WaitForWork(std::chrono::milliseconds limit);
  size_t Pending() const;

  // How often another thread waited in Call, and for how long in all: what the worker
  // loses to the user-interface thread (the benches print it).
  struct WaitStats {
    uint64_t calls = 0;
    std::chrono::nanoseconds waited{0};
  };
  WaitStats CrossThreadWaits() const { return {waitedCalls_.load(), std::chrono::nanoseconds(waitedNs_.load())}; }

 private:
  struct Item {
    std::function<void()> fn;  // empty for an append
    int appendId = 0;
    std::string appendText;
    bool* done = nullptr;      // set when a waiting caller is to be released
  };
  void Push(Item item);
  // Owner thread: runs the calls queued up to now, not those queued while they run.
  void DrainQueuedBefore();

  std::function<void()> wake_;
  AppendSink appendSink_;
  const std::thread::id owner_;
  std::atomic<bool> appendsHeld_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  size_t lastDrainAppendedBytes_ = 0;  // owner thread only
  std::atomic<uint64_t> waitedCalls_{0};
  std::atomic<int64_t> waitedNs_{0};
};

}  // namespace vqx::desktop
