#include "text_position.h"

#include <cstring>

namespace vqx::snapshot::detail {

std::string LineAndColumn(std::string_view text, size_t offset) {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

bool RefuseNulByte(std::string_view text, std::string* reason) {
  const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size());
  if (nul == nullptr) return true;
  const auto offset = static_cast<size_t>(static_cast<const char*>(nul) - text.data());
  if (reason) {
    *reason = "contains a NUL byte at " + LineAndColumn(text, offset) +
              "; a text file holds none (is it a binary file, or saved as UTF-16?)";
  }
  return false;
}

}  // namespace vqx::snapshot::detail
