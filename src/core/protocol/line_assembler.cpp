#include "protocol/line_assembler.h"

namespace vqx {

LineAssembler::Outcome LineAssembler::Feed(char c) {
  if ((c == '\r' || c == '\n') && length_ == 0) return Outcome::Dropped;
  if (c != '\n') {
    if (length_ < kMaxStored) buffer_[length_] = c;
    if (length_ < kMaxStored + 1) ++length_;  // one past the limit marks "cut", keeps ')' test honest
    return Outcome::Shown;
  }
  const int32_t stored = length_ < kMaxStored ? length_ : kMaxStored;
  // A cut line has lost its true last character, so it carries no remark.
  remark_ = length_ > 0 && length_ <= kMaxStored && buffer_[stored - 1] == ')';
  buffer_[stored] = '\n';
  buffer_[stored + 1] = '\0';
  length_ = 0;
  return Outcome::LineComplete;
}

}  // namespace vqx
