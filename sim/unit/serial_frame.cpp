#include "unit/serial_frame.h"

#include <bit>

namespace vqx::sim {

namespace {

bool ParseRate(std::string_view text, uint32_t* baud) {
  if (text.empty() || text.size() > 7) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value < 50) return false;
  *baud = value;
  return true;
}

// The sender's line, bit by bit: start bit, data bits LSB first, parity, stop bits.
std::vector<uint8_t> LineBits(std::string_view bytes, const SerialFrame& frame) {
  std::vector<uint8_t> bits;
  for (char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    bits.push_back(0);
    int ones = 0;
    for (int i = 0; i < frame.dataBits; ++i) {
      const uint8_t bit = (byte >> i) & 1U;
      ones += bit;
      bits.push_back(bit);
    }
    if (frame.parity == 'E') bits.push_back(static_cast<uint8_t>(ones & 1));
    if (frame.parity == 'O') bits.push_back(static_cast<uint8_t>((ones & 1) ^ 1));
    for (int i = 0; i < frame.stopBits; ++i) bits.push_back(1);
  }
  return bits;
}

}  // namespace

bool ParseSerialFrame(std::string_view text, SerialFrame* frame) {
  SerialFrame parsed;
  const size_t dash = text.find('-');
  if (!ParseRate(text.substr(0, dash), &parsed.baud)) return false;
  if (dash != std::string_view::npos) {
    const std::string_view framing = text.substr(dash + 1);
    if (framing.size() != 3) return false;
    const char parity = framing[1] >= 'a' ? static_cast<char>(framing[1] - 'a' + 'A') : framing[1];
    if ((framing[0] != '7' && framing[0] != '8') || (parity != 'N' && parity != 'E' && parity != 'O') ||
        (framing[2] != '1' && framing[2] != '2')) {
      return false;
    }
    parsed.dataBits = framing[0] - '0';
    parsed.parity = parity;
    parsed.stopBits = framing[2] - '0';
  }
  *frame = parsed;
  return true;
}

std::string SerialFrameText(const SerialFrame& frame) {
  return std::to_string(frame.baud) + "-" + std::to_string(frame.dataBits) + frame.parity +
         std::to_string(frame.stopBits);
}

std::vector<UartChar> Reframe(std::string_view bytes, const SerialFrame& sender, const SerialFrame& receiver) {
  std::vector<UartChar> out;
  if (sender == receiver) {
    const uint8_t mask = sender.dataBits == 7 ? 0x7f : 0xff;
    for (char c : bytes) out.push_back({static_cast<uint8_t>(static_cast<uint8_t>(c) & mask), false});
    return out;
  }
  // Time in units of 1 / (sender baud * receiver baud) s: a sender bit lasts
  // receiver.baud units and a receiver bit sender.baud units, both whole numbers.
  const std::vector<uint8_t> bits = LineBits(bytes, sender);
  const uint64_t senderBit = receiver.baud;
  const uint64_t receiverBit = sender.baud;
  const auto level = [&](uint64_t t) -> uint8_t {
    const uint64_t index = t / senderBit;
    return index < bits.size() ? bits[index] : 1;
  };
  const int framedBits = receiver.dataBits + (receiver.parity == 'N' ? 0 : 1);

  uint64_t from = 0;
  for (;;) {
    // The next falling edge at or after `from`: a 1 (or the idle line) followed by a 0.
    uint64_t j = (from + senderBit - 1) / senderBit;
    while (j < bits.size() && !(bits[j] == 0 && (j == 0 || bits[j - 1] == 1))) ++j;
    if (j >= bits.size()) break;
    const uint64_t edge = j * senderBit;
    const auto sample = [&](int bitIndex) { return level(edge + receiverBit * static_cast<uint64_t>(bitIndex) + receiverBit / 2); };
    if (sample(0) != 0) {  // a glitch, not a start bit
      from = edge + 1;
      continue;
    }
    UartChar got;
    int ones = 0;
    for (int i = 0; i < receiver.dataBits; ++i) {
      const uint8_t bit = sample(1 + i);
      ones += bit;
      got.value = static_cast<uint8_t>(got.value | (bit << i));
    }
    if (receiver.parity != 'N') {
      const int parityBit = sample(1 + receiver.dataBits);
      const bool even = ((ones + parityBit) & 1) == 0;
      if (even != (receiver.parity == 'E')) got.error = true;
    }
    if (sample(1 + framedBits) == 0) got.error = true;
    out.push_back(got);
    // The receiver looks for the next start bit from the middle of the stop bit on.
    from = edge + receiverBit * static_cast<uint64_t>(1 + framedBits) + receiverBit / 2;
  }
  return out;
}

}  // namespace vqx::sim
