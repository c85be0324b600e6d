#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDialog>

#include "dialog_units.h"

namespace vqx::desktop {

// The computer's side of the serial line, as the dialog shows and returns it.
struct HostSerialChoice {
  std::string portName;
  int32_t baudRate = 9600;  // 0 or less: no rate selected
  int32_t dataBits = 8;
  int32_t stopBits = 1;
  char parity = 'N';
};

// The "Select Serial Port" dialog (DLGSERIAL). OK hands the choice to apply, which
// stores, saves and reopens; the dialog ends only when the port opened, so the user
// can correct a choice that failed. Cancel, Esc and the close box store nothing.
class SerialPortDialog final : public QDialog {
 public:
  using Apply = std::function<bool(const HostSerialChoice& choice)>;

  // portsFound: the serial ports of this machine, offered while typing; any name can
  // still be typed, up to the 255 characters the preferences file holds.
  SerialPortDialog(const DialogUnits& units, const HostSerialChoice& stored, std::vector<std::string> portsFound,
                   Apply apply, QWidget* parent);

  QWidget* Control(int id) const;
  // What the controls hold now, read as OK reads them.
  HostSerialChoice CurrentChoice() const;

 private:
  void Accept();

  std::map<int, QWidget*> controls_;
  Apply apply_;
};

inline constexpr int kPortNameCapacity = 255;

}  // namespace vqx::desktop
