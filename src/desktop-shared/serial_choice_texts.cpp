#include "serial_choice_texts.h"

#include "app/text_fields.h"
#include "net/network_port_name.h"

namespace vqx::desktop {
namespace {

int32_t ListNumber(const std::string& text) {
  int32_t value = 0;
  // The list texts are short: a longer one is no number of theirs.
  return ParseDecimal(text.substr(0, 11).c_str(), &value) ? value : 0;
}

}  // namespace

std::string BaudRateText(int32_t baudRate) { return std::to_string(baudRate); }
const char* DataBitsText(int32_t dataBits) { return dataBits == 7 ? "7" : "8"; }
const char* StopBitsText(int32_t stopBits) { return stopBits == 2 ? "2" : "1"; }
const char* ParityText(char parity) { return parity == 'E' ? "Even" : parity == 'O' ? "Odd" : "None"; }

HostSerialChoice ChoiceFromTexts(std::string portName, const std::string& baudRate, const std::string& dataBits,
                                 const std::string& stopBits, const std::string& parity) {
  HostSerialChoice choice;
  choice.portName = std::move(portName);
  choice.baudRate = ListNumber(baudRate);
  choice.dataBits = ListNumber(dataBits);
  choice.stopBits = ListNumber(stopBits);
  choice.parity = parity.empty() ? 'N' : parity[0];
  return choice;
}

DetectPress PressDetect(const std::string& portName) {
  if (portName.empty()) return {false, "Type the serial port's name first."};
  // A raw TCP port runs at the server's settings whatever is tried here.
  NetworkPortName network;
  std::string problem;
  if (ParseNetworkPortName(portName, &network, &problem) && network.protocol == NetworkPortName::Protocol::Raw) {
    return {false, "A socket:// port runs at the server's line settings: set them there, or use rfc2217://."};
  }
  return {true, "Looking for the VQX-2 on " + portName + "..."};
}

}  // namespace vqx::desktop
