#include "terminal_text.h"

#include <cstdint>

namespace vqx::cli {

namespace {

// \x1b or \u009b: the prefix, then width hex digits in lower case.
void AppendHex(std::string& out, const char* prefix, unsigned value, int width) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += prefix;
  for (int shift = 4 * (width - 1); shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xFu];
}

// What both escapers do with a byte they have no own rule for: \r, \n, \t, \xNN for the
// other C0 controls and DEL, any other byte as itself.
void AppendAsciiEscaped(std::string& out, char c) {
  const auto b = static_cast<uint8_t>(c);
  if (c == '\r') {
    out += "\\r";
  } else if (c == '\n') {
    out += "\\n";
  } else if (c == '\t') {
    out += "\\t";
  } else if (b < 0x20 || b == 0x7F) {
    AppendHex(out, "\\x", b, 2);
  } else {
    out += c;
  }
}

std::string Escaped(std::string_view text, bool keepLineFeeds) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (c == '\n' && keepLineFeeds) {
      out += c;
    } else if (c == '\\') {
      out += "\\\\";
    } else if (b >= 0x80 && b <= 0x9F) {
      AppendHex(out, "\\x", b, 2);
    } else {
      AppendAsciiEscaped(out, c);
    }
  }
  return out;
}

// The length of the UTF-8 sequence at text[i] (2..4), or 0 when it is none.
size_t SequenceLength(std::string_view text, size_t i) {
  const auto lead = static_cast<uint8_t>(text[i]);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string EscapedUtf8(std::string_view text, bool keepLineEnds) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x80) {
      const size_t length = SequenceLength(text, i);
      if (length == 0) {
        AppendHex(out, "\\x", b, 2);
        ++i;
      } else if (length == 2 && b == 0xC2 && static_cast<uint8_t>(text[i + 1]) <= 0x9F) {
        AppendHex(out, "\\u", static_cast<uint8_t>(text[i + 1]), 4);  // U+0080..U+009F
        i += 2;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    ++i;
    if (keepLineEnds && (c == '\n' || (c == '\r' && i < text.size() && text[i] == '\n'))) {
      out += c;
    } else {
      AppendAsciiEscaped(out, c);
    }
  }
  return out;
}

}  // namespace

std::string VisibleMessage(std::string_view utf8) { return EscapedUtf8(utf8, false); }

std::string VisibleUtf8Lines(std::string_view utf8) { return EscapedUtf8(utf8, true); }

std::string Visible(std::string_view text) { return Escaped(text, false); }

std::string VisibleLines(std::string_view text) { return Escaped(text, true); }

}  // namespace vqx::cli
