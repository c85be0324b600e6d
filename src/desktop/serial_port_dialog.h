#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDialog>

#include "dialog_units.h"
#include "host_serial_choice.h"

namespace vqx::desktop {

// The search for the unit's line settings that Detect starts; the program runs it.
struct DetectionHooks {
  std::function<void(const std::string& portName)> start;  // the search begins
  std::function<void()> cancel;                             // asks a running search to stop
};

// The "Select Serial Port" dialog (DLGSERIAL). OK hands the choice to apply, which
// stores, saves and reopens; the dialog ends only when the port opened, so the user
// can correct a choice that failed. Cancel, Esc and the close box store nothing.
// Detect searches for the unit's line settings on the named port and fills them in;
// while it runs, OK and Detect are disabled and Cancel (or Esc) stops the search.
class SerialPortDialog final : public QDialog {
 public:
  using Apply = std::function<bool(const HostSerialChoice& choice)>;

  // portsFound: the serial ports of this machine, offered while typing; any name can
  // still be typed, up to the 255 characters the preferences file holds.
  SerialPortDialog(const DialogUnits& units, const HostSerialChoice& stored, std::vector<std::string> portsFound,
                   Apply apply, DetectionHooks detection, QWidget* parent);

  QWidget* Control(int id) const;
  // What the controls hold now, read as OK reads them.
  HostSerialChoice CurrentChoice() const;

  // As the Detect button does.
  void StartDetection();
  bool Detecting() const { return detecting_; }
  void ShowDetectionProgress(const std::string& text);
  // The search ended: found settings (when given) are selected; text says how it ended.
  void DetectionEnded(const HostSerialChoice* found, const std::string& text);
  // Cancel, Esc and the close box: stop a running search, else end the dialog.
  void reject() override;

 private:
  void Accept();
  void SetSearching(bool searching);

  std::map<int, QWidget*> controls_;
  Apply apply_;
  DetectionHooks detection_;
  bool detecting_ = false;
};

}  // namespace vqx::desktop
