// The Terminal's output window on a unit that talks without pause and without line
// breaks: the widget stays bounded in lines, line length and so in the cost of an update.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QWidget>

#include "output_text.h"
#include "qt_window_surface.h"
#include "ui_call_queue.h"
#include "window/control_ids.h"

namespace vqx::desktop {
namespace {

TEST(OutputWindowTest, AStreamWithoutLineBreaksKeepsTheWindowBoundedAndShowsTheNewestText) {
  QWidget window;
  auto* output = new QPlainTextEdit(&window);
  output->setLineWrapMode(QPlainTextEdit::NoWrap);
  output->setUndoRedoEnabled(false);
  UiCallQueue queue([] {});
  QtWindowSurface surface(queue, &window, {{ids::kOutputWindow, output}});

  // Twice what the window can hold.
  const size_t capacity = static_cast<size_t>(kOutputLines) * kOutputColumns;
  std::string chunk(24000, 'u');
  chunk.back() = 'v';
  size_t sent = 0;
  for (; sent < 2 * capacity; sent += chunk.size()) {
    surface.AppendToOutput(ids::kOutputWindow, chunk.c_str());
    queue.Drain();
  }

  EXPECT_LE(output->blockCount(), kOutputLines);
  int longest = 0;
  for (QTextBlock block = output->document()->begin(); block.isValid(); block = block.next()) {
    longest = std::max(longest, block.length() - 1);
  }
  EXPECT_LE(longest, static_cast<int>(kOutputColumns));
  EXPECT_LE(static_cast<size_t>(output->document()->characterCount()), capacity + kOutputLines);
  // The scroll-back's characters, as the Windows program keeps them: whole lines.
  EXPECT_LE(static_cast<size_t>(output->document()->characterCount()), kOutputCharacters + 1);
  EXPECT_EQ(output->document()->begin().length() - 1, static_cast<int>(kOutputColumns));
  EXPECT_TRUE(output->toPlainText().endsWith(QChar('v')));

  // Lines still end where the unit ends them.
  surface.AppendToOutput(ids::kOutputWindow, "\nOK\n");
  queue.Drain();
  EXPECT_TRUE(output->toPlainText().endsWith("v\nOK\n"));
}

// Lines of a terminal's width at a flood's pace: after every update the window holds no
// more than its scroll-back and ends with the newest line, whole; the oldest lines give
// way in batches, not at every update (each removal at the front lays the rest out again).
TEST(OutputWindowTest, AFloodOfLinesIsTrimmedInBatchesAndTheNewestLinesStayWhole) {
  QWidget window;
  auto* output = new QPlainTextEdit(&window);
  output->setUndoRedoEnabled(false);
  UiCallQueue queue([] {});
  QtWindowSurface surface(queue, &window, {{ids::kOutputWindow, output}});
  int frontRemovals = 0;
  QObject::connect(output->document(), &QTextDocument::contentsChange, output, [&](int from, int removed, int) {
    if (from == 0 && removed > 0) ++frontRemovals;
  });

  int line = 0;
  const int updates = 300;
  for (int update = 0; update < updates; ++update) {
    std::string text;
    for (int i = 0; i < 50; ++i, ++line) text += "line " + std::to_string(line) + std::string(60, '.') + "\r\n";
    surface.AppendToOutput(ids::kOutputWindow, text.c_str());
    queue.Drain();
    ASSERT_LE(output->blockCount(), kOutputLines);
    ASSERT_LE(static_cast<size_t>(output->document()->characterCount()), kOutputCharacters + 1);
    const QString first = output->document()->begin().text();
    ASSERT_TRUE(first.startsWith("line ") && first.endsWith(QString(60, '.'))) << "a whole line first";
    const QTextBlock last = output->document()->lastBlock().previous();
    ASSERT_EQ(last.text().toStdString(), "line " + std::to_string(line - 1) + std::string(60, '.'));
  }
  EXPECT_GE(output->blockCount(), kOutputLines - kOutputTrimLines) << "the scroll-back stays nearly full";
  // 15,000 lines through a window of 5000: one removal per batch of 500 lines, not per update.
  EXPECT_GT(frontRemovals, 0);
  EXPECT_LE(frontRemovals, (updates * 50 - kOutputLines) / kOutputTrimLines + 1);
}

// A flood that alone fills the scroll-back between two updates replaces the window's text
// with the newest part of it, ending as the stream ends.
TEST(OutputWindowTest, AnUpdateLargerThanTheScrollBackKeepsOnlyItsNewestWholeLines) {
  QWidget window;
  auto* output = new QPlainTextEdit(&window);
  output->setUndoRedoEnabled(false);
  UiCallQueue queue([] {});
  QtWindowSurface surface(queue, &window, {{ids::kOutputWindow, output}});
  surface.AppendToOutput(ids::kOutputWindow, "old\n");
  queue.Drain();
  std::string flood;
  for (int i = 0; i < 2 * kOutputLines; ++i) flood += "n" + std::to_string(i) + "\n";
  flood += "tail";
  surface.AppendToOutput(ids::kOutputWindow, flood.c_str());
  queue.Drain();
  EXPECT_LE(output->blockCount(), kOutputLines);
  EXPECT_GE(output->blockCount(), kOutputLines - kOutputTrimLines);
  EXPECT_FALSE(output->toPlainText().contains("old"));
  EXPECT_EQ(output->document()->lastBlock().text(), "tail");
  EXPECT_EQ(output->document()->lastBlock().previous().text().toStdString(),
            "n" + std::to_string(2 * kOutputLines - 1));
  EXPECT_FALSE(output->document()->isUndoRedoEnabled());
  surface.AppendToOutput(ids::kOutputWindow, "!\n");
  queue.Drain();
  EXPECT_TRUE(output->toPlainText().endsWith("tail!\n"));
}

// While another view hides the output window its text is kept but not scrolled; once it
// is shown again it shows the newest text, with no selection left.
TEST(OutputWindowTest, AHiddenWindowShowsTheNewestTextOnceShownAgain) {
  QWidget window;
  auto* output = new QPlainTextEdit(&window);
  output->setUndoRedoEnabled(false);
  UiCallQueue queue([] {});
  QtWindowSurface surface(queue, &window, {{ids::kOutputWindow, output}});
  surface.AppendToOutput(ids::kOutputWindow, "first\n");
  queue.Drain();
  surface.SelectAllText(ids::kOutputWindow);
  surface.ShowControl(ids::kOutputWindow, false);
  for (int i = 0; i < 100; ++i) surface.AppendToOutput(ids::kOutputWindow, "more text\n");
  queue.Drain();
  surface.ShowControl(ids::kOutputWindow, true);
  queue.Drain();
  EXPECT_FALSE(output->textCursor().hasSelection());
  EXPECT_EQ(output->textCursor().position(), output->document()->characterCount() - 1);
}

}  // namespace
}  // namespace vqx::desktop
