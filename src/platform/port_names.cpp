#include "printable_name.h"
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

namespace vqx::detail {

std::string PrintableName(const std::string& text) {
  constexpr size_t kMaxShown = 80;
  std::string out;
  for (const char c : text) {
    if (out.size() >= kMaxShown) {
      out += "...";
      break;
    }
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7F) ? '?' : c;
  }
  return out;
}

}  // namespace vqx::detail
