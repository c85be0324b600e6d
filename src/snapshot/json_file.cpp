#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "snapshot.h"

namespace vqx::snapshot {

using nlohmann::json;

namespace {

// Far more than the History's 200 entries take; a file this large is not a snapshot.
constexpr size_t kLargestFile = 16u * 1024u * 1024u;

bool Refuse(std::string* error, const std::string& path, const std::string& reason) {
  if (error) *error = path + ": " + reason;
  return false;
}

std::string OpenFailure(int code) {
  switch (code) {
    case ENOENT: return "does not exist";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "is a directory, not a file";
    default: return std::string("cannot be read: ") + std::strerror(code);
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

bool ReadWholeFile(const std::string& path, std::string& content, std::string* error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Refuse(error, path, OpenFailure(errno));
  if (S_ISDIR(info.st_mode)) return Refuse(error, path, OpenFailure(EISDIR));
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return Refuse(error, path, OpenFailure(errno));
  char buffer[65536];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof(buffer), file.get());
    content.append(buffer, n);
    if (content.size() > kLargestFile) {
      return Refuse(error, path, "is larger than " + std::to_string(kLargestFile / (1024 * 1024)) +
                                     " MB; not a snapshot file");
    }
    if (n < sizeof(buffer)) break;
  }
  if (std::ferror(file.get())) return Refuse(error, path, std::string("cannot be read: ") + std::strerror(errno));
  return true;
}

// Line and column (both from 1) of the byte at offset, counting UTF-8 characters.
void Position(const std::string& text, size_t offset, size_t& line, size_t& column) {
  line = 1;
  column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
}

// The parser's own words without its prefix and position ("syntax error while parsing
// object - unexpected '}'; expected string literal").
std::string ParserReason(const json::parse_error& e) {
  const std::string what = e.what();
  const size_t column = what.find("column ");
  if (column != std::string::npos) {
    const size_t colon = what.find(": ", column);
    if (colon != std::string::npos) return what.substr(colon + 2);
  }
  const size_t bracket = what.find("] ");
  return bracket != std::string::npos ? what.substr(bracket + 2) : what;
}

bool OnlyBlanks(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::optional<json> LoadJsonFile(const std::string& path, std::string* error) {
  std::string content;
  if (!ReadWholeFile(path, content, error)) return std::nullopt;
  if (OnlyBlanks(content)) {
    Refuse(error, path, "is empty; expected a JSON snapshot");
    return std::nullopt;
  }
  try {
    return json::parse(content);
  } catch (const json::parse_error& e) {
    // The parser counts the byte it stopped at from 1.
    size_t line = 0;
    size_t column = 0;
    Position(content, e.byte > 0 ? e.byte - 1 : 0, line, column);
    Refuse(error, path,
           "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
               ParserReason(e));
    return std::nullopt;
  }
}

std::optional<PartialSettings> LoadSnapshotFile(const std::string& path, std::string* error) {
  const auto j = LoadJsonFile(path, error);
  if (!j) return std::nullopt;
  std::string why;
  auto parsed = FromJson(*j, &why);
  if (!parsed) {
    Refuse(error, path, why);
    return std::nullopt;
  }
  return parsed;
}

}  // namespace vqx::snapshot
