#include "port/memory_file_store.h"

#include <algorithm>
#include <cstring>

namespace vqx {

int64_t MemoryFileStore::ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why) {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(name);
  if (it == files_.end()) {
    if (why) *why = {FileProblem::NotFound, 0};
    return -1;
  }
  const size_t n = std::min(capacity, it->second.size());
  std::memcpy(buffer, it->second.data(), n);
  return static_cast<int64_t>(n);
}

FileResult MemoryFileStore::ReplaceFile(const char* name, const void* data, size_t size, NewFileAccess) {
  std::lock_guard lock(mutex_);
  files_[name].assign(static_cast<const char*>(data), size);
  return FileResult::Ok();
}

}  // namespace vqx
