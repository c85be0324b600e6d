#include "detection_texts.h"

#include "link/line_candidates.h"

namespace vqx::desktop {

DetectionEnd DescribeDetectionEnd(const DetectionResult& result, const std::string& portName,
                                  std::string (*explainOpenFailure)(const char*, const PortOpenResult&)) {
  // The search sends TRAN wherever something answered; when one went unconfirmed the user
  // must know the unit may not pass radio data.
  const std::string unsure = result.unitLeft == UnitLeft::NotConfirmed ? " It may be in command mode." : "";
  DetectionEnd end;
  switch (result.outcome) {
    case DetectionOutcome::Found: {
      HostSerialChoice found;
      found.portName = portName;
      found.baudRate = result.settings.baudRate;
      found.dataBits = result.settings.dataBits;
      found.stopBits = result.settings.stopBits;
      found.parity = result.settings.parity;
      end.found = found;
      end.text = "Found at " + LineSettingsText(result.settings) + ". OK stores it." + unsure;
      break;
    }
    case DetectionOutcome::NotFound:
      end.text = "Nothing answered at the " + std::to_string(result.triesMade) + " settings tried." + unsure;
      break;
    case DetectionOutcome::Cancelled: end.text = "Search stopped." + unsure; break;
    case DetectionOutcome::PortProblem:
      if (result.openResult.ok) {
        end.text = "The serial port was lost.";
      } else if (explainOpenFailure != nullptr) {
        end.text = explainOpenFailure(portName.c_str(), result.openResult);
      } else {
        end.text = "The serial port could not be opened.";
      }
      break;
  }
  return end;
}

}  // namespace vqx::desktop
