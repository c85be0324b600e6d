#pragma once

// Every Windows call the serial port, the clock and the file store make goes through here,
// so tests can produce what real Windows does and Wine cannot: a device removed mid-read
// (ERROR_DEVICE_REMOVED, ERROR_BAD_COMMAND, ...), a write the driver stops taking, a
// tick counter about to wrap, a virus scanner holding a file a moment, a share mode that
// refuses a replace. The default methods make the real calls.

#include "win32/windows_api.h"

#include <cstdint>

namespace vqx::win32 {

class Win32Calls {
 public:
  virtual ~Win32Calls() = default;

  // CreateFileW for a device: read-write, share mode 0 (exclusive), OPEN_EXISTING.
  virtual HANDLE OpenDevice(const wchar_t* path);
  virtual BOOL Close(HANDLE handle);
  virtual BOOL GetState(HANDLE handle, DCB* dcb);
  virtual BOOL SetState(HANDLE handle, DCB* dcb);
  virtual BOOL SetTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts);
  virtual BOOL GetTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts);
  // PurgeComm: drops what the driver holds in either queue.
  virtual BOOL Purge(HANDLE handle, DWORD flags);
  virtual BOOL ClearErrors(HANDLE handle, DWORD* errors, COMSTAT* status);
  virtual BOOL Read(HANDLE handle, void* buffer, DWORD size, DWORD* done);
  virtual BOOL Write(HANDLE handle, const void* data, DWORD size, DWORD* done);
  // Returns once the driver has sent everything written (FlushFileBuffers).
  virtual BOOL Flush(HANDLE handle);
  virtual DWORD LastError();

  // CreateFileW as given: the file store's opens and creations.
  virtual HANDLE OpenFile(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                          DWORD disposition, DWORD flags);
  // ReplaceFileW without a backup file.
  virtual BOOL Replace(const wchar_t* replaced, const wchar_t* replacement, DWORD flags);
  virtual BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags);
  // LockFileEx of one byte at offset (high << 32).
  virtual BOOL LockByte(HANDLE handle, DWORD flags, DWORD offsetHigh);
  virtual uint64_t TickCount();
  virtual void SleepMs(DWORD ms);
  // timeBeginPeriod / timeEndPeriod (winmm): the system timer's resolution, which is what
  // Sleep rounds up to (15.6 ms unless some program asks for finer). Calls pair exactly:
  // an end only for a begin that succeeded (true).
  virtual bool BeginTimerPeriod(UINT ms);
  virtual bool EndTimerPeriod(UINT ms);
  // QueryDosDeviceW; 0 with ERROR_INSUFFICIENT_BUFFER when the list does not fit.
  virtual DWORD QueryDosDevices(const wchar_t* name, wchar_t* buffer, DWORD size);

  // The process's own texts, in UTF-16 as Windows keeps them (the narrow argv and getenv
  // give them in the ANSI code page, where a name outside it turns into '?').
  // GetEnvironmentVariableW: the length without the terminator when it fits, the size
  // needed (with it) when not, 0 with ERROR_ENVVAR_NOT_FOUND when unset.
  virtual DWORD EnvironmentVariable(const wchar_t* name, wchar_t* buffer, DWORD size);
  // GetCommandLineW split by CommandLineToArgvW; the array is freed with LocalFree.
  // nullptr when the split fails.
  virtual wchar_t** CommandLineArguments(int* count);

  // Winsock, for a unit behind a serial device server. Errors as Winsock gives them:
  // SOCKET_ERROR (or INVALID_SOCKET) with the code from SocketError().
  // WSAStartup for version 2.2: 0 or the error code.
  virtual int StartSockets();
  // getaddrinfo (its own error code as the result); the list freed with FreeHostList.
  virtual int ResolveHost(const char* host, const char* service, const addrinfo* hints, addrinfo** found);
  virtual void FreeHostList(addrinfo* list);
  virtual SOCKET OpenSocket(int family, int type, int protocol);
  virtual int CloseSocket(SOCKET socket);
  virtual int SetSocketOption(SOCKET socket, int level, int name, const char* value, int size);
  virtual int GetSocketOption(SOCKET socket, int level, int name, char* value, int* size);
  // ioctlsocket (FIONBIO to make a socket non-blocking).
  virtual int SocketIoctl(SOCKET socket, long command, u_long* argument);
  virtual int ConnectSocket(SOCKET socket, const sockaddr* address, int size);
  virtual int PollSockets(WSAPOLLFD* sockets, ULONG count, INT timeoutMs);
  virtual int SendSocket(SOCKET socket, const char* data, int size);
  virtual int ReceiveSocket(SOCKET socket, char* buffer, int size);
  // WSAIoctl without overlapped I/O (SIO_TCP_INFO).
  virtual int SocketControl(SOCKET socket, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                            DWORD* returned);
  virtual int SocketError();
};

// The process-wide instance that makes the real calls.
Win32Calls& RealWin32Calls();

}  // namespace vqx::win32
