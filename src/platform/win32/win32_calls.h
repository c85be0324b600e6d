#pragma once

// Every Windows call the serial port and the clock make goes through here, so tests can
// produce what a real adapter does and Wine cannot: a device removed mid-read
// (ERROR_DEVICE_REMOVED, ERROR_BAD_COMMAND, ...), a write the driver stops taking, a
// tick counter about to wrap. The default methods make the real calls.

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
  virtual BOOL ClearErrors(HANDLE handle, DWORD* errors, COMSTAT* status);
  virtual BOOL Read(HANDLE handle, void* buffer, DWORD size, DWORD* done);
  virtual BOOL Write(HANDLE handle, const void* data, DWORD size, DWORD* done);
  // Returns once the driver has sent everything written (FlushFileBuffers).
  virtual BOOL Flush(HANDLE handle);
  virtual DWORD LastError();
  virtual uint64_t TickCount();
  virtual void SleepMs(DWORD ms);
};

// The process-wide instance that makes the real calls.
Win32Calls& RealWin32Calls();

}  // namespace vqx::win32
