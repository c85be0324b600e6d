#include "preferences_path.h"

#include <filesystem>
#include <system_error>

#include "app/preferences_block.h"

namespace vqx::cli {

std::string FullPath(const std::string& name) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(name, error);
  return error ? name : full.lexically_normal().string();
}

std::string PreferencesWhereabouts(const std::string& given, const char* home) {
  std::string text;
  if (!given.empty()) text += "Preferences file given: " + FullPath(given) + "\n";
  text += std::string("vqxsu keeps its preferences in ") + kPreferencesFileName + " in its working directory:\n";
  text += "  vqxsu started here:             " + FullPath(kPreferencesFileName) + "\n";
  if (home != nullptr && home[0] != '\0' && std::filesystem::path(home).is_absolute()) {
    text += "  started from the desktop menu:  " +
            (std::filesystem::path(home) / kPreferencesFileName).lexically_normal().string() + "\n";
  }
  return text;
}

}  // namespace vqx::cli
