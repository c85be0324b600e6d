#pragma once

#include <cstdint>

namespace vqx {

// The host side of the serial line, as the user chose it.
struct LineSettings {
  int32_t baudRate = 9600;
  char parity = 'N';      // 'E' even, 'O' odd, anything else none
  int32_t dataBits = 8;   // 7, anything else gives 8
  int32_t stopBits = 1;   // 2, anything else gives 1
};

}  // namespace vqx
