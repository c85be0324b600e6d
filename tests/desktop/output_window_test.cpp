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

}  // namespace
}  // namespace vqx::desktop
