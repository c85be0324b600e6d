#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace vqx::desktop {

// What the output window shows of the line's traffic. The unit ends its replies with LF
// (its CR after it never reaches the window), the program starts each line it sends with
// CR LF and ends it with CR LF, and any of it may arrive split at any byte. For the
// screen each pair (CR LF or LF CR) and each lone CR or LF ends one line, except that
// the CR LF that starts the program's own line right after a reply's LF (or LF CR) adds
// no empty line. Stateful, so that pairs split across appends count once.
class LineBreakFolder {
 public:
  std::string Fold(std::string_view raw);
  void Reset() { state_ = State::Text; }

 private:
  enum class State {
    Text,       // within a line
    AfterCr,    // a CR ended the line; an LF now completes the pair
    AfterLf,    // an LF ended the line; a CR now completes the pair
    AfterLfCr,  // LF then CR: a CR LF or the LF of one now adds nothing
    AbsorbCr,   // the CR of that CR LF was taken
  };
  State state_ = State::Text;
};

// Screen lines of the output window are at most this long: longer ones continue on the
// next line, as a terminal wraps them. A unit that talks without line breaks (a wrong baud
// rate, relayed data, noise) then never builds one ever-growing line that the widget lays
// out again at every update.
inline constexpr size_t kOutputColumns = 1024;
// The output window keeps this many screen lines; older ones give way, as in a terminal's
// scroll-back.
inline constexpr int kOutputLines = 5000;
// In the Qt window the oldest lines give way a tenth of the scroll-back at a time (the
// Windows edit control keeps the last kOutputLines exactly; a flood it cuts otherwise).
inline constexpr int kOutputTrimLines = kOutputLines / 10;
// ... and at most this many characters (a line end counts one), the newest whole lines:
// as many lines of a terminal's 80 columns. The unit's replies never come near it; a flood
// of long lines does, and a window holding megabytes lays its text out again at every
// update, slowly enough to look frozen.
inline constexpr size_t kOutputCharacters = static_cast<size_t>(kOutputLines) * 80;
inline constexpr size_t kOutputTrimCharacters = kOutputCharacters / 10;

// Breaks the folder's lines (LF-ended) after kOutputColumns characters. Stateful, so that
// a line's length counts across appends.
class LongLineBreaker {
 public:
  explicit LongLineBreaker(size_t columns = kOutputColumns) : columns_(columns) {}
  std::string Break(std::string_view folded);
  void Reset() { column_ = 0; }

 private:
  size_t columns_;
  size_t column_ = 0;
};

// The output window's scroll-back, the same in every front-end: follows the lengths of the
// screen lines the window holds (the last one open, as a text widget counts its last
// block) and says how much of its front must give way so that it keeps at most
// kOutputLines lines and kOutputCharacters characters. lineEndLength is what one line end
// takes in the window (2 where it holds CR LF).
class ScrollBack {
 public:
  explicit ScrollBack(size_t lineEndLength = 1, int lines = kOutputLines, size_t characters = kOutputCharacters);
  // Once the front must give way, this much more of it goes with it (whole lines), so
  // that the next updates only add at the end: removing text from the front of a window
  // makes it lay out what follows again, and in a flood that happened at every update.
  // What is kept then never exceeds the limits less these batches, until it grows again.
  void SetTrimBatch(int lines, size_t characters);
  // Notes text appended to the window (folded and broken: LF-ended lines). Returns how
  // many characters to remove from the window's front, whole lines only.
  size_t Append(std::string_view shown);
  void Reset();
  int Lines() const { return static_cast<int>(lengths_.size()); }
  // What is kept, each line end counted once: the length of its text with LF line ends.
  size_t Characters() const { return characters_; }

 private:
  size_t lineEndLength_;
  size_t lineLimit_;
  size_t characterLimit_;
  size_t lineBatch_ = 0;
  size_t characterBatch_ = 0;
  size_t characters_ = 0;  // the lines' characters, each line end counted once
  std::deque<size_t> lengths_;
};

// A whole text with CR LF line ends (the report) for a widget that uses LF, and back.
std::string ToDisplayLineEnds(std::string_view text);
std::string ToWindowsLineEnds(std::string_view text);

}  // namespace vqx::desktop
