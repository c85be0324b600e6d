#include "line_detection.h"

#include "net/network_port_name.h"

#include "app/app_window.h"
#include "link/line_candidates.h"
#include "system_port.h"

namespace vqx::cli {

bool DetectionCandidates(const DetectionChoice& choice, std::vector<LineSettings>* order, std::string* error) {
  std::vector<int32_t> rates = choice.rates;
  if (rates.empty()) rates.assign(std::begin(kDetectionRates), std::end(kDetectionRates));
  for (const int32_t rate : rates) {
    if (!IsDetectionRate(rate)) {
      *error = "--rates takes rates of the unit's list (300 ... 115200), not " + std::to_string(rate);
      return false;
    }
  }
  std::vector<std::string> texts = choice.framings;
  if (texts.empty()) texts.assign(std::begin(kDetectionFramings), std::end(kDetectionFramings));
  std::vector<LineSettings> framings;
  for (const std::string& text : texts) {
    LineSettings framing;
    if (!ParseFraming(text, &framing)) {
      *error = "--framings takes data bits, parity and stop bits such as 8N1 or 7E1, not \"" + text + "\"";
      return false;
    }
    framings.push_back(framing);
  }
  *order = DetectionOrder(rates, framings);
  return true;
}

ExitCode DetectLineSettings(ISerialPort& port, const std::string& portName, const std::vector<LineSettings>& order,
                            bool leaveInCommandMode, const std::atomic<bool>* interrupt,
                            const std::function<void(const std::string&)>& progress, DetectionResult* result,
                            std::string* error) {
  // Over raw TCP the server keeps its own line settings: every try would run at the same
  // one, and the first the unit answered would be reported, right or not.
  NetworkPortName network;
  std::string problem;
  if (ParseNetworkPortName(portName, &network, &problem) && network.protocol == NetworkPortName::Protocol::Raw) {
    *error = "The line settings of " + portName + " cannot be detected: a socket:// port leaves them to the "
             "server. Set them there, or reach the server with rfc2217:// if it speaks RFC 2217.";
    return kExitUsage;
  }
  LineDetector detector(port, SystemClock());
  detector.SetCandidates(order);
  detector.SetCancel(interrupt);
  detector.SetProgress([&](const DetectionProgress& p) { progress(DetectionProgressText(p)); });
  *result = detector.Run(portName, leaveInCommandMode);

  // Where something unreadable answered, the unit may have heard an escape: say so.
  const std::string unsure =
      result->unitLeft == UnitLeft::NotConfirmed
          ? " Something unreadable answered at " + std::to_string(result->returnsSent) +
                " setting(s); TRAN was sent there, but the VQX-2 could not confirm that it is in transparent mode."
          : std::string();
  switch (result->outcome) {
    case DetectionOutcome::Found:
      if (result->unitLeft == UnitLeft::NotConfirmed) {
        *error = "The VQX-2 answered at " + LineSettingsText(result->settings) +
                 " but did not confirm TRAN: it may still be in command mode.";
        return kExitLeftInCommandMode;
      }
      return kExitOk;
    case DetectionOutcome::NotFound:
      *error = "No VQX-2 answered on " + portName + " at any of the " + std::to_string(result->triesMade) +
               " line settings tried: check the cable and that the unit is powered." + unsure;
      return kExitNotResponding;
    case DetectionOutcome::Cancelled:
      *error = "Interrupted during the line settings detection." + unsure;
      return kExitInterrupted;
    case DetectionOutcome::PortProblem:
      *error = result->openResult.ok ? "The serial port " + portName + " was lost during the detection." + unsure
                                     : DescribePortOpenFailure(portName, result->openResult);
      return kExitPortNotOpened;
  }
  return kExitFailed;
}

}  // namespace vqx::cli
