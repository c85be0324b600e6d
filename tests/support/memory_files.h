#pragma once

// Files and calendar time kept in memory, for the window logic's tests.

#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "port/file_store.h"
#include "port/clock.h"

namespace vqx::testing {

class MemoryFileStore final : public IFileStore {
 public:
  // The folder FullPath names the files in, as a system text (UTF-8); none by default.
  std::string folder;
  std::string FullPath(const char* name) const override { return folder + name; }

  int64_t ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why = nullptr) override {
    std::lock_guard lock(mutex_);
    ++reads;
    auto it = files.find(name);
    if (it == files.end() || unreadable) {
      if (why) *why = {unreadable ? FileProblem::PermissionDenied : FileProblem::NotFound, 0};
      return -1;
    }
    const size_t n = std::min(capacity, it->second.size());
    std::memcpy(buffer, it->second.data(), n);
    return static_cast<int64_t>(n);
  }
  FileResult ReplaceFile(const char* name, const void* data, size_t size,
                         NewFileAccess access = NewFileAccess::Shared) override {
    std::lock_guard lock(mutex_);
    ++replaces;
    if (locksHeld == 0) ++replacesWithoutLock;
    if (failWrites) return {writeProblem, 0};
    files[name].assign(static_cast<const char*>(data), size);
    accessOf[name] = access;
    return FileResult::Ok();
  }
  // Refused while lockedBy names another holder; otherwise granted at once, and
  // whileLocked (when set) runs right after, as another program's change just before ours
  // would have landed.
  ChangeLockResult LockForChange(const char*, const char*, uint32_t waitMs) override {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      lockWaits.push_back(waitMs);
      if (!lockedBy.empty()) return {nullptr, lockedBy};
      ++locksHeld;
      hook = std::exchange(beforeLockGranted, nullptr);
    }
    if (hook) hook();
    return {std::make_unique<CountedLock>(*this), {}};
  }
  void HoldWhileRunning(const char* name) override {
    std::lock_guard lock(mutex_);
    held.insert(name);
  }
  bool HeldByAnotherProgram(const char* name) override {
    std::lock_guard lock(mutex_);
    return heldByOthers.count(name) != 0;
  }
  const char* TextLineBreak() const override { return "\n"; }

  bool Has(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return files.count(name) != 0;
  }
  std::string Content(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = files.find(name);
    return it == files.end() ? std::string() : it->second;
  }
  void Put(const std::string& name, const std::string& content) {
    std::lock_guard lock(mutex_);
    files[name] = content;
  }

  std::map<std::string, std::string> files;
  std::map<std::string, NewFileAccess> accessOf;  // as asked by the last save of each
  std::set<std::string> held;                      // HoldWhileRunning by this program
  std::set<std::string> heldByOthers;
  bool failWrites = false;
  FileProblem writeProblem = FileProblem::DiskFull;  // what a failed write reports
  bool unreadable = false;
  int reads = 0;
  int replaces = 0;
  int replacesWithoutLock = 0;  // saves made without the right to change the file
  int locksHeld = 0;
  std::string lockedBy;                      // another program holding the right to change
  std::vector<uint32_t> lockWaits;           // how long each LockForChange would wait
  std::function<void()> beforeLockGranted;   // once: another program's save just before ours

 private:
  class CountedLock final : public FileChangeLock {
   public:
    explicit CountedLock(MemoryFileStore& store) : store_(store) {}
    ~CountedLock() override {
      std::lock_guard lock(store_.mutex_);
      --store_.locksHeld;
    }

   private:
    MemoryFileStore& store_;
  };

  mutable std::mutex mutex_;
};

class FixedWallClock final : public IWallClock {
 public:
  int64_t UtcSecondsNow() override { return seconds; }
  // Sun Dec 06 22:10:04 2026 UTC
  int64_t seconds = 1796595004;
};

}  // namespace vqx::testing
