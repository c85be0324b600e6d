#include "win32/port_survey.h"

#include "win32/windows_api.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "printable_name.h"

#include "win32/wide_text.h"
#include "win32/win32_serial_port.h"

namespace vqx::win32 {
namespace {

constexpr unsigned kHighestComPort = 256;

void AddRegistryPorts(std::set<unsigned>& numbers) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[256];
    DWORD nameLength = 256;
    wchar_t data[64] = {};
    DWORD dataBytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataBytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    const unsigned number = ComPortNumber(NarrowToUtf8(data));
    if (number != 0) numbers.insert(number);
  }
  ::RegCloseKey(key);
}

void AddDosDevicePorts(std::set<unsigned>& numbers, Win32Calls& calls) {
  // A machine with many devices needs more than any fixed buffer: QueryDosDevice then
  // fails as a whole, so grow and ask again rather than lose every port.
  constexpr size_t kMaxBuffer = 16U * 1024U * 1024U;
  std::wstring names(64U * 1024U, L'\0');
  DWORD length = 0;
  for (;;) {
    length = calls.QueryDosDevices(nullptr, names.data(), static_cast<DWORD>(names.size()));
    if (length != 0) break;
    if (calls.LastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= kMaxBuffer) return;
    names.assign(names.size() * 2, L'\0');
  }
  for (size_t start = 0; start < length && names[start] != L'\0';) {
    size_t end = names.find(L'\0', start);
    if (end == std::wstring::npos || end > length) end = length;
    const unsigned number = ComPortNumber(NarrowToUtf8(names.substr(start, end - start)));
    if (number != 0) numbers.insert(number);
    start = end + 1;
  }
}

PortOpenResult TryOpen(Win32Calls& calls, const std::string& name) {
  PortOpenResult result;
  const std::wstring path = WidenUtf8(ResolvePortName(name));
  const HANDLE handle = calls.OpenDevice(path.c_str());
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = calls.LastError();
    result.systemError = static_cast<int>(error);
    result.error = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? PortOpenError::Busy
                   : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PortOpenError::NotFound
                                                                                    : PortOpenError::Other;
    return result;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (!calls.GetState(handle, &dcb)) {
    result.systemError = static_cast<int>(calls.LastError());
    result.error = PortOpenError::NotASerialPort;
  } else {
    result.ok = true;
  }
  calls.Close(handle);
  return result;
}

}  // namespace

unsigned ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  unsigned value = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    value = value * 10U + static_cast<unsigned>(name[i] - '0');
  }
  return value >= 1 && value <= kHighestComPort ? value : 0;
}

std::vector<std::string> ComPortNames() {
  std::set<unsigned> numbers;
  AddRegistryPorts(numbers);
  AddDosDevicePorts(numbers, RealWin32Calls());
  std::vector<std::string> names;
  for (const unsigned number : numbers) names.push_back("COM" + std::to_string(number));
  return names;
}

std::vector<std::string> DosDeviceComPorts(Win32Calls& calls) {
  std::set<unsigned> numbers;
  AddDosDevicePorts(numbers, calls);
  std::vector<std::string> names;
  for (const unsigned number : numbers) names.push_back("COM" + std::to_string(number));
  return names;
}

std::string DescribePortOpenFailure(const std::string& name, const PortOpenResult& result) {
  if (result.ok) return {};
  const std::string shown = detail::PrintableName(name.empty() ? std::string("(no port name)") : name);
  switch (result.error) {
    case PortOpenError::NotFound:
      if (ComPortNumber(name) != 0) {
        return "There is no " + shown + " on this computer; the adapter may be unplugged.";
      }
      return "There is no port " + shown + " on this computer: check the port name and that the adapter is plugged in.";
    case PortOpenError::Busy: return shown + " is in use by another program.";
    case PortOpenError::PermissionDenied: return "Windows refused access to " + shown + ".";
    case PortOpenError::NotASerialPort: return shown + " is not a serial port.";
    case PortOpenError::None:
    case PortOpenError::Other: break;
  }
  if (result.systemError != 0) {
    std::string reason = std::system_category().message(result.systemError);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.' ||
                               reason.back() == ' ')) {
      reason.pop_back();
    }
    return shown + " could not be opened: " + reason + ".";
  }
  return shown + " could not be opened.";
}

std::vector<SerialPortEntry> ListSerialPorts(const std::vector<std::string>& names, bool tryOpening,
                                             Win32Calls& calls) {
  std::vector<SerialPortEntry> out;
  for (const std::string& name : names) {
    SerialPortEntry entry;
    entry.device = name;
    if (tryOpening) {
      const PortOpenResult result = TryOpen(calls, name);
      entry.canOpen = result.ok;
      entry.problem = win32::DescribePortOpenFailure(name, result);
    }
    out.push_back(std::move(entry));
  }
  return out;
}

}  // namespace vqx::win32
