#pragma once

#include "protocol/records.h"

namespace vqx {

// What the unit answers for a text setting that holds nothing. A text the user sets to
// exactly this cannot be told apart from an empty one when it is read back.
inline constexpr const char* kEmptyTextPlaceholder = "<none>";

// What a complete line leaves the link in.
enum class Recognition {
  ReplyReady,  // reply holds a recognised reply
  Failed,      // a reply keyword whose arguments ran out
  Idle,        // not a reply: no word, or a word that is no reply keyword
  Unusable,    // a reply keyword whose value cannot be read: '<' or a non-digit where a
               // number or address belongs; the unit did answer, but nothing can be stored
};

// Recognises one complete line (LF included) by its first word and fills the fields of
// reply that the reply's kind sets. A text that is exactly kEmptyTextPlaceholder (the
// unit's way of saying that a text is empty: "NAME <none>") is read as the empty text.
// remark: the line's last character before the LF was ')'.
// inSecondProbe: the link was waiting on the second escape probe, where ERR counts as OK.
Recognition RecognizeReply(const char* line, bool remark, bool inSecondProbe, ResponseRecord& reply);

}  // namespace vqx
