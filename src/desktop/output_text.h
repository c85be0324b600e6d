#pragma once

#include <string>
#include <string_view>

namespace vqx::desktop {

// The unit ends its replies LF CR and its echoes CR LF, the program starts each line it
// sends with CR LF, and a reply may arrive split at any byte. For the screen every pair
// (CR LF or LF CR) and every lone CR or LF ends one line, except that the CR LF which
// starts the program's own line right after a reply's LF CR adds no empty line. Stateful
// so that pairs split across appends count once.
class LineBreakFolder {
 public:
  std::string Fold(std::string_view raw);
  void Reset() { state_ = State::Text; }

 private:
  enum class State {
    Text,       // within a line
    AfterCr,    // a CR ended the line; an LF now completes the pair
    AfterLf,    // an LF ended the line; a CR now completes the pair
    AfterLfCr,  // a reply's LF CR ended the line; a CR LF now adds nothing
    AbsorbCr,   // the CR of that CR LF was taken
  };
  State state_ = State::Text;
};

// A whole text with CR LF line ends (the report) for a widget that uses LF, and back.
std::string ToDisplayLineEnds(std::string_view text);
std::string ToWindowsLineEnds(std::string_view text);

}  // namespace vqx::desktop
