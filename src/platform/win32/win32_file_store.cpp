#include "win32/win32_file_store.h"

#include <cstring>
#include <utility>
#include <vector>

#include "win32/wide_text.h"

namespace vqx::win32 {
namespace {

// The lock that marks a file as held lies far beyond any content: Windows locks are
// mandatory, and one over the data would stop other programs from reading it.
constexpr DWORD kHoldOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kHoldOffsetLow = 0;

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

std::wstring DirectoryOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring BaseOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The file a symbolic link ends at, so that a save replaces the target, not the link.
std::wstring FinalPath(const std::wstring& path) {
  const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  std::wstring out(MAX_PATH, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(handle, out.data(), static_cast<DWORD>(out.size()), 0);
  if (length >= out.size()) {
    out.resize(length + 1U);
    length = ::GetFinalPathNameByHandleW(handle, out.data(), static_cast<DWORD>(out.size()), 0);
  }
  ::CloseHandle(handle);
  if (length == 0 || length >= out.size()) return path;
  out.resize(length);
  return out;
}

// "PID-N" of a temporary's name; false for anything else.
bool ParseTemporarySuffix(const std::wstring& suffix, DWORD* pid) {
  const size_t dash = suffix.find(L'-');
  if (dash == 0 || dash == std::wstring::npos || dash + 1 == suffix.size() || dash > 9) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (i != dash && (suffix[i] < L'0' || suffix[i] > L'9')) return false;
  }
  *pid = static_cast<DWORD>(std::wcstoul(suffix.substr(0, dash).c_str(), nullptr, 10));
  return *pid > 0;
}

bool ProcessIsGone(DWORD pid) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

FileResult FileResultFor(DWORD error) {
  const int code = static_cast<int>(error);
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {FileProblem::DiskFull, code};
    case ERROR_WRITE_PROTECT: return {FileProblem::ReadOnlyFileSystem, code};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return {FileProblem::PermissionDenied, code};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return {FileProblem::NotFound, code};
    case ERROR_DIRECTORY: return {FileProblem::NotARegularFile, code};
    default: return {FileProblem::Other, code};
  }
}

Win32FileStore::Win32FileStore(std::string directory) : directory_(std::move(directory)) {}

Win32FileStore::~Win32FileStore() {
  for (const auto& [name, handle] : held_) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
}

std::string Win32FileStore::PathOf(const char* name) const {
  if (directory_.empty()) return name;
  const char last = directory_.back();
  if (last == '/' || last == '\\') return directory_ + name;
  return directory_ + "\\" + name;
}

// As the About box shows it: from the drive, so a user can find the file.
std::string Win32FileStore::FullPath(const char* name) const {
  const std::wstring path = Widen(PathOf(name));
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return PathOf(name);
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return PathOf(name);
  full.resize(written);
  return Narrow(full);
}

int64_t Win32FileStore::ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why) {
  const std::wstring path = Widen(PathOf(name));
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsFolder(attributes)) {
    if (why) *why = {FileProblem::NotARegularFile, 0};
    return -1;
  }
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (why) *why = FileResultFor(::GetLastError());
    return -1;
  }
  // A device (CON, COM1, a pipe) under a file's name is refused without reading from it.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    if (why) *why = {FileProblem::NotARegularFile, 0};
    return -1;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  DWORD failure = 0;
  while (total < capacity) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(capacity - total, 1U << 20));
    DWORD got = 0;
    if (!::ReadFile(handle, out + total, chunk, &got, nullptr)) {
      failure = ::GetLastError();
      break;
    }
    if (got == 0) break;  // end of file
    total += got;
  }
  ::CloseHandle(handle);
  // Part of a file is no file: the caller would take the rest for content.
  if (failure != 0) {
    if (why) *why = FileResultFor(failure);
    return -1;
  }
  return static_cast<int64_t>(total);
}

