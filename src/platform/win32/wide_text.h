#pragma once

#include <string>

namespace vqx::win32 {

// The program's texts are UTF-8; Windows takes file and device names in UTF-16. Invalid
// UTF-8 becomes U+FFFD rather than a truncated name.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

}  // namespace vqx::win32
