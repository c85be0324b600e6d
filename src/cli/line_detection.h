#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "link/line_detector.h"

namespace vqx::cli {

// What --rates and --framings ask for; empty lists mean the unit's whole range.
struct DetectionChoice {
  std::vector<int32_t> rates;
  std::vector<std::string> framings;
};

// The order of tries; false with the reason for a rate or framing the unit does not offer.
bool DetectionCandidates(const DetectionChoice& choice, std::vector<LineSettings>* order, std::string* error);

// Runs the detection on port (which the caller owns and nobody else uses meanwhile).
// The exit code for anything but Found, with the message in *error; kExitOk when found.
ExitCode DetectLineSettings(ISerialPort& port, const std::string& portName, const std::vector<LineSettings>& order,
                            bool leaveInCommandMode, const std::atomic<bool>* interrupt,
                            const std::function<void(const std::string&)>& progress, DetectionResult* result,
                            std::string* error);

}  // namespace vqx::cli
