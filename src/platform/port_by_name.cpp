#include "port_by_name.h"

#include <cstdlib>
#include <string>

#include "net/network_port_name.h"

namespace vqx {

PortByName::PortByName(Factory local, Factory network)
    : makeNetwork_(std::move(network)), local_(local()), active_(local_.get()) {}

PortOpenResult PortByName::Open(const char* name, const LineSettings& settings) {
  std::lock_guard<std::mutex> lock(openMutex_);
  const bool remote = name != nullptr && IsNetworkPortName(name);
  if (remote && !network_) network_ = makeNetwork_();
  ISerialPort* const chosen = remote ? network_.get() : local_.get();
  ISerialPort* const other = remote ? local_.get() : network_.get();
  if (other != nullptr) other->Close();
  active_.store(chosen);
  return chosen->Open(name, settings);
}

void PortByName::Close() {
  std::lock_guard<std::mutex> lock(openMutex_);
  local_->Close();
  if (network_) network_->Close();
}

uint32_t NetworkConnectTimeoutMs() {
  constexpr uint32_t kDefaultMs = 5000;
  const char* text = std::getenv("VQX_CONNECT_TIMEOUT");
  if (text == nullptr || *text == '\0') return kDefaultMs;
  char* end = nullptr;
  const long seconds = std::strtol(text, &end, 10);
  if (*end != '\0' || seconds < 1 || seconds > 60) return kDefaultMs;
  return static_cast<uint32_t>(seconds) * 1000U;
}

}  // namespace vqx
