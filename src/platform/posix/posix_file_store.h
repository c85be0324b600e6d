#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "port/file_store.h"
#include "posix/syscalls.h"

namespace vqx::posix {

// The program's files in one directory (empty: the working directory). A replacement
// is written to a temporary file beside the real file (the target of a symbolic link),
// flushed, given the old file's mode and owner, then renamed over it, so the old content
// survives a full disk, an I/O error or a crash.
class PosixFileStore final : public IFileStore {
 public:
  explicit PosixFileStore(std::string directory, SysCalls& sys = RealSysCalls());
  ~PosixFileStore() override;
  PosixFileStore(const PosixFileStore&) = delete;
  PosixFileStore& operator=(const PosixFileStore&) = delete;

  int64_t ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why = nullptr) override;
  FileResult ReplaceFile(const char* name, const void* data, size_t size,
                         NewFileAccess access = NewFileAccess::Shared) override;
  ChangeLockResult LockForChange(const char* name, const char* program, uint32_t waitMs) override;
  void HoldWhileRunning(const char* name) override;
  bool HeldByAnotherProgram(const char* name) override;
  const char* TextLineBreak() const override { return "\n"; }

  // Where a name lands: the directory joined with it.
  std::string PathOf(const char* name) const;
  // The same from the root: a relative directory or name is joined to the working
  // directory; when that cannot be told, PathOf.
  std::string FullPath(const char* name) const override;

  // The companion file whose lock is the right to change name: name + this, beside the
  // real file (the end of a chain of links), so that every path to the file shares it.
  // The file being replaced cannot carry that lock: each save puts a new file in its place.
  static constexpr const char* kChangeLockSuffix = ".lock";

  // A temporary left by another process is removed by the next save of its file once
  // that process is gone, or once it is this old (the process number may be reused).
  static constexpr int64_t kStaleTemporarySeconds = 3600;

 private:
  // The path a save must replace: path itself, or the end of its chain of links.
  bool FollowLinks(const std::string& path, std::string* target, int* error);
  FileResult WriteTemporary(const std::string& temporary, const struct stat* old, NewFileAccess access,
                            const void* data, size_t size, bool* created);
  bool WriteAll(int fd, const void* data, size_t size);
  void SyncDirectoryOf(const std::string& path);
  void RemoveStaleTemporaries(const std::string& target);
  void TakeHold(const std::string& name);  // heldMutex_ held

  std::string directory_;
  SysCalls& sys_;
  std::atomic<uint32_t> temporaryCounter_{0};
  std::mutex heldMutex_;
  std::map<std::string, int> held_;  // name -> descriptor with the shared lock, or -1
};

}  // namespace vqx::posix
