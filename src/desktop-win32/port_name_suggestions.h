#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vqx::win32 {

// Offers names under a one-line edit as the user types, the ones that start with what
// the box holds, as the system's own boxes offer paths: its auto-complete over the
// program's list. The box keeps taking any text. False where the system offers none on
// this thread (COM not started there); the caller still has its tip.
bool SuggestNames(HWND edit, const std::vector<std::string>& names);

}  // namespace vqx::win32
