#include "help_text.h"

namespace vqx::cli {

const char* ManualPointer() { return "The manual (man vqxctl) describes the snapshot JSON format and gives examples."; }

}  // namespace vqx::cli
