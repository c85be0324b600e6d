#pragma once

// The file calls as real Windows makes them, on top of Wine's: Wine ignores share modes
// and ACLs, so this keeps the table of open handles and refuses what Windows refuses
// (ReplaceFileW opens the replacement without sharing it and the replaced file sharing
// everything; MoveFileExW will not rename over a file open anywhere), plays a virus
// scanner that holds a file for a number of tries, and keeps the security descriptor each
// new file was asked for. Its clock moves only when the store sleeps, so waits cost no time.

#include "win32/windows_api.h"

#include <sddl.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "win32/win32_calls.h"

namespace vqx::win32::testing {

class FakeFileCalls : public Win32Calls {
 public:
  // Opens of a path ending in pathEnd fail with ERROR_SHARING_VIOLATION while times > 0.
  struct Scanner {
    std::wstring pathEnd;
    int times = 0;
  };
  Scanner scanner;
  int replaceRefusals = 0;  // the next Replace calls fail with replaceRefusalError
  DWORD replaceRefusalError = ERROR_UNABLE_TO_REMOVE_REPLACED;
  bool replaceUnsupported = false;  // a file system without ReplaceFileW
  // The next Replace removes the replaced file, then fails to rename the replacement
  // (ERROR_UNABLE_TO_MOVE_REPLACEMENT, as ReplaceFileW without a backup name may).
  bool replaceLosesReplaced = false;

  std::vector<std::wstring> createdDacls;  // per CREATE_NEW: the DACL asked for, in SDDL ("" for none)
  int replaces = 0;                         // successful ones
  int moves = 0;
  uint64_t ticks = 1000000;

  HANDLE OpenFile(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                  DWORD flags) override {
    const std::wstring key = Key(path);
    if (scanner.times > 0 && EndsWith(key, Key(scanner.pathEnd.c_str()))) {
      --scanner.times;
      return Fail<HANDLE>(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    }
    for (const auto& [handle, open] : open_) {
      if (open.key == key && !Compatible(open, access, share)) return Fail<HANDLE>(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    }
    if (disposition == CREATE_NEW) createdDacls.push_back(DaclOf(security));
    const HANDLE handle = Win32Calls::OpenFile(path, access, share, security, disposition, flags);
    if (handle != INVALID_HANDLE_VALUE) open_[handle] = {key, access, share};
    return handle;
  }
  BOOL Close(HANDLE handle) override {
    open_.erase(handle);
    return Win32Calls::Close(handle);
  }
  BOOL Replace(const wchar_t* replaced, const wchar_t* replacement, DWORD flags) override {
    if (replaceUnsupported) return Fail<BOOL>(ERROR_NOT_SUPPORTED, FALSE);
    if (replaceLosesReplaced) {
      replaceLosesReplaced = false;
      ::DeleteFileW(replaced);
      return Fail<BOOL>(ERROR_UNABLE_TO_MOVE_REPLACEMENT, FALSE);
    }
    if (replaceRefusals > 0) {
      --replaceRefusals;
      return Fail<BOOL>(replaceRefusalError, FALSE);
    }
    if (OpenElsewhere(replacement, GENERIC_READ | GENERIC_WRITE | DELETE, 0) ||
        OpenElsewhere(replaced, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
      return Fail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    }
    const BOOL done = Win32Calls::Replace(replaced, replacement, flags);
    if (done) ++replaces;
    return done;
  }
  BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags) override {
    if (OpenElsewhere(from, DELETE, 0)) return Fail<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    for (const auto& [handle, open] : open_) {
      if (open.key == Key(to)) return Fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    }
    const BOOL done = Win32Calls::Move(from, to, flags);
    if (done) ++moves;
    return done;
  }
  uint64_t TickCount() override { return ticks; }
  void SleepMs(DWORD ms) override { ticks += ms; }

 private:
  struct Open {
    std::wstring key;
    DWORD access;
    DWORD share;
  };

  static std::wstring Key(const wchar_t* path) {
    std::wstring key = path;
    if (key.rfind(L"\\\\?\\", 0) == 0) key.erase(0, 4);
    std::replace(key.begin(), key.end(), L'/', L'\\');
    std::transform(key.begin(), key.end(), key.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return key;
  }
  static bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
  }
  // Both ways: each open's share mode admits the other's access.
  static bool Compatible(const Open& open, DWORD access, DWORD share) {
    const auto admits = [](DWORD shareMode, DWORD wanted) {
      const bool reads = (wanted & (GENERIC_READ | FILE_READ_DATA)) != 0;
      const bool writes = (wanted & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
      const bool deletes = (wanted & DELETE) != 0;
      return (!reads || (shareMode & FILE_SHARE_READ) != 0) && (!writes || (shareMode & FILE_SHARE_WRITE) != 0) &&
             (!deletes || (shareMode & FILE_SHARE_DELETE) != 0);
    };
    return admits(open.share, access) && admits(share, open.access);
  }
  bool OpenElsewhere(const wchar_t* path, DWORD access, DWORD share) const {
    const std::wstring key = Key(path);
    return std::any_of(open_.begin(), open_.end(),
                       [&](const auto& entry) { return entry.second.key == key && !Compatible(entry.second, access, share); });
  }
  static std::wstring DaclOf(const SECURITY_ATTRIBUTES* security) {
    if (security == nullptr || security->lpSecurityDescriptor == nullptr) return L"";
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(security->lpSecurityDescriptor, SDDL_REVISION_1,
                                                                DACL_SECURITY_INFORMATION, &text, nullptr)) {
      return L"<unreadable>";
    }
    std::wstring dacl = text;
    ::LocalFree(text);
    return dacl;
  }
  template <typename T>
  T Fail(DWORD error, T value) {
    ::SetLastError(error);
    return value;
  }

  std::map<HANDLE, Open> open_;
};

}  // namespace vqx::win32::testing
