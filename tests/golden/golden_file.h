#pragma once

// Byte-for-byte expectations kept as files under tests/golden/data. The files are plain
// ASCII whatever the output holds, so that no editor, merge or line-ending conversion can
// change them unseen:
//   - text: one file line per output line; a carriage return shows as \r, a byte below
//     0x20 (but the line feed) or from 0x7F up as \xNN, a backslash as \\; an output whose
//     last line has no line feed ends in the line "\ no line feed at the end";
//   - bytes: a hex dump (HexDump) of 16 bytes a line, a run of lines equal to the one
//     before shown once as "*".
//
// VQX_REGENERATE_GOLDEN=1 rewrites the files from what the program gives now (check the
// change with git diff before committing it); without it a difference fails the test and
// names the first differing line of the file and the offset in the output.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace vqx::testing {

inline std::string VisibleText(const std::string& text) {
  std::string visible;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      visible += '\n';
    } else if (c == '\r') {
      visible += "\\r";
    } else if (c == '\\') {
      visible += "\\\\";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      visible += hex;
    } else {
      visible += c;
    }
  }
  if (!text.empty() && text.back() != '\n') visible += "\n\\ no line feed at the end\n";
  return visible;
}

inline std::string HexDump(const std::string& bytes) {
  std::string dump;
  std::string previous;
  bool starred = false;
  for (size_t offset = 0; offset < bytes.size(); offset += 16) {
    const std::string row = bytes.substr(offset, 16);
    if (row == previous && row.size() == 16) {
      if (!starred) dump += "*\n";
      starred = true;
      continue;
    }
    starred = false;
    previous = row;
    char line[96];
    int at = std::snprintf(line, sizeof line, "%08zx ", offset);
    for (size_t i = 0; i < 16; ++i) {
      at += i < row.size() ? std::snprintf(line + at, sizeof line - static_cast<size_t>(at), " %02x",
                                           static_cast<unsigned char>(row[i]))
                           : std::snprintf(line + at, sizeof line - static_cast<size_t>(at), "   ");
    }
    dump += line;
    dump += "  |";
    for (const char c : row) dump += c >= 0x20 && c < 0x7F ? c : '.';
    dump += "|\n";
  }
  char end[32];
  std::snprintf(end, sizeof end, "%08zx\n", bytes.size());
  return dump + end;
}

// The offset of the first byte where a and b differ (their common length when one is
// the other's beginning).
inline size_t FirstDifference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

inline bool RegeneratingGolden() {
  const char* value = std::getenv("VQX_REGENERATE_GOLDEN");
  return value != nullptr && std::string(value) == "1";
}

inline std::string GoldenPath(const std::string& name) { return std::string(VQX_GOLDEN_DIR) + "/" + name; }

// Compares file (its ASCII form, as VisibleText or HexDump give it) with the golden file
// name, or writes it when regenerating.
inline void ExpectGoldenFile(const std::string& name, const std::string& file) {
  const std::string path = GoldenPath(name);
  if (RegeneratingGolden()) {
    std::ofstream(path, std::ios::binary) << file;
    std::printf("rewrote %s\n", path.c_str());
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "no golden file " << path << "; run with VQX_REGENERATE_GOLDEN=1 to create it";
    return;
  }
  std::ostringstream stored;
  stored << in.rdbuf();
  const std::string expected = stored.str();
  if (expected == file) return;
  const size_t at = FirstDifference(expected, file);
  const size_t lineStart = expected.rfind('\n', at == 0 ? 0 : at - 1);
  const size_t from = at == 0 || lineStart == std::string::npos ? 0 : lineStart + 1;
  size_t lineNumber = 1;
  for (size_t i = 0; i < from; ++i) lineNumber += expected[i] == '\n';
  const auto lineAt = [from](const std::string& s) {
    if (from >= s.size()) return std::string("(end of file)");
    return s.substr(from, s.find('\n', from) - from);
  };
  ADD_FAILURE() << "differs from " << path << " at line " << lineNumber << " (character " << at << " of the file)\n"
                << "  expected: " << lineAt(expected) << "\n"
                << "  actual:   " << lineAt(file) << "\n"
                << "If the change is meant, run with VQX_REGENERATE_GOLDEN=1 and review git diff.";
}

// A text output, compared byte for byte through its visible form.
inline void ExpectGoldenText(const std::string& name, const std::string& text) {
  ExpectGoldenFile(name, VisibleText(text));
}

// A binary output as a hex dump.
inline void ExpectGoldenBytes(const std::string& name, const std::string& bytes) {
  ExpectGoldenFile(name, HexDump(bytes));
}

}  // namespace vqx::testing
