#pragma once

#include <string>

namespace vqx::cli {

// The path from the root of a file named relative to the working directory, as a user
// would look for it; the name as given when the working directory cannot be told.
std::string FullPath(const std::string& name);

// Where the preferences files are, for the help of the history commands: the file given
// with --prefs (when one is), and the VQXSU_Prefs.cfg that vqxsu keeps in its working
// directory, started here and started from the desktop menu (in home, when known).
std::string PreferencesWhereabouts(const std::string& given, const char* home);

}  // namespace vqx::cli
