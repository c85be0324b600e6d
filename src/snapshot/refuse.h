#pragma once

#include <string>

namespace vqx::snapshot::detail {

// Says why in *error, when the caller asked, and returns false: a check refuses in one line.
inline bool Refuse(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

}  // namespace vqx::snapshot::detail
