#include "posix/posix_file_store.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace vqx::posix {

PosixFileStore::PosixFileStore(std::string directory, SysCalls& sys) : directory_(std::move(directory)), sys_(sys) {}

std::string PosixFileStore::PathOf(const char* name) const {
  if (directory_.empty()) return name;
  if (directory_.back() == '/') return directory_ + name;
  return directory_ + "/" + name;
}

int64_t PosixFileStore::ReadFile(const char* name, void* buffer, size_t capacity) {
  const std::string path = PathOf(name);
  int fd;
  do {
    fd = sys_.Open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;

  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  bool failed = false;
  while (total < capacity) {
    const ssize_t n = sys_.Read(fd, out + total, capacity - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    if (n == 0) break;  // end of file
    total += static_cast<size_t>(n);
  }
  sys_.Close(fd);
  // Part of a file is no file: the caller would take the rest for content.
  return failed ? -1 : static_cast<int64_t>(total);
}

bool PosixFileStore::WriteAll(int fd, const void* data, size_t size) {
  const auto* in = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = sys_.Write(fd, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;  // a regular file that takes nothing: never loop on it
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void PosixFileStore::SyncDirectory() {
  // Makes the rename itself durable. Best effort: some file systems refuse it.
  const std::string directory = directory_.empty() ? std::string(".") : directory_;
  const int fd = sys_.Open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  sys_.Fsync(fd);
  sys_.Close(fd);
}

bool PosixFileStore::ReplaceFile(const char* name, const void* data, size_t size) {
  const std::string target = PathOf(name);
  // Unique per process and per call, so two saves at once never share a temporary.
  const std::string temporary = target + ".tmp-" + std::to_string(sys_.GetPid()) + "-" +
                                std::to_string(temporaryCounter_.fetch_add(1));

  int fd;
  do {
    fd = sys_.OpenWithMode(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;

  bool ok = WriteAll(fd, data, size);
  if (ok) ok = sys_.Fsync(fd) == 0;
  // A close error can be the first report of a failed write-back (NFS): it counts. The
  // descriptor is gone even after EINTR, so close is never repeated.
  if (sys_.Close(fd) != 0 && errno != EINTR) ok = false;
  if (ok) ok = sys_.Rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int saved = errno;
    sys_.Unlink(temporary.c_str());
    errno = saved;
    return false;
  }
  SyncDirectory();
  return true;
}

}  // namespace vqx::posix
