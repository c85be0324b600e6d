#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "port/line_settings.h"

namespace vqx {

// The baud rates of the unit's BAUD list, most likely first: the unit's default, then
// the faster rates people pick, then the slow ones.
inline constexpr int32_t kDetectionRates[] = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 1200, 300};

// The data bits and parity the unit offers, 8N1 (its default) first. Stop bits are not
// tried: a receiver checks only the first stop bit, so a unit at two stop bits answers
// the try with one at its rate, and that setting works both ways.
inline constexpr const char* kDetectionFramings[] = {"8N1", "7E1", "7O1", "8E1", "8O1", "7N1"};

// "57600 8N1".
std::string LineSettingsText(const LineSettings& settings);
// "8N1", "7E1", "8O2": data bits 7 or 8, parity N, E or O, stop bits 1 or 2 (letters in
// either case). False, changing nothing, for anything else.
bool ParseFraming(const std::string& text, LineSettings* settings);
bool IsDetectionRate(int32_t baudRate);

// Every framing at the first rate, then at the next: for each framing in turn, every rate.
std::vector<LineSettings> DetectionOrder(const std::vector<int32_t>& rates, const std::vector<LineSettings>& framings);
// The default order: all rates at 8N1 first, then the other framings.
std::vector<LineSettings> DefaultDetectionOrder();

}  // namespace vqx
