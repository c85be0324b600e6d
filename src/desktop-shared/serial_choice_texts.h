#pragma once

#include <cstdint>
#include <string>

#include "host_serial_choice.h"

namespace vqx::desktop {

// The serial port dialog's lists hold texts: a choice's values as those texts, and back.
// Both programs select and read their lists through these, so a stored 7E2 shows, and
// reads back, the same on either.
std::string BaudRateText(int32_t baudRate);
const char* DataBitsText(int32_t dataBits);  // "7", anything else "8"
const char* StopBitsText(int32_t stopBits);  // "2", anything else "1"
const char* ParityText(char parity);         // "Even", "Odd", anything else "None"

// What the controls hold, read as OK reads them: a list with nothing selected (an empty
// text) gives 0, and no parity selected gives none.
HostSerialChoice ChoiceFromTexts(std::string portName, const std::string& baudRate, const std::string& dataBits,
                                 const std::string& stopBits, const std::string& parity);

// Detect pressed with this name in the port box: whether the search starts, and the line
// under Detect meanwhile.
struct DetectPress {
  bool start = false;
  std::string text;
};
DetectPress PressDetect(const std::string& portName);

// Cancel (or Esc) while the search runs: the dialog stays until the search has ended.
inline constexpr const char* kStoppingSearchText = "Stopping the search...";

}  // namespace vqx::desktop
