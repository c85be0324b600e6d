#include "control_mirror.h"

#include <utility>

namespace vqx::desktop {

void ControlMirror::Track(int id, Reader read) {
  Entry entry;
  entry.state = read();
  entry.read = std::move(read);
  std::lock_guard lock(mutex_);
  controls_[id] = std::move(entry);
}

ControlState ControlMirror::Read(int id) const {
  std::lock_guard lock(mutex_);
  return controls_.at(id).state;
}

void ControlMirror::Applied(int id) {
  const auto it = controls_.find(id);
  if (it == controls_.end()) return;
  // Read from the widget outside the lock: the widget is this thread's alone.
  ControlState actual = it->second.read();
  std::lock_guard lock(mutex_);
  Entry& entry = it->second;
  if (entry.pending > 0) --entry.pending;
  if (entry.pending == 0) entry.state = std::move(actual);
}

void ControlMirror::Observed(int id) {
  const auto it = controls_.find(id);
  if (it == controls_.end()) return;
  ControlState actual = it->second.read();
  std::lock_guard lock(mutex_);
  // While a change of the program is on its way, the copy holds its outcome; the widget
  // is read again once it has arrived.
  if (it->second.pending == 0) it->second.state = std::move(actual);
}

}  // namespace vqx::desktop
