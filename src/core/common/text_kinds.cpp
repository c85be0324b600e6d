#include "common/text_kinds.h"

namespace vqx {

int32_t DecodeUtf8At(std::string_view text, size_t at, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    *length = 1;
    return lead;
  }
  size_t size = 0;
  uint32_t point = 0;
  uint32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2, point = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3, point = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4, point = lead & 0x07u, least = 0x10000;
  } else {
    return -1;
  }
  if (at + size > text.size()) return -1;
  for (size_t i = 1; i < size; ++i) {
    const unsigned char next = byte(at + i);
    if ((next & 0xC0u) != 0x80u) return -1;
    point = (point << 6) | (next & 0x3Fu);
  }
  if (point < least || point > 0x10FFFF) return -1;
  *length = size;
  return static_cast<int32_t>(point);
}

void AppendUtf8(std::string& out, uint32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

std::u32string Utf8Points(std::string_view utf8) {
  std::u32string points;
  points.reserve(utf8.size());
  size_t at = 0;
  while (at < utf8.size()) {
    size_t length = 1;
    const int32_t point = DecodeUtf8At(utf8, at, &length);
    if (point < 0) {
      points.push_back(static_cast<unsigned char>(utf8[at]));
      ++at;
      continue;
    }
    points.push_back(static_cast<char32_t>(point));
    at += length;
  }
  return points;
}

std::string SystemTextForDisplay(std::string_view utf8) {
  std::string shown;
  shown.reserve(utf8.size());
  for (const char32_t point : Utf8Points(utf8)) shown.push_back(point <= 0xFF ? static_cast<char>(point) : '?');
  return shown;
}

}  // namespace vqx
