#include "window/control_text.h"

#include <algorithm>
#include <cstring>

namespace vqx {
namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

size_t CopyControlText(const std::string& text, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

std::vector<std::string> SplitEditLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

bool StartsWithIgnoringAsciiCase(const std::string& item, const std::string& prefix) {
  if (item.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(item[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

}  // namespace vqx
