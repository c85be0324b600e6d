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

// The settings as the line runs them: 'E', 'O' or 'N', 7 or 8 data bits, 1 or 2 stop bits.
inline LineSettings Normalized(const LineSettings& s) {
  return LineSettings{s.baudRate, s.parity == 'E' || s.parity == 'O' ? s.parity : 'N',
                      s.dataBits == 7 ? 7 : 8, s.stopBits == 2 ? 2 : 1};
}

inline bool SameLine(const LineSettings& a, const LineSettings& b) {
  const LineSettings x = Normalized(a);
  const LineSettings y = Normalized(b);
  return x.baudRate == y.baudRate && x.parity == y.parity && x.dataBits == y.dataBits &&
         x.stopBits == y.stopBits;
}

}  // namespace vqx
