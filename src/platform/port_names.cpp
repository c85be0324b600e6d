#include "system_port.h"

namespace vqx {

std::vector<std::string> SerialPortNamesToOffer() {
  std::vector<std::string> names;
  for (const SerialPortEntry& port : ListSerialPorts(false)) {
    names.insert(names.end(), port.stableNames.begin(), port.stableNames.end());
    names.push_back(port.device);
  }
  return names;
}

}  // namespace vqx
