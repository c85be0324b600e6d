#include "protocol/command_format.h"

#include <cstdio>
#include <cstring>

#include "common/assertion.h"
#include "protocol/command_table.h"

namespace vqx {

namespace {

// The text field may arrive without a terminator; never read past it.
size_t BoundedTextLength(const char (&text)[kTextSize]) {
  const void* nul = std::memchr(text, '\0', kTextSize);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : kTextSize - 1;
}

}  // namespace

FormatResult FormCommandLine(const CommandRecord& record, char (&out)[kLineSize], size_t* length) {
  const int32_t id = record.commandId;
  if (id < 1 || id >= kCommandCount) VQX_IMPOSSIBLE("CSerialComm");
  const char* keyword = CommandKeywordTable[id];
  int n = 0;
  if (record.value == -1) {
    n = std::snprintf(out, kLineSize, "%s\r\n", keyword);
  } else {
    switch (CommandArgumentKind(id)) {
      case ArgumentKind::Address:
        n = std::snprintf(out, kLineSize, "%s %.3u.%.3u.%.3u.%.3u\r\n", keyword,
                          unsigned{record.address[0]}, unsigned{record.address[1]},
                          unsigned{record.address[2]}, unsigned{record.address[3]});
        break;
      case ArgumentKind::Integer:
        n = std::snprintf(out, kLineSize, "%s %d\r\n", keyword, record.value);
        break;
      case ArgumentKind::Text: {
        const size_t textLength = BoundedTextLength(record.text);
        if (std::memchr(record.text, '\r', textLength) || std::memchr(record.text, '\n', textLength)) {
          out[0] = '\0';
          if (length) *length = 0;
          return FormatResult::RefusedLineBreak;
        }
        n = std::snprintf(out, kLineSize, "%s %.*s\r\n", keyword, static_cast<int>(textLength),
                          record.text);
        break;
      }
      case ArgumentKind::Switch:
        n = std::snprintf(out, kLineSize, record.value != 0 ? "%s ON\r\n" : "%s OFF\r\n", keyword);
        break;
      case ArgumentKind::None:
        VQX_IMPOSSIBLE("CSerialComm");
    }
  }
  // The longest line the kinds can form is 74 characters; the buffer holds 128.
  if (length) *length = static_cast<size_t>(n);
  return FormatResult::Formed;
}

}  // namespace vqx
