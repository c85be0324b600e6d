#include "output_text.h"

#include <algorithm>

namespace vqx::desktop {

std::string LineBreakFolder::Fold(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (const char c : raw) {
    const bool cr = c == '\r';
    const bool lf = c == '\n';
    if (!cr && !lf) {
      state_ = State::Text;
      if (c != '\0') out.push_back(c);  // a NUL would end the text in the widget
      continue;
    }
    switch (state_) {
      case State::AfterCr:
        if (lf) {
          state_ = State::Text;  // CR LF complete
          continue;
        }
        break;
      case State::AfterLf:
        if (cr) {
          state_ = State::AfterLfCr;
          continue;
        }
        break;
      case State::AfterLfCr:
        if (cr) {
          state_ = State::AbsorbCr;
        } else {
          state_ = State::Text;  // LF CR LF: a reply's LF, then the program's CR LF
        }
        continue;
      case State::AbsorbCr:
        if (lf) {
          state_ = State::Text;  // the CR LF that only started a new line
          continue;
        }
        break;
      case State::Text: break;
    }
    out.push_back('\n');
    state_ = cr ? State::AfterCr : State::AfterLf;
  }
  return out;
}

std::string LongLineBreaker::Break(std::string_view folded) {
  std::string out;
  out.reserve(folded.size() + folded.size() / columns_ + 1);
  for (const char c : folded) {
    if (c == '\n') {
      column_ = 0;
    } else if (column_ == columns_) {
      out.push_back('\n');
      column_ = 1;
    } else {
      ++column_;
    }
    out.push_back(c);
  }
  return out;
}

ScrollBack::ScrollBack(size_t lineEndLength, int lines, size_t characters)
    : lineEndLength_(lineEndLength),
      lineLimit_(lines < 1 ? 1 : static_cast<size_t>(lines)),
      characterLimit_(characters) {
  Reset();
}

void ScrollBack::Reset() {
  lengths_.clear();
  lengths_.push_back(0);
  characters_ = 0;
}

size_t ScrollBack::Append(std::string_view shown) {
  for (const char c : shown) {
    if (c == '\n') {
      lengths_.push_back(0);
    } else {
      ++lengths_.back();
    }
    ++characters_;
  }
  size_t cut = 0;
  if (lengths_.size() <= lineLimit_ && characters_ <= characterLimit_) return cut;
  const size_t lineTarget = lineLimit_ - std::min(lineBatch_, lineLimit_ - 1);
  const size_t characterTarget = characterLimit_ - std::min(characterBatch_, characterLimit_);
  // The open last line always stays: the breaker keeps it within kOutputColumns.
  while (lengths_.size() > 1 && (lengths_.size() > lineTarget || characters_ > characterTarget)) {
    cut += lengths_.front() + lineEndLength_;
    characters_ -= lengths_.front() + 1;
    lengths_.pop_front();
  }
  return cut;
}

void ScrollBack::SetTrimBatch(int lines, size_t characters) {
  lineBatch_ = lines < 0 ? 0 : static_cast<size_t>(lines);
  characterBatch_ = characters;
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
