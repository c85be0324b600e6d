#include "output_text.h"

namespace vqx::desktop {

std::string LineBreakFolder::Fold(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (const char c : raw) {
    if (c == '\r' || c == '\n') {
      if (pendingBreak_ != 0 && pendingBreak_ != c) {
        pendingBreak_ = 0;  // the second half of a pair
        continue;
      }
      out.push_back('\n');
      pendingBreak_ = c;
      continue;
    }
    pendingBreak_ = 0;
    if (c == '\0') continue;  // a NUL would end the text in the widget
    out.push_back(c);
  }
  return out;
}

std::string ToDisplayLineEnds(std::string_view text) {
  LineBreakFolder folder;
  return folder.Fold(text);
}

std::string ToWindowsLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace vqx::desktop
