#include "window/headless_surface.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "window/control_ids.h"

namespace vqx {
namespace {

std::string Line(HeadlessSurface& s, int id, int line) {
  char buf[64];
  s.GetLine(id, line, buf, sizeof buf);
  return buf;
}

void Fill(HeadlessSurface& s, int id) {
  for (const char* item : InitialListItems(id)) s.AddItem(id, item);
}

TEST(HeadlessSurface, BuildsEveryControlWithAnIdFromTheTemplate) {
  HeadlessSurface s;
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    if (c.id != -1) {
      EXPECT_TRUE(s.HasControl(c.id)) << c.id;
    }
  }
  EXPECT_FALSE(s.HasControl(-1));
  EXPECT_EQ(s.Text(ids::kSend), "Send");
  EXPECT_TRUE(s.Visible(ids::kName));
  EXPECT_TRUE(s.Enabled(ids::kName));
}

TEST(HeadlessSurface, SelectItemByPrefixPicksFirstCaseInsensitiveMatchAndKeepsSelectionOtherwise) {
  HeadlessSurface s;
  Fill(s, ids::kBaudRate);
  EXPECT_TRUE(s.SelectItemByPrefix(ids::kBaudRate, "96"));
  EXPECT_EQ(s.Text(ids::kBaudRate), "9600");
  EXPECT_FALSE(s.SelectItemByPrefix(ids::kBaudRate, "6"));
  EXPECT_EQ(s.Text(ids::kBaudRate), "9600");

  Fill(s, ids::kQosDscp);
  EXPECT_TRUE(s.SelectItemByPrefix(ids::kQosDscp, "4"));
  EXPECT_EQ(s.Text(ids::kQosDscp), "4");  // not "40"

  Fill(s, ids::kCorSquelchType);
  EXPECT_TRUE(s.SelectItemByPrefix(ids::kCorSquelchType, "active h"));
  EXPECT_EQ(s.Selection(ids::kCorSquelchType), 1);
  EXPECT_TRUE(s.SelectItemByPrefix(ids::kCorSquelchType, ""));
  EXPECT_EQ(s.Selection(ids::kCorSquelchType), 0);

  char buf[4];
  EXPECT_EQ(s.GetText(ids::kCorSquelchType, buf, sizeof buf), 3u);  // cut like a Win32 control
  EXPECT_STREQ(buf, "Act");
}

TEST(HeadlessSurface, DropDownTextIsEmptyWithoutSelection) {
  HeadlessSurface s;
  Fill(s, ids::kParity);
  EXPECT_EQ(s.Text(ids::kParity), "");
  s.SetCurrentSelection(ids::kParity, 2);
  EXPECT_EQ(s.Text(ids::kParity), "Odd");
  s.SetCurrentSelection(ids::kParity, 7);
  EXPECT_EQ(s.CurrentSelection(ids::kParity), -1);
}

TEST(HeadlessSurface, LinesSplitAtCrLfCountingTheEmptyLastLine) {
  HeadlessSurface s;
  EXPECT_EQ(s.LineCount(ids::kOutputWindow), 1);
  s.SetText(ids::kOutputWindow, "a\r\nb\r\n");
  EXPECT_EQ(s.LineCount(ids::kOutputWindow), 3);
  EXPECT_EQ(Line(s, ids::kOutputWindow, 1), "b");
  EXPECT_EQ(Line(s, ids::kOutputWindow, 2), "");
  EXPECT_EQ(Line(s, ids::kOutputWindow, 3), "");
  s.SetText(ids::kOutputWindow, "one\rtwo\nthree");  // lone CR or LF is not a line end
  EXPECT_EQ(s.LineCount(ids::kOutputWindow), 1);
  // All lines at once are the same lines.
  EXPECT_EQ(s.GetLines(ids::kOutputWindow), std::vector<std::string>{"one\rtwo\nthree"});
  s.SetText(ids::kOutputWindow, "a\r\n\r\nb\r\n");
  EXPECT_EQ(s.GetLines(ids::kOutputWindow), (std::vector<std::string>{"a", "", "b", ""}));
  s.SetText(ids::kOutputWindow, "");
  EXPECT_EQ(s.GetLines(ids::kOutputWindow), std::vector<std::string>{""});
}

TEST(HeadlessSurface, AppendToOutputAddsAtTheEndAndClearsTheSelection) {
  HeadlessSurface s;
  s.SetText(ids::kOutputWindow, "OK\r\n");
  s.SelectAllText(ids::kOutputWindow);
  EXPECT_EQ(s.TextSelection(ids::kOutputWindow), std::make_pair(size_t{0}, size_t{4}));
  s.AppendToOutput(ids::kOutputWindow, "VER");
  EXPECT_EQ(s.Text(ids::kOutputWindow), "OK\r\nVER");
  EXPECT_EQ(s.TextSelection(ids::kOutputWindow), std::make_pair(size_t{0}, size_t{0}));
}

TEST(HeadlessSurface, DeleteItemAdjustsTheSelectionLikeAList) {
  HeadlessSurface s;
  for (const char* t : {"(All)", "a", "b", "c"}) s.AddItem(ids::kHistoryList, t);
  s.SetCurrentSelection(ids::kHistoryList, 2);
  EXPECT_EQ(s.DeleteItem(ids::kHistoryList, 0), 3);
  EXPECT_EQ(s.Selection(ids::kHistoryList), 1);  // still "b"
  EXPECT_EQ(s.DeleteItem(ids::kHistoryList, 2), 2);
  EXPECT_EQ(s.Selection(ids::kHistoryList), 1);
  EXPECT_EQ(s.DeleteItem(ids::kHistoryList, 1), 1);
  EXPECT_EQ(s.Selection(ids::kHistoryList), -1);
  EXPECT_EQ(s.DeleteItem(ids::kHistoryList, 1), -1);
  EXPECT_EQ(s.DeleteItem(ids::kHistoryList, -1), -1);
  EXPECT_EQ(s.Items(ids::kHistoryList), std::vector<std::string>{"a"});
}

TEST(HeadlessSurface, MessageBoxIsRecordedAndAnsweredByTheAnswerer) {
  HeadlessSurface s;
  EXPECT_EQ(s.ShowMessageBox(MessageOwner::None, "The serial port could not be opened", "VQX Setup Utility",
                             MessageIcon::Warning, MessageButtons::Ok),
            1);
  s.SetMessageBoxAnswerer([](const HeadlessSurface::MessageBoxRecord& r) { return r.owner == MessageOwner::Dialog ? 2 : 7; });
  EXPECT_EQ(s.ShowMessageBox(MessageOwner::Dialog, "x", "y", MessageIcon::Error, MessageButtons::Ok), 2);
  const auto boxes = s.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "The serial port could not be opened");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[1].owner, MessageOwner::Dialog);
  s.ClearMessageBoxes();
  EXPECT_TRUE(s.MessageBoxes().empty());
}

