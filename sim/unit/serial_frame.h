#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vqx::sim {

// How one side of a serial line frames its bytes.
struct SerialFrame {
  uint32_t baud = 9600;
  int dataBits = 8;     // 7 or 8
  char parity = 'N';    // N, E or O
  int stopBits = 1;     // 1 or 2
  bool operator==(const SerialFrame&) const = default;
};

// "57600-8N1", or a bare rate ("57600") for 8N1. False for anything else.
bool ParseSerialFrame(std::string_view text, SerialFrame* frame);
std::string SerialFrameText(const SerialFrame& frame);

// One character as a receiving UART takes it off the line.
struct UartChar {
  uint8_t value = 0;
  bool error = false;  // framing error (no stop bit where one belongs) or parity error
};

// What a UART set to `receiver` reads when a UART set to `sender` sends `bytes` back to
// back (the line idle before and after): the sender's bit stream sampled in the middle
// of each of the receiver's bit times, from each falling edge the receiver sees, checking
// only the first stop bit as UARTs do. Equal frames give the bytes unchanged (7 data bits
// drop the eighth).
std::vector<UartChar> Reframe(std::string_view bytes, const SerialFrame& sender, const SerialFrame& receiver);

}  // namespace vqx::sim
