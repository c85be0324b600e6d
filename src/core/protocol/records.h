#pragma once

#include <cstdint>

namespace vqx {

inline constexpr int kKeywordSize = 16;
inline constexpr int kLineSize = 128;
inline constexpr int kTextSize = 64;

// A command to send. value -1 asks for the bare form (a query or an action),
// whatever the command's argument kind.
struct CommandRecord {
  int32_t commandId = 0;
  uint8_t address[4] = {};
  char line[kLineSize] = {};
  char text[kTextSize] = {};
  int32_t value = -1;
};

// A recognised reply: the same layout, the first field read as the response id.
// Only the fields a reply's kind sets are written; the others keep older values.
struct ResponseRecord {
  int32_t responseId = 0;
  uint8_t address[4] = {};
  char line[kLineSize] = {};
  char text[kTextSize] = {};
  int32_t value = 0;
};

static_assert(sizeof(CommandRecord) == 204);
static_assert(sizeof(ResponseRecord) == sizeof(CommandRecord));

}  // namespace vqx
