#include "link/line_candidates.h"

#include <algorithm>

namespace vqx {

std::string LineSettingsText(const LineSettings& settings) {
  const char parity = settings.parity == 'E' || settings.parity == 'O' ? settings.parity : 'N';
  std::string text = std::to_string(settings.baudRate);
  text += ' ';
  text += settings.dataBits == 7 ? '7' : '8';
  text += parity;
  text += settings.stopBits == 2 ? '2' : '1';
  return text;
}

bool ParseFraming(const std::string& text, LineSettings* settings) {
  if (text.size() != 3) return false;
  const char data = text[0];
  const char parity = static_cast<char>(text[1] >= 'a' && text[1] <= 'z' ? text[1] - 'a' + 'A' : text[1]);
  const char stop = text[2];
  if ((data != '7' && data != '8') || (parity != 'N' && parity != 'E' && parity != 'O') ||
      (stop != '1' && stop != '2')) {
    return false;
  }
  settings->dataBits = data - '0';
  settings->parity = parity;
  settings->stopBits = stop - '0';
  return true;
}

bool IsDetectionRate(int32_t baudRate) {
  return std::find(std::begin(kDetectionRates), std::end(kDetectionRates), baudRate) != std::end(kDetectionRates);
}

std::vector<LineSettings> DetectionOrder(const std::vector<int32_t>& rates, const std::vector<LineSettings>& framings) {
  std::vector<LineSettings> order;
  order.reserve(rates.size() * framings.size());
  for (const LineSettings& framing : framings) {
    for (const int32_t rate : rates) {
      LineSettings candidate = framing;
      candidate.baudRate = rate;
      order.push_back(candidate);
    }
  }
  return order;
}

std::vector<LineSettings> DefaultDetectionOrder() {
  std::vector<LineSettings> framings;
  for (const char* text : kDetectionFramings) {
    LineSettings framing;
    ParseFraming(text, &framing);
    framings.push_back(framing);
  }
  return DetectionOrder({std::begin(kDetectionRates), std::end(kDetectionRates)}, framings);
}

}  // namespace vqx
