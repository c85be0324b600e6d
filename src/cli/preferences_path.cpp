#include "preferences_path.h"

#include <filesystem>
#include <system_error>

#include "app/preferences_block.h"
#include "help_text.h"
#include "system_port.h"

namespace vqx::cli {

std::string FullPath(const std::string& name) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(PathFromText(name), error);
  return error ? name : TextOfPath(full.lexically_normal());
}

std::string PreferencesWhereabouts(const std::string& given, const char* home) {
  std::string text;
  // Each path is one word for the help's wrap, spaces and all.
  if (!given.empty()) text += "Preferences file given: " + KeptWhole(FullPath(given)) + "\n";
  text += std::string("vqxsu keeps its preferences in ") + kPreferencesFileName + " in its working directory:\n";
  text += "  vqxsu started here:             " + KeptWhole(FullPath(kPreferencesFileName)) + "\n";
  if (home != nullptr && home[0] != '\0' && PathFromText(home).is_absolute()) {
    text += "  started from the desktop menu:  " +
            KeptWhole(TextOfPath((PathFromText(home) / kPreferencesFileName).lexically_normal())) + "\n";
  }
  return text;
}

}  // namespace vqx::cli
