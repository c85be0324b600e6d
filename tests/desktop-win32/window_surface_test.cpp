// The Win32 surface: the worker's calls carried out on the window thread, with the Qt
// surface's semantics, over the real controls of the main dialog.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_comm.h"
#include "output_text.h"
#include "test_dialog.h"
#include "ui_call_queue.h"
#include "ui_pump_win32.h"
#include "win32_window_surface.h"
#include "window/control_ids.h"
#include "window/dialog_template.h"

namespace vqx::win32 {
namespace {

using testing::PumpUntil;
using testing::TestDialog;

class WindowSurfaceTest : public ::testing::Test {
 protected:
  WindowSurfaceTest()
      : queue_([this] { pump_.Wake(); }),
        pump_(queue_),
        dialog_(MainDialogTemplate(), [this](UINT m, WPARAM w, LPARAM l) { return Handle(m, w, l); }),
        surface_(queue_, dialog_.Window()) {
    pump_.Attach(dialog_.Window());
    PrepareMainWindowControls(dialog_.Window());
    for (const char* item : InitialListItems(ids::kVocoder)) surface_.AddItem(ids::kVocoder, item);
    for (const char* item : {"1001", "1002", "2001"}) surface_.AddItem(ids::kHistoryList, item);
  }
  ~WindowSurfaceTest() override { pump_.Attach(nullptr); }

  bool Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == Win32UiPump::kWakeMessage) {
      pump_.OnWakeMessage();
      return true;
    }
    if (message == WM_TIMER && wParam == Win32UiPump::kAppendTimerId) {
      pump_.OnAppendTimer();
      return true;
    }
    if (message == WM_TIMER) {
      timerTicks_.push_back(static_cast<int>(wParam));
      return true;
    }
    if (message == WM_COMMAND && lParam != 0 && HIWORD(wParam) == EN_CHANGE && !surface_.InProgrammaticChange()) {
      userEdits_.push_back(LOWORD(wParam));
    }
    return false;
  }

  // Runs fn on a worker thread while this thread serves the window; true when it ended
  // within the limit.
  bool OnWorker(const std::function<void()>& fn, DWORD limitMs = kReplyTimeoutMs) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      fn();
      done.store(true);
    });
    const bool ended = PumpUntil([&] { return done.load(); }, limitMs);
    if (!ended) {
      // Keep serving so the worker can end, then fail.
      PumpUntil([&] { return done.load(); }, 60000);
    }
    worker.join();
    PumpUntil([&] { return queue_.Pending() == 0; }, 1000);
    return ended;
  }

  std::string Text(int id) {
    char buffer[8192];
    surface_.GetText(id, buffer, sizeof(buffer));
    return buffer;
  }

  std::string WholeText(int id) {
    const HWND control = dialog_.Control(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return std::string(text.begin(), text.end());
  }

  desktop::UiCallQueue queue_;
  Win32UiPump pump_;
  TestDialog dialog_;
  Win32WindowSurface surface_;
  std::vector<int> userEdits_;
  std::vector<int> timerTicks_;
};

