#pragma once

#include <cstdint>

#include "link/status_state.h"

namespace vqx {

// What the link needs of the window logic: the terminal output, the status panel,
// the worker's pacing and the window's say on lines the user types.
class ILinkHost {
 public:
  virtual ~ILinkHost() = default;

  // Appends text (at most 255 characters) to the terminal output. Either thread.
  virtual void AppendOutput(const char* text) = 0;
  // Stores the status state and repaints the status panel.
  virtual void SetStatusState(StatusState state) = 0;
  // A byte was shown: the worker loop runs unpaused while the unit talks.
  virtual void NoteLinkActivity() = 0;
  // A line the user typed, before it is shown or written. keyword is the first word in
  // upper case; argument is the rest of the line up to CR or LF, or nullptr when there
  // is none. Returning false refuses the line: nothing is shown or written.
  virtual bool AcceptTypedCommand(const char* keyword, const char* argument) = 0;
};

}  // namespace vqx
