#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "system_port.h"

namespace vqx {
namespace {

NamedFileRead Because(int code) {
  NamedFileRead result;
  switch (code) {
    case ENOENT:
    case ENOTDIR: result.outcome = NamedFileRead::Outcome::NotFound; break;
    case EACCES:
    case EPERM: result.outcome = NamedFileRead::Outcome::PermissionDenied; break;
    case EISDIR: result.outcome = NamedFileRead::Outcome::Folder; break;
    case ENXIO:
    case ENODEV: result.outcome = NamedFileRead::Outcome::NoDevice; break;
    case ELOOP: result.outcome = NamedFileRead::Outcome::LinkLoop; break;
    default:
      result.outcome = NamedFileRead::Outcome::Failed;
      result.systemMessage = std::strerror(code);
  }
  return result;
}

NamedFileRead ReadDescriptor(int fd, size_t limit, std::string* content) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Because(errno);
    }
    if (n == 0) return {NamedFileRead::Outcome::Read, {}};
    content->append(buffer, static_cast<size_t>(n));
    if (content->size() > limit) return {NamedFileRead::Outcome::TooLarge, {}};
  }
}

}  // namespace

NamedFileRead ReadNamedFile(const std::string& path, size_t limit, std::string* content) {
  // Without O_NONBLOCK a FIFO would wait for a writer for ever; it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Because(errno);
  struct stat info {};
  NamedFileRead result;
  if (::fstat(fd, &info) != 0) {
    result = Because(errno);
  } else if (S_ISDIR(info.st_mode)) {
    result.outcome = NamedFileRead::Outcome::Folder;
  } else if (!S_ISREG(info.st_mode)) {
    result.outcome = NamedFileRead::Outcome::NotARegularFile;
  } else {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    // One allocation of the right size instead of doubling past it: a file near the
    // limit would otherwise hold twice its size while the string grows.
    if (info.st_size > 0) content->reserve(std::min(static_cast<size_t>(info.st_size), limit) + 1);
    result = ReadDescriptor(fd, limit, content);
  }
  ::close(fd);
  return result;
}

NamedFileRead ReadStandardInput(size_t limit, std::string* content) {
  return ReadDescriptor(STDIN_FILENO, limit, content);
}

}  // namespace vqx
