#pragma once

#include "win32/windows_api.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "port/file_store.h"
#include "win32/win32_calls.h"

namespace vqx::win32 {

// The program's files in one directory (empty: the working directory), names in UTF-8.
// A replacement is written to a temporary file beside the real file (the target of a
// symbolic link), flushed to the disk, then put in its place with ReplaceFileW, which
// keeps the old file's ACL, attributes and streams (MoveFileExW where there is no old
// file), so the old content survives a full disk, an I/O error or a crash.
class Win32FileStore final : public IFileStore {
 public:
  explicit Win32FileStore(std::string directory, Win32Calls& calls = RealWin32Calls());
  ~Win32FileStore() override;
  Win32FileStore(const Win32FileStore&) = delete;
  Win32FileStore& operator=(const Win32FileStore&) = delete;

  int64_t ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why = nullptr) override;
  FileResult ReplaceFile(const char* name, const void* data, size_t size,
                         NewFileAccess access = NewFileAccess::Shared) override;
  ChangeLockResult LockForChange(const char* name, const char* program, uint32_t waitMs) override;
  void HoldWhileRunning(const char* name) override;
  bool HeldByAnotherProgram(const char* name) override;
  const char* TextLineBreak() const override { return "\r\n"; }
  std::string FullPath(const char* name) const override;

  // Where a name lands: the directory joined with it.
  std::string PathOf(const char* name) const;

  // The companion file whose lock is the right to change name: name + this, beside the
  // real file (the target of a link). The file being replaced cannot carry that lock: each
  // save puts a new file in its place.
  static constexpr const wchar_t* kChangeLockSuffix = L".lock";

  // A temporary left by another process is removed by the next save of its file once
  // that process is gone, or once it is this old (process numbers are reused).
  static constexpr int64_t kStaleTemporarySeconds = 3600;

  // A virus scanner or an indexer opens a file without sharing it for a moment: reads,
  // replacements and the hold's re-taking try again this long before they give up.
  static constexpr uint64_t kSharingRetryMs = 2000;
  static constexpr DWORD kSharingRetryPauseMs = 50;

  // Whether the hold HoldWhileRunning asked for is in place now. False after a save that
  // could not mark the new file (someone kept it from being opened for the whole retry
  // time): the next read or save of the file tries again.
  bool Holding(const char* name);

  // The security descriptor of a new file no one else may read, in SDDL: full access for
  // this user, SYSTEM and the Administrators, nothing inherited from the folder. Empty
  // when the user's SID cannot be learned.
  static std::wstring OwnerOnlySddl();

 private:
  FileResult WriteTemporary(const std::wstring& temporary, const void* data, size_t size, NewFileAccess access,
                            bool* created);
  void RemoveStaleTemporaries(const std::wstring& target);
  // ReplaceFileW, or MoveFileExW where there is nothing to replace; heldMutex_ held.
  FileResult PutInPlace(const std::wstring& temporary, const std::wstring& target, const std::string& name);
  // The handle with the hold's lock, or INVALID_HANDLE_VALUE and why.
  HANDLE OpenHold(const std::string& name, DWORD* error);
  void TakeHold(const std::string& name);     // heldMutex_ held
  void ReleaseHold(const std::string& name);  // heldMutex_ held
  void RetakeLostHold(const std::string& name);
  // Until the call succeeds, or fails otherwise than with a sharing violation, or the retry
  // time is up. Returns the last call's result.
  template <typename Call>
  auto RetryWhileShared(Call call);

  std::string directory_;
  Win32Calls& calls_;
  std::atomic<uint32_t> temporaryCounter_{0};
  std::mutex heldMutex_;
  std::map<std::string, HANDLE> held_;  // name -> handle with the shared lock, or invalid
};

// Why a file operation failed, from GetLastError.
FileResult FileResultFor(DWORD error);

}  // namespace vqx::win32
