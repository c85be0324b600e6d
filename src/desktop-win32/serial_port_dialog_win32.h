#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host_serial_choice.h"

namespace vqx::win32 {

using desktop::HostSerialChoice;
using desktop::kPortNameCapacity;

// The "Select Serial Port" dialog (DLGSERIAL), modal over owner, built from its template.
// OK hands the choice to apply, which stores, saves and reopens; the dialog ends only when
// the port opened, so the user can correct a choice that failed. Cancel, Esc and the
// close box store nothing. opened/closed tell the caller the dialog's window (the owner
// of the warnings shown while it is open). Returns whether OK ended it.
struct SerialPortDialogHooks {
  // The serial ports of this machine, offered under the name box as the user types
  // (where COM runs on the thread) and shown as its tip; any name can still be typed, up
  // to the 255 characters the preferences file holds.
  std::vector<std::string> portsFound;
  std::function<bool(const HostSerialChoice&)> apply;
  std::function<void(HWND dialog)> opened;
  std::function<void()> closed;
  // Detect: the search for the unit's line settings on the named port begins (the program
  // runs it on its own thread); cancel asks a running search to stop. Without start,
  // Detect is greyed. detectAtOnce: the search starts as the dialog opens.
  std::function<void(const std::string& portName)> startDetection;
  std::function<void()> cancelDetection;
  bool detectAtOnce = false;
};
bool RunSerialPortDialog(HWND owner, const HostSerialChoice& stored, SerialPortDialogHooks hooks);

// While the search runs, OK, Detect and the port name are greyed and Cancel (or Esc)
// stops it; its progress and end are shown in the line under Detect. The search ended:
// found settings (when given) are selected, text says how it ended.
void ShowDetectionProgress(HWND dialog, const std::string& text);
void DetectionEnded(HWND dialog, const HostSerialChoice* found, const std::string& text);

// What the dialog's controls hold now, read as OK reads them.
HostSerialChoice ReadSerialPortChoice(HWND dialog);

}  // namespace vqx::win32
