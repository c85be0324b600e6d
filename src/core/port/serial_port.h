#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/line_settings.h"

namespace vqx {

// Why a port could not be opened, in terms a technician can act on.
enum class PortOpenError {
  None,
  NotFound,          // no such device
  Busy,              // another program holds it
  PermissionDenied,  // the user may not open it
  NotASerialPort,    // the name names something that is not a terminal device
  Other,
};

struct PortOpenResult {
  bool ok = false;
  PortOpenError error = PortOpenError::None;
  int systemError = 0;  // errno or GetLastError, 0 when none
  // The port is open, but its driver did not take every line setting asked for (a speed
  // it cannot make, 7 data bits on an adapter without them): the line runs at
  // lineInEffect, as read back from the driver. The technician has to be told, since
  // the unit will not understand a line that runs at other settings than its own.
  bool settingsRefused = false;
  LineSettings lineInEffect;
  // Ports that explain themselves (a network port names the host and what went wrong):
  // for a failed open, the sentence that says why; empty when the platform's description
  // of error and systemError applies.
  std::string problem;
  // The port is open, but the technician should know something about the line (a serial
  // server that did not take up the line settings and runs its own); empty when none.
  std::string warning;
};

// The warning for an open port whose driver kept settings of its own: each setting it
// refused, and what the line runs at instead.
std::string DescribeRefusedLineSettings(const std::string& portName, const LineSettings& asked,
                                        const LineSettings& inEffect);

// The thin layer between the link and the operating system's serial port.
// One implementation per platform; tests substitute a scripted one.
class ISerialPort {
 public:
  virtual ~ISerialPort() = default;

  // Exclusive read-write access to an existing port, the four line settings applied,
  // reads that return at once with what is queued.
  virtual PortOpenResult Open(const char* name, const LineSettings& settings) = 0;
  // Safe to call when nothing is open.
  virtual void Close() = 0;
  // Received bytes waiting; pending line errors are cleared and ignored.
  // Negative when the port is gone (adapter unplugged, hang-up): the caller stops using it.
  virtual int32_t QueuedBytes() = 0;
  // Called only after QueuedBytes reported at least one byte.
  virtual bool ReadByte(uint8_t& byte) = 0;
  // Synchronous; returns how many bytes were written (0 on failure). The bytes may still
  // wait in the driver's output queue when it returns.
  virtual size_t Write(const uint8_t* data, size_t size) = 0;
  // Waits until every byte written has left the line, or until limitMs have passed.
  // True when the output is drained. Callers keep limitMs short and call again; a port
  // that writes straight to the line returns true at once.
  virtual bool Drain(uint32_t limitMs) = 0;
  // New line settings on the open port, without closing it (closing drops DTR and lets
  // go of the exclusive hold). What was received at the old settings is dropped. False
  // when the port cannot do that; the caller then closes and opens it again.
  virtual bool ChangeLineSettings(const LineSettings& settings) {
    (void)settings;
    return false;
  }
};

}  // namespace vqx
