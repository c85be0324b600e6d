#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "port/file_store.h"
#include "posix/syscalls.h"

namespace vqx::posix {

// The program's files in one directory (empty: the working directory). A replacement
// is written to a temporary file in the same directory, flushed, then renamed over the
// old file, so the old content survives a full disk, an I/O error or a crash.
class PosixFileStore final : public IFileStore {
 public:
  explicit PosixFileStore(std::string directory, SysCalls& sys = RealSysCalls());

  int64_t ReadFile(const char* name, void* buffer, size_t capacity) override;
  bool ReplaceFile(const char* name, const void* data, size_t size) override;
  const char* TextLineBreak() const override { return "\n"; }

  // Where a name lands: the directory joined with it.
  std::string PathOf(const char* name) const;

 private:
  bool WriteAll(int fd, const void* data, size_t size);
  void SyncDirectory();

  std::string directory_;
  SysCalls& sys_;
  std::atomic<uint32_t> temporaryCounter_{0};
};

}  // namespace vqx::posix
