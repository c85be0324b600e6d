#include "win32/process_text.h"

#include "system_port.h"
#include "win32/wide_text.h"

namespace vqx::win32 {

std::string EnvironmentText(Win32Calls& calls, const wchar_t* name) {
  std::wstring value(256, L'\0');
  // The value may change between the two calls; a few tries, then give up.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD got = calls.EnvironmentVariable(name, value.data(), static_cast<DWORD>(value.size()));
    if (got == 0) return {};
    if (got < value.size()) {
      value.resize(got);
      return NarrowToUtf8(value);
    }
    value.assign(got, L'\0');
  }
  return {};
}

std::vector<std::string> ProgramArguments(Win32Calls& calls, int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = calls.CommandLineArguments(&count);
  if (wide != nullptr && count == argc) {
    for (int i = 1; i < count; ++i) args.push_back(NarrowToUtf8(wide[i]));
  } else {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  }
  if (wide != nullptr) ::LocalFree(wide);
  return args;
}

}  // namespace vqx::win32

namespace vqx {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return win32::ProgramArguments(win32::RealWin32Calls(), argc, argv);
}

}  // namespace vqx
