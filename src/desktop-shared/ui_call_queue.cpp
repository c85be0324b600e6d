#include "ui_call_queue.h"

#include <chrono>
#include <utility>

namespace vqx::desktop {

UiCallQueue::UiCallQueue(std::function<void()> wake)
    : wake_(std::move(wake)), owner_(std::this_thread::get_id()) {}

void UiCallQueue::Push(Item item) {
  {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
  }
  changed_.notify_all();
  // Always: the queue may hold output text whose wake-up is being held back.
  if (wake_) wake_();
}

void UiCallQueue::Call(const std::function<void()>& fn) {
  if (OnOwnerThread()) {
    DrainQueuedBefore();
    fn();
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  bool done = false;
  Item item;
  item.fn = fn;
  item.done = &done;
  Push(std::move(item));
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return done; });
  lock.unlock();
  waitedCalls_.fetch_add(1);
  waitedNs_.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
}

void UiCallQueue::Post(std::function<void()> fn) {
  if (OnOwnerThread()) {
    DrainQueuedBefore();
    fn();
    return;
  }
  Item item;
  item.fn = std::move(fn);
  Push(std::move(item));
}

void UiCallQueue::Append(int id, std::string_view text) {
  if (text.empty()) return;
  bool wasEmpty;
  {
    std::lock_guard lock(mutex_);
    wasEmpty = items_.empty();
    if (!wasEmpty && !items_.back().fn && items_.back().appendId == id) {
      std::string& pending = items_.back().appendText;
      pending.append(text);
      if (pending.size() > kAppendBacklogLimit) pending.erase(0, pending.size() - kAppendBacklogLimit);
      return;
    }
    Item item;
    item.appendId = id;
    item.appendText.assign(text);
    items_.push_back(std::move(item));
  }
  changed_.notify_all();
  if (wasEmpty && !appendsHeld_.load() && wake_) wake_();
}

void UiCallQueue::DrainQueuedBefore() {
  // Only what was queued before this call: a unit talking without pause keeps queuing text
  // while the window shows the last of it, and a drain that also took all of that ended
  // only when the unit fell silent, with the window frozen that long (a view switch
  // during a flood is a run of such calls).
  size_t queued;
  {
    std::lock_guard lock(mutex_);
    queued = items_.size();
  }
  Drain(nullptr, queued);
}

size_t UiCallQueue::Drain(bool* appended, size_t limit) {
  size_t run = 0;
  if (appended) *appended = false;
  size_t appendedBytes = 0;
  for (;;) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      if (items_.empty() || run == limit) {
        lastDrainAppendedBytes_ = appendedBytes;
        return run;
      }
      item = std::move(items_.front());
      items_.pop_front();
    }
    if (item.fn) {
      item.fn();
    } else {
      if (appendSink_) appendSink_(item.appendId, item.appendText);
      appendedBytes += item.appendText.size();
      if (appended) *appended = true;
    }
    ++run;
    if (item.done) {
      {
        std::lock_guard lock(mutex_);
        *item.done = true;
      }
      changed_.notify_all();
    }
  }
}

void UiCallQueue::WaitForWork(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, limit, [&] { return !items_.empty(); });
}

size_t UiCallQueue::Pending() const {
  std::lock_guard lock(mutex_);
  return items_.size();
}

}  // namespace vqx::desktop
