// The output window against a unit that talks without pause at 115200 baud.
//
// A worker thread hands the window 115,200 characters (ten seconds of the line) one at a
// time, as the link does, as fast as it can. Measured: how long until the window shows
// them all, and the user-interface thread's CPU time. Baseline in the same run: one
// cross-thread call per character (the window updated per byte) instead of the joined
// appends of QtWindowSurface.
//
// Run: QT_QPA_PLATFORM=offscreen build/default/bench/output_window_bench

#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include "output_text.h"
#include "qt_window_surface.h"
#include "ui_call_queue.h"
#include "ui_pump.h"

namespace {

using vqx::desktop::LineBreakFolder;
using vqx::desktop::QtWindowSurface;
using vqx::desktop::UiCallQueue;
using vqx::desktop::UiPump;

constexpr int kOutputId = 1008;
constexpr size_t kCharacters = 115200;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A reply-like stream: lines of 40 characters ended LF CR.
char CharacterAt(size_t i) {
  const size_t column = i % 42;
  if (column == 40) return '\n';
  if (column == 41) return '\r';
  return static_cast<char>('A' + (i / 42) % 26);
}

struct Result {
  double wallSeconds;
  double uiCpuSeconds;
  int blocks;
};

// paced: one character at a time at the line's own rate, else as fast as possible.
template <typename Send>
Result Run(QPlainTextEdit& window, UiCallQueue& queue, size_t characters, bool paced, Send send) {
  window.clear();
  const double cpuBefore = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    for (size_t i = 0; i < characters; ++i) {
      send(CharacterAt(i));
      if (paced) std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<long long>(i) * 1000000 / 11520));
    }
    sent = true;
  });
  const int expectedBlocks = static_cast<int>(characters / 42) + 1;
  while (!(sent.load() && queue.Pending() == 0 && window.blockCount() >= expectedBlocks)) {
    // Sleeps until the waker (or the 50 ms tick) has something, as the program's loop does.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  worker.join();
  const auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {wall, ThreadCpuSeconds() - cpuBefore, window.blockCount()};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  auto* window = new QPlainTextEdit();
  window->setReadOnly(true);
  window->resize(420, 300);
  window->show();

  QTimer tick;  // ends the last wait once the worker is done
  tick.start(50);
  UiPump* pumpPointer = nullptr;
  UiCallQueue queue([&] { pumpPointer->Wake(); });
  UiPump pump(queue);
  pumpPointer = &pump;
  QtWindowSurface surface(queue, window, {{kOutputId, window}});

  const auto joinedSend = [&](char c) {
    const char text[2] = {c, '\0'};
    surface.AppendToOutput(kOutputId, text);
  };
  LineBreakFolder folder;
  const auto perByteSend = [&](char c) {
    queue.Post([&, c] {
      const std::string shown = folder.Fold(std::string(1, c));
      if (shown.empty()) return;
      QTextCursor cursor = window->textCursor();
      cursor.movePosition(QTextCursor::End);
      cursor.insertText(QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size())));
      window->setTextCursor(cursor);
      window->ensureCursorVisible();
    });
  };

  const auto report = [](const char* what, size_t characters, const Result& joined, const Result& perByte) {
    const double lineSeconds = static_cast<double>(characters) / 11520.0;
    std::printf("%s: %zu characters (%.1f s of a 115200 baud line)\n", what, characters, lineSeconds);
    std::printf("  joined appends : %7.3f s to show, UI thread CPU %7.3f s (%5.1f%% of the line's time)\n",
                joined.wallSeconds, joined.uiCpuSeconds, 100.0 * joined.uiCpuSeconds / lineSeconds);
    std::printf("  per-byte calls : %7.3f s to show, UI thread CPU %7.3f s (%5.1f%% of the line's time)\n",
                perByte.wallSeconds, perByte.uiCpuSeconds, 100.0 * perByte.uiCpuSeconds / lineSeconds);
    std::printf("  ratio per-byte / joined: time %.1fx, UI CPU %.1fx\n", perByte.wallSeconds / joined.wallSeconds,
                perByte.uiCpuSeconds / joined.uiCpuSeconds);
  };

  const size_t pacedCharacters = kCharacters / 5;  // two seconds of the line
  const Result pacedJoined = Run(*window, queue, pacedCharacters, true, joinedSend);
  const Result pacedPerByte = Run(*window, queue, pacedCharacters, true, perByteSend);
  report("at the line's rate", pacedCharacters, pacedJoined, pacedPerByte);
  const Result burstJoined = Run(*window, queue, kCharacters, false, joinedSend);
  const Result burstPerByte = Run(*window, queue, kCharacters, false, perByteSend);
  report("as fast as the worker can", kCharacters, burstJoined, burstPerByte);
  delete window;
  return 0;
}
