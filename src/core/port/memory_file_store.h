#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "port/file_store.h"

namespace vqx {

// Files that live only as long as the store: for a program that must not write the
// desktop program's files as a side effect (the command-line tool), and for benchmarks.
// Nothing else shares these files, so nobody else ever holds one.
class MemoryFileStore final : public IFileStore {
 public:
  int64_t ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why = nullptr) override;
  FileResult ReplaceFile(const char* name, const void* data, size_t size,
                         NewFileAccess access = NewFileAccess::Shared) override;
  // Nobody else reaches these files: the right to change one is always free.
  ChangeLockResult LockForChange(const char*, const char*, uint32_t) override {
    return {std::make_unique<FileChangeLock>(), {}};
  }
  void HoldWhileRunning(const char*) override {}
  bool HeldByAnotherProgram(const char*) override { return false; }
  const char* TextLineBreak() const override { return "\n"; }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
};

}  // namespace vqx
