#include "win32/win32_file_store.h"

#include <sddl.h>

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

// Another program has the file open without sharing it; it lets go within moments. The
// second is what ReplaceFileW says when the replaced file could not be opened for that.
bool IsTransient(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED; }

// What ReplaceFileW says on a file system that cannot do it (some network shares).
bool ReplaceUnsupported(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A security descriptor made from SDDL, freed with the object.
class Descriptor {
 public:
  explicit Descriptor(const std::wstring& sddl) {
    if (!sddl.empty()) {
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr);
    }
  }
  ~Descriptor() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// Moves size bytes in pieces of at most 1 MiB (one ReadFile or WriteFile takes a DWORD)
// through move(offset, piece, &moved), which is a ReadFile or WriteFile on calls. Returns the
// error that stopped it, whenNothingMoves when a call moves no byte (the end of a file read,
// a file that takes nothing: never loop on it), 0 when all moved; *done counts the bytes moved.
template <typename Move>
DWORD MoveInPieces(Win32Calls& calls, size_t size, DWORD whenNothingMoves, size_t* done, Move move) {
  *done = 0;
  while (*done < size) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size - *done, 1U << 20));
    DWORD moved = 0;
    if (!move(*done, piece, &moved)) return calls.LastError();
    if (moved == 0) return whenNothingMoves;
    *done += moved;
  }
  return 0;
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

Win32FileStore::Win32FileStore(std::string directory, Win32Calls& calls)
    : directory_(std::move(directory)), calls_(calls) {}

Win32FileStore::~Win32FileStore() {
  for (const auto& [name, handle] : held_) {
    if (handle != INVALID_HANDLE_VALUE) calls_.Close(handle);
  }
}

template <typename Call>
auto Win32FileStore::RetryWhileShared(Call call) {
  const uint64_t start = calls_.TickCount();
  for (;;) {
    const DWORD error = call();
    if (!IsTransient(error) || calls_.TickCount() - start >= kSharingRetryMs) return error;
    calls_.SleepMs(kSharingRetryPauseMs);
  }
}

std::wstring Win32FileStore::OwnerOnlySddl() {
  static const std::wstring sddl = [] {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
    DWORD needed = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> user(needed);
    wchar_t* sid = nullptr;
    const bool known = needed != 0 && ::GetTokenInformation(token, TokenUser, user.data(), needed, &needed) &&
                       ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
    ::CloseHandle(token);
    if (!known) return std::wstring();
    // "P": the folder's inheritable entries (Users: read, ...) do not apply.
    std::wstring text = L"D:P(A;;FA;;;" + std::wstring(sid) + L")(A;;FA;;;SY)(A;;FA;;;BA)";
    ::LocalFree(sid);
    return text;
  }();
  return sddl;
}

std::string Win32FileStore::PathOf(const char* name) const {
  if (directory_.empty()) return name;
  const char last = directory_.back();
  if (last == '/' || last == '\\') return directory_ + name;
  return directory_ + "\\" + name;
}

// As the About box shows it: from the drive, so a user can find the file.
std::string Win32FileStore::FullPath(const char* name) const {
  const std::wstring path = WidenUtf8(PathOf(name));
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return PathOf(name);
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return PathOf(name);
  full.resize(written);
  return NarrowToUtf8(full);
}

int64_t Win32FileStore::ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why) {
  const std::wstring path = WidenUtf8(PathOf(name));
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsFolder(attributes)) {
    if (why) *why = {FileProblem::NotARegularFile, 0};
    return -1;
  }
  RetakeLostHold(name);
  HANDLE handle = INVALID_HANDLE_VALUE;
  const DWORD error = RetryWhileShared([&] {
    handle = calls_.OpenFile(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    return handle == INVALID_HANDLE_VALUE ? calls_.LastError() : DWORD{0};
  });
  if (handle == INVALID_HANDLE_VALUE) {
    if (why) *why = FileResultFor(error);
    return -1;
  }
  // A device (CON, COM1, a pipe) under a file's name is refused without reading from it.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    calls_.Close(handle);
    if (why) *why = {FileProblem::NotARegularFile, 0};
    return -1;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  const DWORD failure = MoveInPieces(calls_, capacity, 0, &total, [&](size_t at, DWORD piece, DWORD* got) {
    return calls_.Read(handle, out + at, piece, got);
  });
  calls_.Close(handle);
  // Part of a file is no file: the caller would take the rest for content.
  if (failure != 0) {
    if (why) *why = FileResultFor(failure);
    return -1;
  }
  return static_cast<int64_t>(total);
}

