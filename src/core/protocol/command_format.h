#pragma once

#include <cstddef>

#include "protocol/records.h"

namespace vqx {

enum class FormatResult {
  Formed,
  // A text argument holding CR or LF would smuggle a second command to the unit.
  RefusedLineBreak,
};

// Forms the exact line for a record into out (NUL-terminated), *length without the NUL.
// A record no caller can build (an argument on a command that takes none, an id outside
// the table) stops the program.
FormatResult FormCommandLine(const CommandRecord& record, char (&out)[kLineSize], size_t* length);

}  // namespace vqx
