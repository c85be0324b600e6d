#pragma once

#include <cstdint>
#include <string>

namespace vqx::desktop {

// The computer's side of the serial line, as the serial port dialog shows and returns it.
struct HostSerialChoice {
  std::string portName;
  int32_t baudRate = 9600;  // 0 or less: no rate selected
  int32_t dataBits = 8;
  int32_t stopBits = 1;
  char parity = 'N';
};

inline constexpr int kPortNameCapacity = 255;  // what the preferences file holds

}  // namespace vqx::desktop
