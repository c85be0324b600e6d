#include "win32/windows_api.h"

#include <system_error>

#include "system_port.h"
#include "win32/wide_text.h"

namespace vqx {
namespace {

NamedFileRead Because(DWORD code) {
  NamedFileRead result;
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: result.outcome = NamedFileRead::Outcome::NotFound; break;
    case ERROR_CANT_RESOLVE_FILENAME: result.outcome = NamedFileRead::Outcome::LinkLoop; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: result.outcome = NamedFileRead::Outcome::PermissionDenied; break;
    default:
      result.outcome = NamedFileRead::Outcome::Failed;
      result.systemMessage = std::system_category().message(static_cast<int>(code));
      while (!result.systemMessage.empty() &&
             (result.systemMessage.back() == '\n' || result.systemMessage.back() == '\r' ||
              result.systemMessage.back() == '.')) {
        result.systemMessage.pop_back();
      }
  }
  return result;
}

NamedFileRead ReadHandle(HANDLE handle, size_t limit, std::string* content) {
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(handle, buffer, sizeof(buffer), &got, nullptr)) {
      const DWORD error = ::GetLastError();
      // The writing end of a pipe closed: that is its end, not a failure.
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return {NamedFileRead::Outcome::Read, {}};
      return Because(error);
    }
    if (got == 0) return {NamedFileRead::Outcome::Read, {}};
    content->append(buffer, got);
    if (content->size() > limit) return {NamedFileRead::Outcome::TooLarge, {}};
  }
}

}  // namespace

NamedFileRead ReadNamedFile(const std::string& path, size_t limit, std::string* content) {
  const std::wstring wide = win32::WidenUtf8(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {NamedFileRead::Outcome::Folder, {}};
  }
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Because(::GetLastError());
  NamedFileRead result;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    result.outcome = NamedFileRead::Outcome::NotARegularFile;
  } else {
    result = ReadHandle(handle, limit, content);
  }
  ::CloseHandle(handle);
  return result;
}

NamedFileRead ReadStandardInput(size_t limit, std::string* content) {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return {NamedFileRead::Outcome::Read, {}};
  return ReadHandle(input, limit, content);
}

}  // namespace vqx
