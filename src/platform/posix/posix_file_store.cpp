#include "posix/posix_file_store.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

namespace vqx::posix {

namespace {

constexpr int kMostLinksFollowed = 40;  // as the kernel allows before ELOOP

FileResult Because(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT: return {FileProblem::DiskFull, error};
    case EROFS: return {FileProblem::ReadOnlyFileSystem, error};
    case EACCES:
    case EPERM: return {FileProblem::PermissionDenied, error};
    case ENOENT:
    case ENOTDIR: return {FileProblem::NotFound, error};
    case EISDIR: return {FileProblem::NotARegularFile, error};
    default: return {FileProblem::Other, error};
  }
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "PID-N" of a temporary's name; false for anything else.
bool ParseTemporarySuffix(const std::string& suffix, pid_t* pid) {
  const size_t dash = suffix.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 == suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (i != dash && (suffix[i] < '0' || suffix[i] > '9')) return false;
  }
  if (dash > 9) return false;  // no process number has ten digits
  *pid = static_cast<pid_t>(std::strtol(suffix.substr(0, dash).c_str(), nullptr, 10));
  return *pid > 0;
}

}  // namespace

PosixFileStore::PosixFileStore(std::string directory, SysCalls& sys) : directory_(std::move(directory)), sys_(sys) {}

PosixFileStore::~PosixFileStore() {
  for (const auto& [name, fd] : held_) {
    if (fd >= 0) sys_.Close(fd);
  }
}

std::string PosixFileStore::PathOf(const char* name) const {
  if (directory_.empty()) return name;
  if (directory_.back() == '/') return directory_ + name;
  return directory_ + "/" + name;
}

std::string PosixFileStore::FullPath(const char* name) const {
  const std::string path = PathOf(name);
  if (!path.empty() && path.front() == '/') return path;
  std::string directory;
  if (sys_.GetCwd(&directory) != 0 || directory.empty()) return path;
  if (directory.back() != '/') directory += '/';
  return directory + path;
}

