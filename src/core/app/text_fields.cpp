#include "app/text_fields.h"

namespace vqx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseLeadingDecimal(const char* text, size_t length, int32_t* value, size_t* used) {
  size_t i = 0;
  while (i < length && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= length || !IsDigit(text[i])) return false;
  int64_t v = 0;
  for (; i < length && IsDigit(text[i]); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > INT64_C(1) << 32) v = INT64_C(1) << 32;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  *value = static_cast<int32_t>(v);
  *used = i;
  return true;
}

bool ParseDecimal(const char* text, int32_t* value) {
  size_t used = 0;
  return ParseLeadingDecimal(text, std::strlen(text), value, &used);
}

bool ParseFourDecimals(const char* text, size_t length, int32_t numbers[4]) {
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= length || text[pos] != '.') return false;
      ++pos;
    }
    size_t used = 0;
    if (!ParseLeadingDecimal(text + pos, length - pos, &numbers[i], &used)) return false;
    pos += used;
  }
  return true;
}

}  // namespace vqx
