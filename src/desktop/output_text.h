#pragma once

#include <string>
#include <string_view>

namespace vqx::desktop {

// The unit ends its replies LF CR and its echoes CR LF, and a reply may arrive split at
// any byte. For the screen every pair (CR LF or LF CR) and every lone CR or LF ends one
// line. Stateful so that a pair split across two appends still counts once.
class LineBreakFolder {
 public:
  std::string Fold(std::string_view raw);
  void Reset() { pendingBreak_ = 0; }

 private:
  char pendingBreak_ = 0;  // the CR or LF that ended the last line, until its partner
};

// A whole text with CR LF line ends (the report) for a widget that uses LF, and back.
std::string ToDisplayLineEnds(std::string_view text);
std::string ToWindowsLineEnds(std::string_view text);

}  // namespace vqx::desktop
