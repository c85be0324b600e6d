// The worker reads the form while it presents a reply: those reads must not wait for the
// user-interface thread, yet must see what the user last did and what the program itself
// has queued for the widgets.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QWidget>

#include "qt_window_surface.h"
#include "ui_call_queue.h"

namespace vqx::desktop {
namespace {

constexpr int kEdit = 1;
constexpr int kList = 2;
constexpr int kBox = 3;
constexpr int kHistory = 4;

struct Form {
  QWidget window;
  // The program's edits have their lengths before the surface is made.
  QLineEdit* edit = [this] {
    auto* e = new QLineEdit(&window);
    e->setMaxLength(5);
    return e;
  }();
  QComboBox* list = new QComboBox(&window);
  QCheckBox* box = new QCheckBox(&window);
  QListWidget* history = new QListWidget(&window);
  UiCallQueue queue{[] {}};
  QtWindowSurface surface{queue, &window, {{kEdit, edit}, {kList, list}, {kBox, box}, {kHistory, history}}};
};

std::string TextOf(IWindowSurface& surface, int id) {
  char text[64];
  surface.GetText(id, text, sizeof text);
  return text;
}

// Runs fn on another thread while this one serves no call (as when the window is busy);
// true when fn had to wait for this thread.
template <typename Fn>
bool WaitedForTheWindow(UiCallQueue& queue, Fn fn) {
  auto done = std::async(std::launch::async, fn);
  // The unit's reply time-out: far beyond any scheduling delay on a loaded machine.
  if (done.wait_for(std::chrono::seconds(3)) == std::future_status::ready) return false;
  while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) queue.Drain();
  return true;
}

TEST(SurfaceReadsTest, TheWorkerReadsTheFormWithoutWaitingAndSeesTheUsersLatestEdit) {
  Form form;
  form.list->addItems({"9600", "19200", "115200"});
  form.list->setCurrentIndex(-1);

  // The user's doing, on this thread.
  QTest::keyClicks(form.edit, "abc");
  form.box->click();
  form.list->setCurrentIndex(2);

  std::string typed, selected, found, cut;
  bool checked = false, matched = false, missed = true;
  int count = 0;
  EXPECT_FALSE(WaitedForTheWindow(form.queue, [&] {
    typed = TextOf(form.surface, kEdit);
    checked = form.surface.IsChecked(kBox);
    selected = TextOf(form.surface, kList);
    // The program's own changes are seen by its next reads, before the widgets have them.
    matched = form.surface.SelectItemByPrefix(kList, "19");
    missed = form.surface.SelectItemByPrefix(kList, "57");
    found = TextOf(form.surface, kList);
    form.surface.SetText(kEdit, "longer");
    cut = TextOf(form.surface, kEdit);
    form.surface.AddItem(kList, "230400");
    count = form.surface.ItemCount(kList);
  })) << "a read of the form waited for the user-interface thread";
  EXPECT_EQ(typed, "abc");
  EXPECT_TRUE(checked);
  EXPECT_EQ(selected, "115200");
  EXPECT_TRUE(matched);
  EXPECT_FALSE(missed);
  EXPECT_EQ(found, "19200") << "the failed search leaves the selection";
  EXPECT_EQ(cut, "longe") << "as the edit cuts a text to its length";
  EXPECT_EQ(count, 4);

  // The widgets get the same changes, in order, when this thread serves them.
  form.queue.Drain();
  EXPECT_EQ(form.list->currentText(), "19200");
  EXPECT_EQ(form.list->count(), 4);
  EXPECT_EQ(form.edit->text(), "longe");

  // A change made on the widget behind the surface's back (a dialog filling a list) and
  // the user's next edit are what the worker reads next.
  form.history->addItem("(All)");
  form.history->addItem("first");
  form.history->setCurrentRow(1);
  form.history->item(1)->setSelected(true);
  form.edit->clear();
  QTest::keyClicks(form.edit, "xy");
  form.box->click();
  int rows = 0, row = -2;
  EXPECT_FALSE(WaitedForTheWindow(form.queue, [&] {
    rows = form.surface.ItemCount(kHistory);
    row = form.surface.CurrentSelection(kHistory);
    typed = TextOf(form.surface, kEdit);
    checked = form.surface.IsChecked(kBox);
  }));
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(typed, "xy");
  EXPECT_FALSE(checked);
}

// A user's click that comes while the program's own change to the same box is on its way
// is overwritten by that change, as before; the worker's read says what the box will show.
TEST(SurfaceReadsTest, TheProgramsQueuedChangeWinsOverAClickBeforeItAndTheReadSaysSo) {
  Form form;
  bool before = true, after = false;
  EXPECT_FALSE(WaitedForTheWindow(form.queue, [&] { form.surface.SetChecked(kBox, false); }));
  form.box->click();  // the user, before the queued change arrives
  EXPECT_FALSE(WaitedForTheWindow(form.queue, [&] { before = form.surface.IsChecked(kBox); }));
  EXPECT_FALSE(before);
  form.queue.Drain();
  EXPECT_FALSE(form.box->isChecked());
  form.box->click();
  EXPECT_FALSE(WaitedForTheWindow(form.queue, [&] { after = form.surface.IsChecked(kBox); }));
  EXPECT_TRUE(after);
}

}  // namespace
}  // namespace vqx::desktop
