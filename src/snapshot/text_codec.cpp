#include "text_codec.h"

#include <cstdio>

namespace vqx::snapshot::detail {

std::string BytesToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> Utf8ToBytes(std::string_view utf8, std::string* why) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    size_t length;
    uint32_t code;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07u;
    } else {
      if (why) *why = "is not valid UTF-8";
      return std::nullopt;
    }
    if (i + length > utf8.size()) {
      if (why) *why = "is not valid UTF-8";
      return std::nullopt;
    }
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        if (why) *why = "is not valid UTF-8";
        return std::nullopt;
      }
      code = (code << 6) | (next & 0x3Fu);
    }
    // Over-long forms would let one byte hide behind several spellings.
    const bool overlong = (length == 2 && code < 0x80) || (length == 3 && code < 0x800) ||
                          (length == 4 && code < 0x10000);
    if (overlong) {
      if (why) *why = "is not valid UTF-8";
      return std::nullopt;
    }
    if (code > 0xFF) {
      if (why) {
        char text[96];
        std::snprintf(text, sizeof(text), "holds the character U+%04X; the unit's texts hold U+0001..U+00FF only",
                      static_cast<unsigned>(code));
        *why = text;
      }
      return std::nullopt;
    }
    out += static_cast<char>(static_cast<uint8_t>(code));
    i += length;
  }
  return out;
}

std::string ToHex(const void* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool FromHex(std::string_view hex, void* data, size_t size) {
  if (hex.size() != size * 2) return false;
  auto* bytes = static_cast<uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    const int high = HexDigit(hex[2 * i]);
    const int low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

}  // namespace vqx::snapshot::detail