FileResult Win32FileStore::WriteTemporary(const std::wstring& temporary, const void* data, size_t size,
                                          NewFileAccess access, bool* created) {
  // Where there is no old file, the temporary becomes the file as it is created here: one
  // that holds passwords is never readable by others, not even for a moment. Replacing an
  // old file, ReplaceFileW puts that file's ACL on it instead. Without the user's SID the
  // file takes the folder's permissions, as any file saved there would.
  const Descriptor ownerOnly(access == NewFileAccess::OwnerOnly ? OwnerOnlySddl() : std::wstring());
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), ownerOnly.get(), FALSE};
  const HANDLE handle = calls_.OpenFile(temporary.c_str(), GENERIC_WRITE, 0,
                                        ownerOnly.get() != nullptr ? &security : nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) return FileResultFor(calls_.LastError());
  *created = true;
  const auto* in = static_cast<const uint8_t*>(data);
  size_t done = 0;
  DWORD failure = MoveInPieces(calls_, size, ERROR_WRITE_FAULT, &done, [&](size_t at, DWORD piece, DWORD* put) {
    return calls_.Write(handle, in + at, piece, put);
  });
  if (failure == 0 && !calls_.Flush(handle)) failure = calls_.LastError();
  if (!calls_.Close(handle) && failure == 0) failure = calls_.LastError();
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

FileResult Win32FileStore::ReplaceFile(const char* name, const void* data, size_t size, NewFileAccess access) {
  // A new file takes the folder's permissions, or only its owner's (access); one that
  // replaces another keeps the old one's ACL, attributes and streams (ReplaceFileW).
  // From the drive: ReplaceFileW is not given a relative name (Wine's fails on one).
  std::wstring target = WidenUtf8(FullPath(name));
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  DWORD ownersMarks = 0;  // what the owner set on the old file, for the new one
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (IsFolder(attributes)) return {FileProblem::NotARegularFile, 0};
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) target = FinalPath(target);
    const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES) {
      if (IsFolder(targetAttributes)) return {FileProblem::NotARegularFile, 0};
      // The read-only mark is the owner's "leave it alone".
      if ((targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) return {FileProblem::ReadOnlyFile, 0};
      ownersMarks = targetAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                        FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
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
    result = WriteTemporary(temporary, data, size, access, &created);
    if (created || (result.systemError != ERROR_FILE_EXISTS && result.systemError != ERROR_ALREADY_EXISTS)) break;
  }
  if (!result) {
    if (created) ::DeleteFileW(temporary.c_str());
    return result;
  }

  std::lock_guard lock(heldMutex_);
  result = PutInPlace(temporary, target, name);
  if (!result) ::DeleteFileW(temporary.c_str());
  // ReplaceFileW carries them over; where it could not be used (or, as in Wine, does
  // not), a hidden file must not come back visible.
  const DWORD now = ::GetFileAttributesW(target.c_str());
  if (result && now != INVALID_FILE_ATTRIBUTES && (now & ownersMarks) != ownersMarks) {
    ::SetFileAttributesW(target.c_str(), (now & FILE_ATTRIBUTE_ARCHIVE) | ownersMarks);
  }
  const auto hold = held_.find(name);
  if (hold != held_.end() && (result || hold->second == INVALID_HANDLE_VALUE)) {
    // The old handle marks the old file only. The new one is marked before that handle
    // goes, so the file is never unmarked while this program runs, unless another
    // program keeps the new file from being opened all the retry time: then Holding()
    // says so, and the next read or save tries again.
    HANDLE fresh = INVALID_HANDLE_VALUE;
    RetryWhileShared([&] {
      DWORD error = 0;
      fresh = OpenHold(name, &error);
      return error;
    });
    ReleaseHold(name);
    hold->second = fresh;
  }
  return result;
}

