#include <vector>

#include "net/network_port_name.h"
#include "port/serial_port.h"

namespace vqx {
namespace {

std::string ParityText(char parity) {
  switch (parity) {
    case 'E': return "even parity";
    case 'O': return "odd parity";
    default: return "no parity";
  }
}

// "a", "a and b", "a, b and c".
std::string ListText(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

}  // namespace

std::string DescribeRefusedLineSettings(const std::string& portName, const LineSettings& asked,
                                        const LineSettings& inEffect) {
  const LineSettings want = Normalized(asked);
  const LineSettings have = Normalized(inEffect);
  std::vector<std::string> refused;
  std::vector<std::string> running;
  if (want.baudRate != have.baudRate) {
    refused.push_back(std::to_string(want.baudRate) + " baud");
    // A driver that reports no speed it knows by number leaves nothing to name.
    running.push_back(have.baudRate > 0 ? std::to_string(have.baudRate) + " baud" : "an unknown speed");
  }
  if (want.dataBits != have.dataBits) {
    refused.push_back(std::to_string(want.dataBits) + " data bits");
    running.push_back(std::to_string(have.dataBits) + " data bits");
  }
  if (want.parity != have.parity) {
    refused.push_back(ParityText(want.parity));
    running.push_back(ParityText(have.parity));
  }
  if (want.stopBits != have.stopBits) {
    refused.push_back(want.stopBits == 2 ? "2 stop bits" : "1 stop bit");
    running.push_back(have.stopBits == 2 ? "2 stop bits" : "1 stop bit");
  }
  if (refused.empty()) return std::string();
  // Over RFC 2217 it is the serial server that answers for the far port.
  const char* refuser = IsNetworkPortName(portName) ? "the serial server" : "its driver";
  return portName + " is open, but " + refuser + " refused " + ListText(refused) + "; the line runs at " +
         ListText(running);
}

}  // namespace vqx