int64_t PosixFileStore::ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why) {
  const std::string path = PathOf(name);
  // Without O_NONBLOCK a FIFO would wait for a writer for ever; it is refused below.
  int fd;
  do {
    fd = sys_.Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (why) *why = Because(errno);
    return -1;
  }
  struct stat info {};
  if (sys_.Fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (why) *why = {FileProblem::NotARegularFile, 0};
    sys_.Close(fd);
    return -1;
  }
  const int flags = sys_.Fcntl(fd, F_GETFL, 0);
  if (flags >= 0) sys_.Fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  int failure = 0;
  while (total < capacity) {
    const ssize_t n = sys_.Read(fd, out + total, capacity - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    if (n == 0) break;  // end of file
    total += static_cast<size_t>(n);
  }
  sys_.Close(fd);
  // Part of a file is no file: the caller would take the rest for content.
  if (failure != 0) {
    if (why) *why = Because(failure);
    return -1;
  }
  return static_cast<int64_t>(total);
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

void PosixFileStore::SyncDirectoryOf(const std::string& path) {
  // Makes the rename itself durable. Best effort: some file systems refuse it.
  const int fd = sys_.Open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  sys_.Fsync(fd);
  sys_.Close(fd);
}

bool PosixFileStore::FollowLinks(const std::string& path, std::string* target, int* error) {
  std::string current = path;
  for (int hops = 0;; ++hops) {
    struct stat info {};
    if (sys_.Lstat(current.c_str(), &info) != 0) {
      // Nothing there (also the end of a dangling link): the save creates it.
      if (errno != ENOENT) {
        *error = errno;
        return false;
      }
      *target = current;
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      *target = current;
      return true;
    }
    if (hops == kMostLinksFollowed) {
      *error = ELOOP;
      return false;
    }
    char link[PATH_MAX];
    const ssize_t n = sys_.ReadLink(current.c_str(), link, sizeof(link));
    if (n < 0 || static_cast<size_t>(n) >= sizeof(link)) {
      *error = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    const std::string next(link, static_cast<size_t>(n));
    current = next.front() == '/' ? next : DirectoryOf(current) + "/" + next;
  }
}

void PosixFileStore::RemoveStaleTemporaries(const std::string& target) {
  const std::string prefix = BaseOf(target) + ".tmp-";
  const std::string directory = DirectoryOf(target);
  std::vector<std::string> names;
  if (sys_.ListDirectory(directory.c_str(), &names) != 0) return;
  timespec now{};
  sys_.ClockGetTime(CLOCK_REALTIME, &now);
  for (const std::string& name : names) {
    pid_t pid = 0;
    if (name.compare(0, prefix.size(), prefix) != 0 || !ParseTemporarySuffix(name.substr(prefix.size()), &pid)) {
      continue;
    }
    const std::string path = directory + "/" + name;
    struct stat info {};
    if (sys_.Lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const bool old = now.tv_sec - info.st_mtim.tv_sec > kStaleTemporarySeconds;
    // A recent one of this process may be another save's, being written right now.
    const bool writerGone = pid != sys_.GetPid() && sys_.Kill(pid, 0) != 0 && errno == ESRCH;
    if (writerGone || old) sys_.Unlink(path.c_str());
  }
}

FileResult PosixFileStore::WriteTemporary(const std::string& temporary, const struct stat* old,
                                          NewFileAccess access, const void* data, size_t size, bool* created) {
  // A file that replaces another starts private and gets the old mode once its owner is
  // set; a new one is created with its final mode under the umask.
  const mode_t createMode = old != nullptr || access == NewFileAccess::OwnerOnly ? 0600 : 0644;
  int fd;
  do {
    fd = sys_.OpenWithMode(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Because(errno);
  *created = true;

  bool ok = WriteAll(fd, data, size);
  if (ok) ok = sys_.Fsync(fd) == 0;
  int failure = ok ? 0 : errno;
  if (ok && old != nullptr) {
    // Root saving a user's file leaves it the user's. Others may at least keep the group;
    // where neither is allowed the file becomes the saver's, with the old mode.
    if (old->st_uid != sys_.GetEuid() || old->st_gid != sys_.GetEgid()) {
      if (sys_.Fchown(fd, old->st_uid, old->st_gid) != 0) sys_.Fchown(fd, static_cast<uid_t>(-1), old->st_gid);
    }
    sys_.Fchmod(fd, old->st_mode & 07777);
  }
  // A close error can be the first report of a failed write-back (NFS): it counts. The
  // descriptor is gone even after EINTR, so close is never repeated.
  if (sys_.Close(fd) != 0 && errno != EINTR && ok) {
    ok = false;
    failure = errno;
  }
  return ok ? FileResult::Ok() : Because(failure);
}

FileResult PosixFileStore::ReplaceFile(const char* name, const void* data, size_t size, NewFileAccess access) {
  std::string target;
  int error = 0;
  if (!FollowLinks(PathOf(name), &target, &error)) return Because(error);

  struct stat old {};
  const bool exists = sys_.Lstat(target.c_str(), &old) == 0;
  if (exists) {
    if (!S_ISREG(old.st_mode)) return {FileProblem::NotARegularFile, 0};
    // No write bit at all is the owner's "leave it alone", which root honours too.
    if ((old.st_mode & 0222) == 0) return {FileProblem::ReadOnlyFile, 0};
    if (sys_.Access(target.c_str(), W_OK) != 0) return Because(errno);
  }
  RemoveStaleTemporaries(target);

  // Unique per process and per call, so two saves at once never share a temporary. A
  // name already taken (left by an earlier process with this number) is passed over:
  // the temporary is created exclusively, never through what stands under its name.
  constexpr int kNameAttempts = 100;
  std::string temporary;
  bool created = false;
  FileResult result;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = target + ".tmp-" + std::to_string(sys_.GetPid()) + "-" +
                std::to_string(temporaryCounter_.fetch_add(1));
    result = WriteTemporary(temporary, exists ? &old : nullptr, access, data, size, &created);
    if (created || result.systemError != EEXIST) break;
  }
  if (result && sys_.Rename(temporary.c_str(), target.c_str()) != 0) result = Because(errno);
  if (!result) {
    if (created) sys_.Unlink(temporary.c_str());
    return result;
  }
  SyncDirectoryOf(target);

  std::lock_guard lock(heldMutex_);
  const auto it = held_.find(name);
  if (it != held_.end()) TakeHold(name);  // the lock belonged to the file just replaced
  return FileResult::Ok();
}

namespace {

// Holds the lock of a companion lock file; closing the descriptor releases it. The file
// stays: removing it would let a program that opened it a moment earlier lock a file no
// longer in the folder while a third locks a new one.
class PosixChangeLock final : public FileChangeLock {
 public:
  PosixChangeLock(SysCalls& sys, int fd) : sys_(sys), fd_(fd) {}
  ~PosixChangeLock() override {
    if (fd_ >= 0) sys_.Close(fd_);
  }
  PosixChangeLock(const PosixChangeLock&) = delete;
  PosixChangeLock& operator=(const PosixChangeLock&) = delete;

 private:
  SysCalls& sys_;
  int fd_;
};

constexpr size_t kHolderTextMax = 200;

// What the holder wrote into the lock file: one line of printable text, or empty.
std::string ReadHolder(SysCalls& sys, int fd) {
  char buffer[kHolderTextMax];
  ssize_t n;
  do {
    n = sys.Read(fd, buffer, sizeof(buffer));
  } while (n < 0 && errno == EINTR);
  std::string text;
  for (ssize_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(buffer[i]);
    if (c == '\n') break;
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return text;
}

}  // namespace

ChangeLockResult PosixFileStore::LockForChange(const char* name, const char* program, uint32_t waitMs) {
  std::string target;
  int error = 0;
  if (!FollowLinks(PathOf(name), &target, &error)) target = PathOf(name);
  const std::string lockPath = target + kChangeLockSuffix;
  // O_NOFOLLOW: the lock file is ours; a link planted under its name is not followed.
  // O_NONBLOCK: a FIFO under the name must not wait for a writer.
  int fd;
  do {
    fd = sys_.OpenWithMode(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == EACCES) {
    // Another user's lock file: locking it for reading still keeps us in turn.
    fd = sys_.Open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  }
  struct stat info {};
  if (fd >= 0 && (sys_.Fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    sys_.Close(fd);
    fd = -1;
  }
  // No lock file can be had where no save can be written either (a read-only or missing
  // folder): the save goes ahead and names the real problem.
  if (fd < 0) return {std::make_unique<FileChangeLock>(), {}};

  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (sys_.Flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      // A file system without locks (some network mounts): as without a lock file.
      sys_.Close(fd);
      return {std::make_unique<FileChangeLock>(), {}};
    }
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(waitMs)) {
      ChangeLockResult refused{nullptr, ReadHolder(sys_, fd)};
      sys_.Close(fd);
      return refused;
    }
    const timespec pause{0, 10'000'000};  // 10 ms: a save takes a few
    sys_.NanoSleep(&pause, nullptr);
  }
  // Says who holds it to whoever waits next. Best effort: the lock is what counts.
  const std::string holder = std::string(program) + " (process " + std::to_string(sys_.GetPid()) + ")\n";
  if (sys_.Ftruncate(fd, 0) == 0) WriteAll(fd, holder.data(), holder.size());
  return {std::make_unique<PosixChangeLock>(sys_, fd), {}};
}

void PosixFileStore::TakeHold(const std::string& name) {
  int& fd = held_[name];
  if (fd >= 0) sys_.Close(fd);
  fd = sys_.Open(PathOf(name.c_str()).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (sys_.Fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || sys_.Flock(fd, LOCK_SH | LOCK_NB) != 0) {
    sys_.Close(fd);
    fd = -1;
  }
}

void PosixFileStore::HoldWhileRunning(const char* name) {
  std::lock_guard lock(heldMutex_);
  held_.emplace(name, -1);
  TakeHold(name);
}

bool PosixFileStore::HeldByAnotherProgram(const char* name) {
  const int fd = sys_.Open(PathOf(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool held = false;
  if (sys_.Fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    // A shared lock of the desktop program keeps an exclusive one from being taken.
    if (sys_.Flock(fd, LOCK_EX | LOCK_NB) == 0) {
      sys_.Flock(fd, LOCK_UN);
    } else {
      held = errno == EWOULDBLOCK;
    }
  }
  sys_.Close(fd);
  return held;
}

}  // namespace vqx::posix