FileResult Win32FileStore::WriteTemporary(const std::wstring& temporary, const void* data, size_t size, bool* created) {
  const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileResultFor(::GetLastError());
  *created = true;
  const auto* in = static_cast<const uint8_t*>(data);
  size_t done = 0;
  DWORD failure = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1U << 20));
    DWORD put = 0;
    if (!::WriteFile(handle, in + done, chunk, &put, nullptr)) {
      failure = ::GetLastError();
      break;
    }
    if (put == 0) {
      failure = ERROR_WRITE_FAULT;  // a file that takes nothing: never loop on it
      break;
    }
    done += put;
  }
  if (failure == 0 && !::FlushFileBuffers(handle)) failure = ::GetLastError();
  if (!::CloseHandle(handle) && failure == 0) failure = ::GetLastError();
  return failure == 0 ? FileResult::Ok() : FileResultFor(failure);
}

void Win32FileStore::RemoveStaleTemporaries(const std::wstring& target) {
  const std::wstring directory = DirectoryOf(target);
  const std::wstring prefix = BaseOf(target) + L".tmp-";
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((directory + L"\\" + prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME nowTime{};
  ::GetSystemTimeAsFileTime(&nowTime);
  const uint64_t now = FileTimeValue(nowTime);
  do {
    const std::wstring name = found.cFileName;
    DWORD pid = 0;
    if (IsFolder(found.dwFileAttributes) || name.compare(0, prefix.size(), prefix) != 0 ||
        !ParseTemporarySuffix(name.substr(prefix.size()), &pid)) {
      continue;
    }
    const uint64_t written = FileTimeValue(found.ftLastWriteTime);
    const bool old = now > written && (now - written) / 10000000ULL > static_cast<uint64_t>(kStaleTemporarySeconds);
    // A recent one of this process may be another save's, being written right now.
    const bool writerGone = pid != ::GetCurrentProcessId() && ProcessIsGone(pid);
    if (writerGone || old) ::DeleteFileW((directory + L"\\" + name).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

FileResult Win32FileStore::ReplaceFile(const char* name, const void* data, size_t size, NewFileAccess /*access*/) {
  // The new file takes the folder's permissions, as any file saved there would; one that
  // replaces another keeps nothing of the old one's but its name (MoveFileExW), which is
  // what every Windows editor's save does.
  std::wstring target = Widen(PathOf(name));
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (IsFolder(attributes)) return {FileProblem::NotARegularFile, 0};
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) target = FinalPath(target);
    const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
      if (IsFolder(targetAttributes)) return {FileProblem::NotARegularFile, 0};
      // The read-only mark is the owner's "leave it alone".
      if ((targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) return {FileProblem::ReadOnlyFile, 0};
    }
  } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
    const FileResult why = FileResultFor(::GetLastError());
    if (why.problem != FileProblem::NotFound) return why;
  }
  RemoveStaleTemporaries(target);

  // Unique per process and per call, so two saves at once never share a temporary; a
  // name already taken is passed over (CREATE_NEW never opens what stands there).
  constexpr int kNameAttempts = 100;
  std::wstring temporary;
  bool created = false;
  FileResult result;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = target + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(temporaryCounter_.fetch_add(1));
    result = WriteTemporary(temporary, data, size, &created);
    if (created || (result.systemError != ERROR_FILE_EXISTS && result.systemError != ERROR_ALREADY_EXISTS)) break;
  }
  if (!result) {
    if (created) ::DeleteFileW(temporary.c_str());
    return result;
  }

  std::lock_guard lock(heldMutex_);
  // Our own hold keeps the file open; Windows will not replace an open file.
  const bool held = held_.count(name) != 0;
  if (held) ReleaseHold(name);
  if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result = FileResultFor(::GetLastError());
    ::DeleteFileW(temporary.c_str());
  }
  if (held) TakeHold(name);
  return result;
}

namespace {

// Holds the lock of a companion lock file. The file stays: removing it would let a
// program that opened it a moment earlier lock a file no longer in the folder.
class Win32ChangeLock final : public FileChangeLock {
 public:
  explicit Win32ChangeLock(HANDLE handle) : handle_(handle) {}
  ~Win32ChangeLock() override {
    // Closing would release it too, but only "when resources allow": at once is sure.
    OVERLAPPED at{};
    at.Offset = kHoldOffsetLow;
    at.OffsetHigh = kHoldOffsetHigh;
    ::UnlockFileEx(handle_, 0, 1, 0, &at);
    ::CloseHandle(handle_);
  }
  Win32ChangeLock(const Win32ChangeLock&) = delete;
  Win32ChangeLock& operator=(const Win32ChangeLock&) = delete;

