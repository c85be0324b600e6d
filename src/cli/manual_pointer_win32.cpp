#include "help_text.h"

namespace vqx::cli {

// Windows has no manual pages: the installer and the .zip put the manual as text into the
// doc folder beside bin, where vqxctl.exe is.
const char* ManualPointer() {
  return "The manual (doc\\vqxctl.txt in the folder that holds bin\\vqxctl.exe) describes the snapshot JSON "
         "format and gives examples.";
}

}  // namespace vqx::cli