TEST_F(WindowSurfaceTest, WorkerWritesAndReadsControlsThroughTheWindowThread) {
  std::string name, vocoder, cleared;
  int count = 0, selection = -2, outOfRange = 0, left = 0;
  bool found = false, notFound = true;
  ASSERT_TRUE(OnWorker([&] {
    surface_.SetText(ids::kName, "Tower \xE9");  // Latin-1 e acute
    name = Text(ids::kName);
    count = surface_.ItemCount(ids::kVocoder);
    found = surface_.SelectItemByPrefix(ids::kVocoder, "adpcm 2");
    vocoder = Text(ids::kVocoder);
    notFound = surface_.SelectItemByPrefix(ids::kVocoder, "MP3");
    selection = surface_.CurrentSelection(ids::kVocoder);
    surface_.SetCurrentSelection(ids::kVocoder, 99);
    cleared = Text(ids::kVocoder);
    outOfRange = surface_.DeleteItem(ids::kHistoryList, 3);
    left = surface_.DeleteItem(ids::kHistoryList, 0);
  }));
  EXPECT_EQ(name, "Tower \xE9");
  EXPECT_EQ(count, 5);
  EXPECT_TRUE(found);
  EXPECT_EQ(vocoder, "ADPCM 24Kbps");
  EXPECT_FALSE(notFound);
  EXPECT_EQ(selection, 2) << "a prefix that matches nothing keeps the selection";
  EXPECT_EQ(cleared, "") << "an index that does not exist clears the selection";
  EXPECT_EQ(outOfRange, -1);
  EXPECT_EQ(left, 2);
  wchar_t first[16] = {};
  SendMessageW(dialog_.Control(ids::kHistoryList), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
  EXPECT_STREQ(first, L"1002") << "items keep their order";
}

TEST_F(WindowSurfaceTest, ChecksEnablingVisibilityAndTimersReachTheControls) {
  bool checked = false;
  ASSERT_TRUE(OnWorker([&] {
    surface_.SetChecked(ids::kAllowTelnet, true);
    checked = surface_.IsChecked(ids::kAllowTelnet);
    surface_.EnableControl(ids::kVocoder, false);
    surface_.ShowControl(ids::kSend, false);
    surface_.StartTimer(ids::kRebootTimer, 10);
  }));
  EXPECT_TRUE(checked);
  EXPECT_FALSE(IsWindowEnabled(dialog_.Control(ids::kVocoder)));
  EXPECT_EQ(GetWindowLongW(dialog_.Control(ids::kSend), GWL_STYLE) & WS_VISIBLE, 0);
  ASSERT_TRUE(PumpUntil([&] { return !timerTicks_.empty(); }, kReplyTimeoutMs));
  EXPECT_EQ(timerTicks_.front(), ids::kRebootTimer);
  surface_.KillTimer(ids::kRebootTimer);
}

TEST_F(WindowSurfaceTest, OnlyTheUsersTypingCountsAsAnEdit) {
  ASSERT_TRUE(OnWorker([&] { surface_.SetText(ids::kIp1, "192"); }));
  surface_.SetText(ids::kIp2, "168");  // from the window thread itself
  EXPECT_TRUE(userEdits_.empty()) << "the program's own changes raise no user edit";
  SendMessageW(dialog_.Control(ids::kIp3), WM_CHAR, L'7', 1);
  ASSERT_EQ(userEdits_.size(), 1u);
  EXPECT_EQ(userEdits_.front(), ids::kIp3);
}

TEST_F(WindowSurfaceTest, OutputIsFoldedToScreenLinesJoinedAndKeptToTheScrollBack) {
  ASSERT_TRUE(OnWorker([&] {
    // The unit's reply ends in LF (then CR); the program's line starts and ends with CR LF;
    // any of it may arrive split at any byte.
    for (const char* piece : {"OK\n", "\r", "\r\nVE", "R\r\n", "1.3\n\r"}) surface_.AppendToOutput(ids::kOutputWindow, piece);
  }));
  EXPECT_EQ(Text(ids::kOutputWindow), "OK\r\nVER\r\n1.3\r\n");
  EXPECT_EQ(surface_.LineCount(ids::kOutputWindow), 4);
  char line[64];
  surface_.GetLine(ids::kOutputWindow, 1, line, sizeof(line));
  EXPECT_STREQ(line, "VER");

  // More lines than the scroll-back keeps: the oldest give way, whole lines, however long
  // they are, as in the Qt window (whose last, open block counts as a line too).
  ASSERT_TRUE(OnWorker([&] {
    for (int i = 0; i < desktop::kOutputLines + 100; ++i) {
      surface_.AppendToOutput(ids::kOutputWindow, ("l" + std::to_string(i % 10) + "\n").c_str());
    }
  }));
  const HWND output = dialog_.Control(ids::kOutputWindow);
  EXPECT_EQ(static_cast<int>(SendMessageW(output, EM_GETLINECOUNT, 0, 0)), desktop::kOutputLines);
  EXPECT_EQ(Text(ids::kOutputWindow).find("OK\r\n"), std::string::npos) << "the oldest lines are gone";
  // Lines as long as a terminal's, at a pace the window keeps up with (a read waits for
  // what was queued before it): all of the scroll-back's lines stay.
  constexpr int kLong = desktop::kOutputLines + 20;
  ASSERT_TRUE(OnWorker([&] {
    for (int i = 0; i < kLong; ++i) {
      surface_.AppendToOutput(ids::kOutputWindow, ("line " + std::to_string(i) + " " + std::string(60, '-') + "\n").c_str());
      if (i % 500 == 499) (void)surface_.IsChecked(ids::kAllowTelnet);
    }
  }));
  EXPECT_EQ(static_cast<int>(SendMessageW(output, EM_GETLINECOUNT, 0, 0)), desktop::kOutputLines);
  const std::string all = WholeText(ids::kOutputWindow);
  EXPECT_EQ(all.substr(0, 9), "line 21 -") << "the window starts at a whole line, the newest kept";
  EXPECT_NE(all.find("line " + std::to_string(kLong - 1) + " -"), std::string::npos);
  // A line without breaks breaks at the column limit, and of those lines the window keeps
  // the characters of the scroll-back, from a whole line on.
  ASSERT_TRUE(OnWorker([&] {
    const std::string chunk(4000, 'x');
    for (int i = 0; i < 150; ++i) {
      surface_.AppendToOutput(ids::kOutputWindow, chunk.c_str());
      if (i % 10 == 9) (void)surface_.IsChecked(ids::kAllowTelnet);
    }
  }));
  const std::string flooded = WholeText(ids::kOutputWindow);
  const int floodedLines = static_cast<int>(SendMessageW(output, EM_GETLINECOUNT, 0, 0));
  EXPECT_EQ(flooded.substr(0, desktop::kOutputColumns + 2), std::string(desktop::kOutputColumns, 'x') + "\r\n");
  EXPECT_LE(flooded.size(), desktop::kOutputCharacters + static_cast<size_t>(floodedLines));
  EXPECT_GT(flooded.size(), desktop::kOutputCharacters - 2 * (desktop::kOutputColumns + 2));

  // Setting the text replaces it exactly, line ends and all.
  surface_.SetText(ids::kReportPane, "Name: A\r\nVocoder: B\r\n");
  EXPECT_EQ(Text(ids::kReportPane), "Name: A\r\nVocoder: B\r\n");
  EXPECT_EQ(surface_.LineCount(ids::kReportPane), 3);
  EXPECT_EQ(surface_.GetLines(ids::kReportPane), (std::vector<std::string>{"Name: A", "Vocoder: B", ""}));
}

// More text in one update than the window lays out quickly enough (a flood no serial line
// delivers): the window shows the newest whole lines within kFloodShownCharacters instead
// of taking it all, and fills up again from there with the next updates.
TEST_F(WindowSurfaceTest, AFloodedUpdateShowsOnlyItsNewestWholeLines) {
  const HWND output = dialog_.Control(ids::kOutputWindow);
  std::string flood;
  int line = 0;
  while (flood.size() < 2 * kFloodShownCharacters) flood += "f" + std::to_string(line++) + std::string(90, '.') + "\n";
  ASSERT_TRUE(OnWorker([&] {
    surface_.AppendToOutput(ids::kOutputWindow, "before\n");
    (void)surface_.IsChecked(ids::kAllowTelnet);  // shown in an update of its own
    surface_.AppendToOutput(ids::kOutputWindow, flood.c_str());
  }));
  const std::string shown = WholeText(ids::kOutputWindow);
  const int shownLines = static_cast<int>(SendMessageW(output, EM_GETLINECOUNT, 0, 0));
  EXPECT_EQ(shown.find("before"), std::string::npos);
  EXPECT_LE(shown.size(), kFloodShownCharacters + static_cast<size_t>(shownLines));
  EXPECT_GT(shown.size(), kFloodShownCharacters - 200) << "as much of the flood as the window takes";
  EXPECT_EQ(shown.substr(0, 1), "f") << "a whole line first";
  const std::string last = "f" + std::to_string(line - 1) + std::string(90, '.') + "\r\n";
  EXPECT_EQ(shown.substr(shown.size() - last.size()), last);

  // Updates of a serial line's size are added whole again.
  ASSERT_TRUE(OnWorker([&] { surface_.AppendToOutput(ids::kOutputWindow, "after\n"); }));
  const std::string after = WholeText(ids::kOutputWindow);
  EXPECT_EQ(after, shown + "after\r\n");
}

TEST_F(WindowSurfaceTest, AWorkerAppendingWithoutPauseNeverKeepsTheWindowFromAnswering) {
  // Output queued as fast as a worker can queue it, far more than a unit talking without
  // pause at 115200 baud (11520 bytes a second) can send, for twice the unit's reply
  // time-out. Meanwhile another thread reads a control every 50 ms, which needs the
  // window thread, and the window's own timer must keep ticking: neither may wait as long
  // as a reply time-out, or the window would look frozen.
  constexpr DWORD kFloodMs = 2 * kReplyTimeoutMs;
  std::atomic<bool> stop{false};
  std::atomic<long long> slowestMs{0};
  std::atomic<int> reads{0};
  std::atomic<bool> readerDone{false};
  std::thread flood([&] {
    const std::string chunk(64, 'x');
    while (!stop.load()) {
      surface_.AppendToOutput(ids::kOutputWindow, chunk.c_str());
      std::this_thread::yield();
    }
  });
  std::thread reader([&] {
    while (!stop.load()) {
      const auto start = std::chrono::steady_clock::now();
      (void)surface_.IsChecked(ids::kAllowTelnet);
      const auto took =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      slowestMs.store(std::max(slowestMs.load(), static_cast<long long>(took)));
      reads.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    readerDone.store(true);
  });
  // The window's own messages get through as well: a timer of its own keeps ticking.
  constexpr UINT_PTR kOwnTimer = 77;
  SetTimer(dialog_.Window(), kOwnTimer, 50, nullptr);
  timerTicks_.clear();
  std::vector<ULONGLONG> tickTimes;
  const ULONGLONG started = GetTickCount64();
  PumpUntil(
      [&] {
        while (tickTimes.size() < timerTicks_.size()) tickTimes.push_back(GetTickCount64());
        return false;
      },
      kFloodMs);
  const ULONGLONG ended = GetTickCount64();
  ::KillTimer(dialog_.Window(), kOwnTimer);
  stop.store(true);
  ULONGLONG slowestTick = 0, previous = started;
  for (const ULONGLONG t : tickTimes) {
    slowestTick = std::max(slowestTick, t - previous);
    previous = t;
  }
  slowestTick = std::max(slowestTick, ended - previous);
  EXPECT_LT(slowestTick, ULONGLONG{kReplyTimeoutMs}) << tickTimes.size() << " ticks";
  // Serve the last read, then let both threads go.
  PumpUntil([&] { return readerDone.load(); }, 60000);
  flood.join();
  reader.join();
  PumpUntil([&] { return queue_.Pending() == 0; }, kReplyTimeoutMs);
  EXPECT_GE(reads.load(), 5) << "reads were answered throughout";
  EXPECT_LT(slowestMs.load(), static_cast<long long>(kReplyTimeoutMs));
  std::printf("slowest read %lld ms, slowest timer tick %llu ms\n", slowestMs.load(), slowestTick);
  // The flood was joined into few window updates; the window shows its newest text.
  const HWND output = dialog_.Control(ids::kOutputWindow);
  EXPECT_LE(static_cast<int>(SendMessageW(output, EM_GETLINECOUNT, 0, 0)), desktop::kOutputLines);
}

}  // namespace
}  // namespace vqx::win32
