#include "win32/win32_calls.h"

#include <mmsystem.h>
#include <shellapi.h>

namespace vqx::win32 {

HANDLE Win32Calls::OpenDevice(const wchar_t* path) {
  return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}
BOOL Win32Calls::Close(HANDLE handle) { return ::CloseHandle(handle); }
BOOL Win32Calls::GetState(HANDLE handle, DCB* dcb) { return ::GetCommState(handle, dcb); }
BOOL Win32Calls::SetState(HANDLE handle, DCB* dcb) { return ::SetCommState(handle, dcb); }
BOOL Win32Calls::SetTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) { return ::SetCommTimeouts(handle, timeouts); }
BOOL Win32Calls::GetTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) { return ::GetCommTimeouts(handle, timeouts); }
BOOL Win32Calls::Purge(HANDLE handle, DWORD flags) { return ::PurgeComm(handle, flags); }
BOOL Win32Calls::ClearErrors(HANDLE handle, DWORD* errors, COMSTAT* status) {
  return ::ClearCommError(handle, errors, status);
}
BOOL Win32Calls::Read(HANDLE handle, void* buffer, DWORD size, DWORD* done) {
  return ::ReadFile(handle, buffer, size, done, nullptr);
}
BOOL Win32Calls::Write(HANDLE handle, const void* data, DWORD size, DWORD* done) {
  return ::WriteFile(handle, data, size, done, nullptr);
}
BOOL Win32Calls::Flush(HANDLE handle) { return ::FlushFileBuffers(handle); }
DWORD Win32Calls::LastError() { return ::GetLastError(); }
HANDLE Win32Calls::OpenFile(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                            DWORD disposition, DWORD flags) {
  return ::CreateFileW(path, access, share, security, disposition, flags, nullptr);
}
BOOL Win32Calls::Replace(const wchar_t* replaced, const wchar_t* replacement, DWORD flags) {
  return ::ReplaceFileW(replaced, replacement, nullptr, flags, nullptr, nullptr);
}
BOOL Win32Calls::Move(const wchar_t* from, const wchar_t* to, DWORD flags) { return ::MoveFileExW(from, to, flags); }
BOOL Win32Calls::LockByte(HANDLE handle, DWORD flags, DWORD offsetHigh) {
  OVERLAPPED at{};
  at.OffsetHigh = offsetHigh;
  return ::LockFileEx(handle, flags, 0, 1, 0, &at);
}
uint64_t Win32Calls::TickCount() { return ::GetTickCount64(); }
void Win32Calls::SleepMs(DWORD ms) { ::Sleep(ms); }
bool Win32Calls::BeginTimerPeriod(UINT ms) { return ::timeBeginPeriod(ms) == TIMERR_NOERROR; }
bool Win32Calls::EndTimerPeriod(UINT ms) { return ::timeEndPeriod(ms) == TIMERR_NOERROR; }
DWORD Win32Calls::QueryDosDevices(const wchar_t* name, wchar_t* buffer, DWORD size) {
  return ::QueryDosDeviceW(name, buffer, size);
}

DWORD Win32Calls::EnvironmentVariable(const wchar_t* name, wchar_t* buffer, DWORD size) {
  return ::GetEnvironmentVariableW(name, buffer, size);
}
wchar_t** Win32Calls::CommandLineArguments(int* count) { return ::CommandLineToArgvW(::GetCommandLineW(), count); }

int Win32Calls::StartSockets() {
  WSADATA data{};
  return ::WSAStartup(MAKEWORD(2, 2), &data);
}
int Win32Calls::ResolveHost(const char* host, const char* service, const addrinfo* hints, addrinfo** found) {
  return ::getaddrinfo(host, service, hints, found);
}
void Win32Calls::FreeHostList(addrinfo* list) { ::freeaddrinfo(list); }
SOCKET Win32Calls::OpenSocket(int family, int type, int protocol) { return ::socket(family, type, protocol); }
int Win32Calls::CloseSocket(SOCKET socket) { return ::closesocket(socket); }
int Win32Calls::SetSocketOption(SOCKET socket, int level, int name, const char* value, int size) {
  return ::setsockopt(socket, level, name, value, size);
}
int Win32Calls::GetSocketOption(SOCKET socket, int level, int name, char* value, int* size) {
  return ::getsockopt(socket, level, name, value, size);
}
int Win32Calls::SocketIoctl(SOCKET socket, long command, u_long* argument) {
  return ::ioctlsocket(socket, command, argument);
}
int Win32Calls::ConnectSocket(SOCKET socket, const sockaddr* address, int size) {
  return ::connect(socket, address, size);
}
int Win32Calls::PollSockets(WSAPOLLFD* sockets, ULONG count, INT timeoutMs) {
  return ::WSAPoll(sockets, count, timeoutMs);
}
int Win32Calls::SendSocket(SOCKET socket, const char* data, int size) { return ::send(socket, data, size, 0); }
int Win32Calls::ReceiveSocket(SOCKET socket, char* buffer, int size) { return ::recv(socket, buffer, size, 0); }
int Win32Calls::SocketControl(SOCKET socket, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                              DWORD* returned) {
  return ::WSAIoctl(socket, code, in, inSize, out, outSize, returned, nullptr, nullptr);
}
int Win32Calls::SocketError() { return ::WSAGetLastError(); }

Win32Calls& RealWin32Calls() {
  static Win32Calls calls;
  return calls;
}

}  // namespace vqx::win32