 private:
  HANDLE handle_;
};

constexpr DWORD kHolderTextMax = 200;

// What the holder wrote into the lock file: one line of printable text, or empty.
std::string ReadHolder(HANDLE handle) {
  char buffer[kHolderTextMax];
  DWORD n = 0;
  if (::SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !::ReadFile(handle, buffer, sizeof(buffer), &n, nullptr)) {
    return {};
  }
  std::string text;
  for (DWORD i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(buffer[i]);
    if (c == '\r' || c == '\n') break;
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return text;
}

}  // namespace

ChangeLockResult Win32FileStore::LockForChange(const char* name, const char* program, uint32_t waitMs) {
  std::wstring target = Widen(PathOf(name));
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    target = FinalPath(target);
  }
  const std::wstring lockPath = target + kChangeLockSuffix;
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = ::CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // Another user's lock file: locking it for reading still keeps us in turn.
    handle = ::CreateFileW(lockPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  }
  if (handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  // No lock file can be had where no save can be written either (a read-only or missing
  // folder): the save goes ahead and names the real problem.
  if (handle == INVALID_HANDLE_VALUE) return {std::make_unique<FileChangeLock>(), {}};

  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    OVERLAPPED at{};
    at.Offset = kHoldOffsetLow;
    at.OffsetHigh = kHoldOffsetHigh;
    if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
    const DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      // A file system without locks: as without a lock file.
      ::CloseHandle(handle);
      return {std::make_unique<FileChangeLock>(), {}};
    }
    if (::GetTickCount64() - start >= waitMs) {
      ChangeLockResult refused{nullptr, ReadHolder(handle)};
      ::CloseHandle(handle);
      return refused;
    }
    ::Sleep(10);  // a save takes a few milliseconds
  }
  // Says who holds it to whoever waits next. Best effort: the lock is what counts.
  const std::string holder = std::string(program) + " (process " + std::to_string(::GetCurrentProcessId()) + ")\r\n";
  DWORD written = 0;
  if (::SetFilePointer(handle, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && ::SetEndOfFile(handle)) {
    ::WriteFile(handle, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr);
  }
  return {std::make_unique<Win32ChangeLock>(handle), {}};
}

void Win32FileStore::ReleaseHold(const std::string& name) {
  HANDLE& handle = held_[name];
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
}

void Win32FileStore::TakeHold(const std::string& name) {
  ReleaseHold(name);
  const std::wstring path = Widen(PathOf(name.c_str()));
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  OVERLAPPED at{};
  at.Offset = kHoldOffsetLow;
  at.OffsetHigh = kHoldOffsetHigh;
  if (::GetFileType(handle) != FILE_TYPE_DISK ||
      !::LockFileEx(handle, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    ::CloseHandle(handle);
    return;
  }
  held_[name] = handle;
}

void Win32FileStore::HoldWhileRunning(const char* name) {
  std::lock_guard lock(heldMutex_);
  held_.emplace(name, INVALID_HANDLE_VALUE);
  TakeHold(name);
}

bool Win32FileStore::HeldByAnotherProgram(const char* name) {
  const std::wstring path = Widen(PathOf(name));
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool held = false;
  if (::GetFileType(handle) == FILE_TYPE_DISK) {
    // A shared lock of the desktop program keeps an exclusive one from being taken.
    OVERLAPPED at{};
    at.Offset = kHoldOffsetLow;
    at.OffsetHigh = kHoldOffsetHigh;
    if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      ::UnlockFileEx(handle, 0, 1, 0, &at);
    } else {
      held = ::GetLastError() == ERROR_LOCK_VIOLATION;
    }
  }
  ::CloseHandle(handle);
  return held;
}

}  // namespace vqx::win32