TEST(HeadlessSurface, CountersAndTimersTrackCalls) {
  HeadlessSurface s;
  s.Invalidate(true);
  s.Invalidate(false);
  s.Invalidate(false);
  s.UpdateNow();
  EXPECT_EQ(s.InvalidateCount(true), 1);
  EXPECT_EQ(s.InvalidateCount(false), 2);
  EXPECT_EQ(s.UpdateCount(), 1);
  s.StartTimer(ids::kRebootTimer, 1000);
  s.StartTimer(ids::kRebootTimer, 250);
  EXPECT_EQ(s.TimerPeriod(ids::kRebootTimer), 250u);
  s.KillTimer(ids::kRebootTimer);
  EXPECT_FALSE(s.TimerRunning(ids::kRebootTimer));
  EXPECT_EQ(s.TimerPeriod(ids::kRebootTimer), 0u);
}

TEST(HeadlessSurfaceDeathTest, UnknownControlIdIsAProgrammingError) {
  HeadlessSurface s;
  EXPECT_DEATH(s.SetText(4242, "x"), "cappwindow");
}

// An answerer that waits on another thread's surface calls must not deadlock, and
// concurrent writers must not race (meaningful under ThreadSanitizer).
TEST(HeadlessSurface, ConcurrentCallsFromTwoThreadsKeepEveryAppend) {
  HeadlessSurface s;
  s.SetMessageBoxAnswerer([](const HeadlessSurface::MessageBoxRecord&) {
    std::this_thread::yield();
    return 1;
  });
  constexpr int kRounds = 500;
  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) {
      s.AppendToOutput(ids::kOutputWindow, "w\r\n");
      s.AddItem(ids::kHistoryList, "w");
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    s.AppendToOutput(ids::kOutputWindow, "u\r\n");
    s.ShowMessageBox(MessageOwner::MainWindow, "m", "c", MessageIcon::None, MessageButtons::Ok);
    (void)s.LineCount(ids::kOutputWindow);
  }
  worker.join();
  EXPECT_EQ(s.LineCount(ids::kOutputWindow), 2 * kRounds + 1);
  EXPECT_EQ(s.ItemCount(ids::kHistoryList), kRounds);
  EXPECT_EQ(s.MessageBoxes().size(), static_cast<size_t>(kRounds));
}

}  // namespace
}  // namespace vqx
