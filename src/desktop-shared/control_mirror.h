#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vqx::desktop {

// What a control holds, as the window logic reads it: an edit's text, a check box's
// state, a list's items and its selected row (-1 for none).
struct ControlState {
  std::string text;
  bool checked = false;
  std::vector<std::string> items;
  int selection = -1;
};

// A copy of the state of the main window's controls that any thread may read without
// waiting for the user-interface thread. The worker reads the form while it presents a
// reply; each such read carried to the user-interface thread and back cost it a wait of
// that thread's next turn, dozens per read of the unit.
//
// It always says what the control will hold once the changes queued for it so far have
// reached it: a change the program makes is entered here at once, on the calling
// thread, and carried to the widget later, in order. The user-interface thread tells
// when such a change has reached the widget (Applied) and when the widget changed by
// itself, the user's doing (Observed); once no change of the program is on its way, the
// copy is taken again from the widget, so that whatever the widget made of a change (a
// text cut to the edit's length) and the user's own edits are what the next read sees.
// A user's action that comes while a change of the program is still on its way is seen
// once that change has reached the widget, as if it had come just after the read.
//
// The controls are named before another thread starts (Track); their set never changes.
class ControlMirror {
 public:
  using Reader = std::function<ControlState()>;

  // User-interface thread, before any other thread uses the mirror.
  void Track(int id, Reader read);
  bool Tracks(int id) const { return controls_.count(id) != 0; }

  // Any thread. The state as it will be once the queued changes have been carried out.
  ControlState Read(int id) const;
  // Any thread: the program's change, entered now; returns what fn returns. The caller
  // then queues the same change for the widget and calls Applied after it.
  template <typename Fn>
  auto Change(int id, Fn fn) {
    std::lock_guard lock(mutex_);
    Entry& entry = controls_.at(id);
    ++entry.pending;
    return fn(entry.state);
  }
  // Any thread: a change that may turn out to be none (a list without a matching item):
  // fn returns whether it changed the state, and only then does the caller queue it.
  template <typename Fn>
  bool ChangeIf(int id, Fn fn) {
    std::lock_guard lock(mutex_);
    Entry& entry = controls_.at(id);
    const bool changed = fn(entry.state);
    if (changed) ++entry.pending;
    return changed;
  }

  // User-interface thread: a change entered here has reached the widget.
  void Applied(int id);
  // User-interface thread: the widget changed (the user, or the program through the
  // widget directly).
  void Observed(int id);

 private:
  struct Entry {
    Reader read;  // user-interface thread only
    ControlState state;
    int pending = 0;  // changes entered but not yet carried to the widget
  };
  mutable std::mutex mutex_;
  std::map<int, Entry> controls_;
};

}  // namespace vqx::desktop
