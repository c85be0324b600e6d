// vqxctl detect: the unit's line settings, found by trying them in turn.

#include <nlohmann/json.hpp>

#include "commands.h"
#include "link/line_candidates.h"
#include "system_port.h"

namespace vqx::cli {

int RunDetect(const ConnectionArgs& connection, const std::string& format, CliEnvironment& env) {
  std::vector<LineSettings> order;
  std::string error;
  if (!DetectionCandidates(connection.detection, &order, &error)) {
    env.err << "vqxctl: " << error << "\nRun 'vqxctl --help' for the commands and their options.\n";
    return kExitUsage;
  }
  const std::unique_ptr<ISerialPort> port = CreateSystemSerialPort();
  DetectionResult result;
  const auto progress = [&](const std::string& text) {
    if (!connection.quiet) env.err << text << std::endl;
  };
  const ExitCode code =
      DetectLineSettings(*port, connection.line.port, order, false, env.interrupt, progress, &result, &error);
  if (result.outcome == DetectionOutcome::Found) {
    const std::string text = LineSettingsText(result.settings);
    if (format == "json") {
      const nlohmann::json j = {{"port", connection.line.port},
                                {"settings", text},
                                {"baudRate", result.settings.baudRate},
                                {"dataBits", result.settings.dataBits},
                                {"parity", std::string(1, result.settings.parity)},
                                {"stopBits", result.settings.stopBits},
                                {"tries", result.triesMade},
                                {"seconds", result.elapsedMs / 1000.0}};
      env.out << j.dump(2) << "\n";
    } else {
      env.out << text << "\n";
    }
  }
  if (code != kExitOk) env.err << "vqxctl: " << error << "\n";
  return code;
}

}  // namespace vqx::cli
