#pragma once

#include "protocol/records.h"

namespace vqx {

// What a complete line leaves the link in.
enum class Recognition {
  ReplyReady,  // reply holds a recognised reply
  Failed,      // a reply keyword whose arguments ran out
  Idle,        // nothing usable: no word, unknown word, a value starting with '<' or a non-digit
};

// Recognises one complete line (LF included) by its first word and fills the fields of
// reply that the reply's kind sets. remark: the line's last character before the LF was ')'.
// inSecondProbe: the link was waiting on the second escape probe, where ERR counts as OK.
Recognition RecognizeReply(const char* line, bool remark, bool inSecondProbe, ResponseRecord& reply);

}  // namespace vqx
