#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct DescriptorCloser {
  int fd;
  ~DescriptorCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads fd to its end, up to the size limit.
bool ReadDescriptor(int fd, const std::string& path, std::string& content, std::string* error) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Refuse(error, path, std::string("cannot be read: ") + std::strerror(errno));
    }
    if (n == 0) return true;
    content.append(buffer, static_cast<size_t>(n));
    if (content.size() > kLargestFile) {
      return Refuse(error, path, "is larger than " + std::to_string(kLargestFile / (1024 * 1024)) +
                                     " MB; not a snapshot file");
    }
  }
}

// "-" is standard input, which may be a pipe. Any other name must be a regular file: a
// FIFO is opened without waiting for a writer and refused, like a device or a folder.
bool ReadWholeFile(const std::string& path, std::string& content, std::string* error) {
  if (path == "-") return ReadDescriptor(STDIN_FILENO, "standard input", content, error);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Refuse(error, path, OpenFailure(errno));
  const DescriptorCloser closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Refuse(error, path, OpenFailure(errno));
  if (S_ISDIR(info.st_mode)) return Refuse(error, path, OpenFailure(EISDIR));
  if (!S_ISREG(info.st_mode)) {
    return Refuse(error, path, "is not a regular file (a FIFO, device or socket); give a file, or - for standard input");
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return ReadDescriptor(fd, path, content, error);
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