FileResult Win32FileStore::PutInPlace(const std::wstring& temporary, const std::wstring& target,
                                      const std::string& name) {
  const auto targetGone = [&] {
    return ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES && ::GetLastError() == ERROR_FILE_NOT_FOUND;
  };
  if (!targetGone()) {
    const auto replace = [&] {
      return RetryWhileShared(
          [&] { return calls_.Replace(target.c_str(), temporary.c_str(), 0) ? DWORD{0} : calls_.LastError(); });
    };
    // Our own hold is opened sharing everything, as ReplaceFileW opens the replaced file.
    DWORD error = replace();
    const auto hold = held_.find(name);
    const bool holding = hold != held_.end() && hold->second != INVALID_HANDLE_VALUE;
    if (holding && !targetGone() &&
        (error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || ReplaceUnsupported(error))) {
      // A file system that will not rename over a file still open anywhere: let go of
      // ours, it is taken again on the new file.
      ReleaseHold(name);
      error = replace();
    }
    if (error == 0) return FileResult::Ok();
    // Without a backup name, ReplaceFileW may fail after the old file is gone
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT), or the old file went since the look above:
    // the new content still goes under the name. Where ReplaceFileW cannot be used at
    // all, the save is made as before it was.
    if (!targetGone() && !ReplaceUnsupported(error)) return FileResultFor(error);
  }
  const DWORD error = RetryWhileShared([&] {
    return calls_.Move(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? DWORD{0}
               : calls_.LastError();
  });
  return error == 0 ? FileResult::Ok() : FileResultFor(error);
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
  std::wstring target = WidenUtf8(PathOf(name));
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
  if (handle != INVALID_HANDLE_VALUE) calls_.Close(handle);
  handle = INVALID_HANDLE_VALUE;
}

HANDLE Win32FileStore::OpenHold(const std::string& name, DWORD* error) {
  const std::wstring path = WidenUtf8(PathOf(name.c_str()));
  const HANDLE handle =
      calls_.OpenFile(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = calls_.LastError();
    return handle;
  }
  static_assert(kHoldOffsetLow == 0);
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    *error = ERROR_INVALID_FUNCTION;
  } else if (!calls_.LockByte(handle, LOCKFILE_FAIL_IMMEDIATELY, kHoldOffsetHigh)) {
    *error = calls_.LastError();
  } else {
    *error = 0;
    return handle;
  }
  calls_.Close(handle);
  return INVALID_HANDLE_VALUE;
}

void Win32FileStore::TakeHold(const std::string& name) {
  ReleaseHold(name);
  DWORD error = 0;
  held_[name] = OpenHold(name, &error);
}

void Win32FileStore::RetakeLostHold(const std::string& name) {
  std::lock_guard lock(heldMutex_);
  const auto hold = held_.find(name);
  if (hold != held_.end() && hold->second == INVALID_HANDLE_VALUE) TakeHold(name);
}

bool Win32FileStore::Holding(const char* name) {
  std::lock_guard lock(heldMutex_);
  const auto hold = held_.find(name);
  return hold != held_.end() && hold->second != INVALID_HANDLE_VALUE;
}

void Win32FileStore::HoldWhileRunning(const char* name) {
  std::lock_guard lock(heldMutex_);
  held_.emplace(name, INVALID_HANDLE_VALUE);
  TakeHold(name);
}

bool Win32FileStore::HeldByAnotherProgram(const char* name) {
  const std::wstring path = WidenUtf8(PathOf(name));
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
