#pragma once

#include <optional>
#include <string>

#include "host_serial_choice.h"
#include "link/line_detector.h"
#include "port/serial_port.h"

namespace vqx::desktop {

// How a search for the unit's line settings ended, as the serial port dialog shows it:
// the line under Detect, and the settings to select when the unit answered.
struct DetectionEnd {
  std::optional<HostSerialChoice> found;
  std::string text;
};

// explainOpenFailure: why portName did not open (the platform's words); may be null.
DetectionEnd DescribeDetectionEnd(const DetectionResult& result, const std::string& portName,
                                  std::string (*explainOpenFailure)(const char*, const PortOpenResult&));

}  // namespace vqx::desktop
