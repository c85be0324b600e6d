// Saving the "(All)" report of a full History (200 entries) from the Qt report pane.
//
// Measured: reading the pane's lines as the save does, through GetLines (one trip to the
// user-interface thread, one split of the text). Baseline in the same run: a loop of
// GetLine over LineCount lines, which splits the whole pane again for every line.
//
// Run: QT_QPA_PLATFORM=offscreen build/default/bench/report_save_bench

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>

#include "app/settings_report.h"
#include "qt_window_surface.h"
#include "ui_call_queue.h"
#include "window/control_ids.h"

namespace {

using vqx::desktop::QtWindowSurface;
using vqx::desktop::UiCallQueue;

vqx::DeviceSettings Entry(int i) {
  vqx::DeviceSettings s{};
  std::snprintf(s.serialNumber, sizeof(s.serialNumber), "S%05d", i);
  std::snprintf(s.name, sizeof(s.name), "Relay site %d on the northern ridge", i);
  s.ipAddress[0] = 10;
  s.ipAddress[3] = static_cast<uint8_t>(i);
  s.voipPort = 1221;
  return s;
}

std::string ByGetLines(QtWindowSurface& surface) {
  std::string text;
  for (const std::string& line : surface.GetLines(vqx::ids::kReportPane)) text += line + "\n";
  return text;
}

std::string ByGetLine(QtWindowSurface& surface) {
  std::string text;
  std::vector<char> line(256);
  const int lines = surface.LineCount(vqx::ids::kReportPane);
  for (int i = 0; i < lines; ++i) {
    size_t length = surface.GetLine(vqx::ids::kReportPane, i, line.data(), line.size());
    while (length + 1 >= line.size()) {
      line.resize(line.size() * 2);
      length = surface.GetLine(vqx::ids::kReportPane, i, line.data(), line.size());
    }
    text.append(line.data(), length);
    text += "\n";
  }
  return text;
}

template <typename Read>
double MedianSeconds(int runs, QtWindowSurface& surface, std::string& out, Read read) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    out = read(surface);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  auto* pane = new QPlainTextEdit();
  UiCallQueue queue([] {});
  QtWindowSurface surface(queue, pane, {{vqx::ids::kReportPane, pane}});

  std::vector<vqx::DeviceSettings> entries;
  for (int i = 0; i < 200; ++i) entries.push_back(Entry(i));
  const std::string report = vqx::FormatSettingsReport(entries);
  surface.SetText(vqx::ids::kReportPane, report.c_str());
  queue.Drain();

  std::string bulk, perLine;
  const double bulkSeconds = MedianSeconds(5, surface, bulk, ByGetLines);
  const double perLineSeconds = MedianSeconds(3, surface, perLine, ByGetLine);
  if (bulk != perLine) {
    std::printf("the two reads differ: the benchmark is wrong\n");
    return 1;
  }
  std::printf("Saving the report of 200 History entries (%d lines, %zu characters) from the Qt pane:\n",
              surface.LineCount(vqx::ids::kReportPane), report.size());
  std::printf("  GetLines, one call    : %8.2f ms\n", bulkSeconds * 1e3);
  std::printf("  GetLine per line      : %8.2f ms (baseline)\n", perLineSeconds * 1e3);
  std::printf("  ratio baseline / bulk : %.0fx\n", perLineSeconds / bulkSeconds);
  delete pane;
  return 0;
}
