// The copy of the controls' state that the worker reads without waiting for the
// user-interface thread.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "control_mirror.h"

namespace vqx::desktop {
namespace {

// A widget as the user-interface thread sees it.
struct FakeEdit {
  ControlState shown;
};

TEST(ControlMirrorTest, TheProgramsChangeIsSeenAtOnceAndTheUsersEditOnceNothingIsOnItsWay) {
  FakeEdit edit;
  edit.shown.text = "old";
  ControlMirror mirror;
  mirror.Track(7, [&] { return edit.shown; });
  EXPECT_EQ(mirror.Read(7).text, "old");

  // The worker sets a text: its next read sees it before the widget has it.
  std::thread worker([&] { mirror.Change(7, [](ControlState& s) { s.text = "set by the program"; }); });
  worker.join();
  EXPECT_EQ(mirror.Read(7).text, "set by the program");

  // The user types before the change arrives: the change will overwrite it, so the
  // mirror keeps the change's outcome...
  edit.shown.text = "typed";
  mirror.Observed(7);
  EXPECT_EQ(mirror.Read(7).text, "set by the program");
  // ... and, once it has arrived, whatever the widget made of it (cut to its length).
  edit.shown.text = "set by the";
  mirror.Applied(7);
  EXPECT_EQ(mirror.Read(7).text, "set by the");

  // Nothing on its way: the user's edit is what the worker reads next.
  edit.shown.text = "the user's latest";
  mirror.Observed(7);
  EXPECT_EQ(mirror.Read(7).text, "the user's latest");
}

TEST(ControlMirrorTest, ASelectionThatFindsNothingQueuesNothingAndKeepsFollowingTheUser) {
  FakeEdit list;
  list.shown.items = {"9600", "19200"};
  list.shown.selection = 0;
  ControlMirror mirror;
  mirror.Track(3, [&] { return list.shown; });

  EXPECT_FALSE(mirror.ChangeIf(3, [](ControlState&) { return false; }));
  list.shown.selection = 1;  // the user picks another item
  mirror.Observed(3);
  EXPECT_EQ(mirror.Read(3).selection, 1) << "a change that was none must not hold the user's back";

  // Two changes on their way: the first one's arrival does not yet read the widget.
  EXPECT_TRUE(mirror.ChangeIf(3, [](ControlState& s) { s.selection = 0; return true; }));
  mirror.Change(3, [](ControlState& s) { s.items.push_back("38400"); });
  list.shown.selection = 0;
  mirror.Applied(3);
  EXPECT_EQ(mirror.Read(3).items.size(), 3u) << "the second change is still on its way";
  list.shown.items.push_back("38400");
  mirror.Applied(3);
  EXPECT_EQ(mirror.Read(3).items.size(), 3u);
  EXPECT_EQ(mirror.Read(3).selection, 0);
}

}  // namespace
}  // namespace vqx::desktop
