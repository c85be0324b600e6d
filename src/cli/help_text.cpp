#include "help_text.h"

#include <algorithm>
#include <vector>

namespace vqx::cli {
namespace {

constexpr size_t kWidthWithoutConsole = 80;
constexpr char kNoBreakSpace = '\x1F';
// Narrower than this the label columns alone fill the line; the text is still readable
// with a terminal's own wrapping.
constexpr size_t kNarrowestWidth = 40;

// Columns, not bytes: a path in the text may hold UTF-8.
size_t Columns(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                           [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Where the text of a line starts that a continuation line lines up under: after a label
// and the two or more spaces that end it, else after the indent.
size_t HangingIndent(const std::string& line) {
  const size_t indent = line.find_first_not_of(' ');
  if (indent == std::string::npos) return 0;
  const size_t gap = line.find("  ", indent);
  if (gap != std::string::npos) {
    const size_t text = line.find_first_not_of(' ', gap);
    if (text != std::string::npos) return text;
  }
  return indent;
}

void WrapLine(const std::string& line, size_t width, std::string& out) {
  if (Columns(line) <= width) {
    out += line;
    return;
  }
  const size_t hanging = HangingIndent(line);
  // The label column stays on the first line as it is.
  std::string current = line.substr(0, hanging);
  size_t used = Columns(current);
  // A label column wider than two thirds of the line would leave its continuations too
  // little room: they start at half the line instead.
  const size_t indent = hanging <= width * 2 / 3 ? hanging : width / 2;
  bool lineHasWord = false;
  size_t start = hanging;
  while (start < line.size()) {
    const size_t end = std::min(line.find(' ', start), line.size());
    if (end > start) {
      const std::string word = line.substr(start, end - start);
      const size_t length = Columns(word);
      if (!lineHasWord) {
        current += word;
        used += length;
        lineHasWord = true;
      } else if (used + 1 + length <= width) {
        current += ' ' + word;
        used += 1 + length;
      } else {
        out += current + '\n';
        current = std::string(indent, ' ') + word;
        used = indent + length;
      }
    }
    start = end + 1;
  }
  out += current;
}

}  // namespace

size_t HelpWidth(int consoleColumns) {
  if (consoleColumns <= 0) return kWidthWithoutConsole;
  return std::max(static_cast<size_t>(consoleColumns) - 1, kNarrowestWidth);
}

std::string WrapHelp(const std::string& text, size_t width) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      WrapLine(text.substr(start), width, out);
      break;
    }
    WrapLine(text.substr(start, end - start), width, out);
    out += '\n';
    start = end + 1;
  }
  std::replace(out.begin(), out.end(), kNoBreakSpace, ' ');
  return out;
}

std::string KeptWhole(const std::string& text) {
  std::string kept = text;
  std::replace(kept.begin(), kept.end(), ' ', kNoBreakSpace);
  return kept;
}

}  // namespace vqx::cli
