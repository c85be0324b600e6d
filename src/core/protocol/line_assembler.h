#pragma once

#include <cstdint>

#include "protocol/records.h"

namespace vqx {

// Builds reply lines from single received characters. A line ends at LF; CR and LF
// that arrive while no line is in progress vanish (blank lines, the second half of
// CR LF or LF CR pairs).
class LineAssembler {
 public:
  enum class Outcome {
    Dropped,       // neither shown nor stored
    Shown,         // shown; part of the line in progress
    LineComplete,  // shown; Line() holds the finished line with its LF
  };

  Outcome Feed(char c);
  // Forgets the line in progress: what follows starts a new line.
  void Reset() { length_ = 0; }

  // The finished line (valid after LineComplete until the next Feed), LF included.
  const char* Line() const { return buffer_; }
  // True when the character just before the LF was ')': the unit's "(DHCP)" remark.
  bool Remark() const { return remark_; }

  // At most this many characters precede the LF; the rest of a longer line is shown
  // but not stored, so the line with its LF and NUL always fits a record's line field.
  static constexpr int32_t kMaxStored = kLineSize - 2;

 private:
  char buffer_[131] = {};
  int32_t length_ = 0;
  bool remark_ = false;
};

}  // namespace vqx
