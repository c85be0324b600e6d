#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vqx {

// Text rules every window surface shares, as the controls of the original window keep them.

// Copies at most size-1 characters and a NUL; returns the number copied.
size_t CopyControlText(const std::string& text, char* buffer, size_t size);
// A multi-line edit's lines: the text split at CR LF, an empty last line counted.
std::vector<std::string> SplitEditLines(const std::string& text);
// A list item that begins with prefix, ASCII letters compared without case.
bool StartsWithIgnoringAsciiCase(const std::string& item, const std::string& prefix);

}  // namespace vqx
