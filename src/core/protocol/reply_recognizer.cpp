#include "protocol/reply_recognizer.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "protocol/response_table.h"

namespace vqx {

namespace {

constexpr const char* kWordDelimiters = ". \r\n\t";
constexpr const char* kPeerDelimiters = ".: \r\n\t";
constexpr const char* kTextDelimiters = "\r\n";

// Splits a private copy of the line the way strtok does (skip leading delimiters,
// cut the word at the next one), without strtok's hidden shared state.
class Splitter {
 public:
  explicit Splitter(const char* line) {
    std::strncpy(copy_, line, kLineSize - 1);
    copy_[kLineSize - 1] = '\0';
  }

  const char* Next(const char* delimiters) {
    char* p = copy_ + pos_;
    p += std::strspn(p, delimiters);
    if (*p == '\0') {
      pos_ = static_cast<size_t>(p - copy_);
      return nullptr;
    }
    char* end = p + std::strcspn(p, delimiters);
    pos_ = static_cast<size_t>(end - copy_);
    if (*end != '\0') {
      *end = '\0';
      ++pos_;
    }
    return p;
  }

 private:
  char copy_[kLineSize];
  size_t pos_ = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the leading decimal number of a word like "%d": optional sign, then digits.
// Out-of-range input saturates instead of overflowing.
bool ReadDecimal(const char* word, int32_t* out) {
  const char* p = word;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (!IsDigit(*p)) return false;
  int64_t v = 0;
  for (; IsDigit(*p); ++p) {
    v = v * 10 + (*p - '0');
    if (v > INT64_C(1) << 32) v = INT64_C(1) << 32;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  *out = static_cast<int32_t>(v);
  return true;
}

// Four octets; the first must start with a digit. Each keeps its low 8 bits.
Recognition ReadOctets(Splitter& split, const char* delimiters, uint8_t (&address)[4]) {
  uint8_t octets[4];
  for (int i = 0; i < 4; ++i) {
    const char* word = split.Next(delimiters);
    if (word == nullptr) return Recognition::Failed;
    if (i == 0 && !IsDigit(word[0])) return Recognition::Unusable;
    int32_t v = 0;
    if (!ReadDecimal(word, &v)) return Recognition::Unusable;  // a later octet that is no number
    octets[i] = static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFFu);
  }
  std::memcpy(address, octets, sizeof octets);
  return Recognition::ReplyReady;
}

}  // namespace

Recognition RecognizeReply(const char* line, bool remark, bool inSecondProbe, ResponseRecord& reply) {
  Splitter split(line);
  const char* keyword = split.Next(kWordDelimiters);
  if (keyword == nullptr) return Recognition::Idle;

  int32_t id = 0;
  for (int32_t i = 1; i < kResponseCount; ++i) {
    if (std::strcmp(ResponseKeywordTable[i], keyword) == 0) {
      id = i;
      break;
    }
  }
  if (id == 0) return Recognition::Idle;

  std::strncpy(reply.line, line, kLineSize - 1);
  reply.line[kLineSize - 1] = '\0';
  reply.responseId = id;

  switch (ResponseReplyKind(id)) {
    case ReplyKind::Plain:
      return Recognition::ReplyReady;
    case ReplyKind::Error:
      reply.responseId = inSecondProbe ? kRspOk : kRspErr;
      return Recognition::ReplyReady;
    case ReplyKind::PeerAddress: {
      const Recognition r = ReadOctets(split, kPeerDelimiters, reply.address);
      if (r != Recognition::ReplyReady) return r;
      if (const char* port = split.Next(kPeerDelimiters)) {
        int32_t v = 0;
        if (ReadDecimal(port, &v)) reply.value = v;
      }
      return Recognition::ReplyReady;
    }
    case ReplyKind::Address: {
      const Recognition r = ReadOctets(split, kWordDelimiters, reply.address);
      if (r != Recognition::ReplyReady) return r;
      reply.value = remark ? 1 : 0;
      return Recognition::ReplyReady;
    }
    case ReplyKind::Number: {
      const char* word = split.Next(kWordDelimiters);
      if (word == nullptr) return Recognition::Failed;
      if (!IsDigit(word[0])) return Recognition::Unusable;
      int32_t v = 0;
      ReadDecimal(word, &v);
      reply.value = v;
      return Recognition::ReplyReady;
    }
    case ReplyKind::Text: {
      const char* text = split.Next(kTextDelimiters);
      if (text == nullptr) return Recognition::Failed;
      if (std::strcmp(text, kEmptyTextPlaceholder) == 0) {
        // The unit holds an empty text. Reading it as empty lets a read of a unit with an
        // empty name or password finish instead of waiting for ever. Any other text, one
        // that merely starts with '<' included, is the unit's text as it stands.
        reply.text[0] = '\0';
        return Recognition::ReplyReady;
      }
      // Longer texts are cut to the field.
      std::strncpy(reply.text, text, kTextSize - 1);
      reply.text[kTextSize - 1] = '\0';
      return Recognition::ReplyReady;
    }
    case ReplyKind::Switch: {
      reply.responseId = kRspEcho;
      const char* word = split.Next(kWordDelimiters);
      if (word == nullptr) return Recognition::Failed;
      if (word[0] == '<') return Recognition::Unusable;
      reply.value = word[1] == 'N' ? 1 : 0;
      return Recognition::ReplyReady;
    }
  }
  return Recognition::Idle;
}

}  // namespace vqx
