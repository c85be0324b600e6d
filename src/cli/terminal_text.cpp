#include "terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace vqx::cli {

namespace {

std::string Escaped(std::string_view text, bool keepLineFeeds) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (c == '\n' && keepLineFeeds) {
      out += c;
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (b < 0x20 || b == 0x7F || (b >= 0x80 && b <= 0x9F)) {
      char hex[5];
      std::snprintf(hex, sizeof(hex), "\\x%02x", static_cast<unsigned>(b));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string Visible(std::string_view text) { return Escaped(text, false); }

std::string VisibleLines(std::string_view text) { return Escaped(text, true); }

}  // namespace vqx::cli
