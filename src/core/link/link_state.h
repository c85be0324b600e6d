#pragma once

#include <cstdint>

namespace vqx {

enum class LinkState : int32_t {
  Closed = 0,      // no port open
  Idle = 1,        // a command may be sent; a reply may be awaited
  Sending = 2,     // a send operation is forming and writing a line
  ReplyReady = 3,  // a recognised reply waits to be taken
  Failed = 4,      // unanswered command or probes, or a reply without its arguments
  EscapeWait = 5,  // quiet time before "+++"
  EscapeSent = 6,  // "+++" written; quiet time after it
  ProbeSent = 7,   // first probe CR written
  SecondProbe = 8, // second probe CR written
};

}  // namespace vqx
