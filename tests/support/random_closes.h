#pragma once

// The random moments of the close-anywhere tests: how many, from which seed, and a check
// of the simulated unit afterwards. VQX_RANDOM_CLOSES sets the count (the default keeps
// the suite quick; 50 is the full acceptance run), VQX_SEED the seed.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "unit/sim_unit.h"

namespace vqx::testing {

inline int RandomCloseCount(int byDefault) {
  const char* text = std::getenv("VQX_RANDOM_CLOSES");
  const int n = text != nullptr ? std::atoi(text) : 0;
  return n > 0 ? n : byDefault;
}

inline uint32_t RandomCloseSeed() {
  const char* text = std::getenv("VQX_SEED");
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20261208u;
}

// Empty when the unit is transparent and heard nothing since its TRAN (or since it started
// up again after SAVE or REBOOT); otherwise what is wrong. linesBefore: lines it had received before the run.
inline std::string UnitLeftProperly(const sim::SimUnit& unit, size_t linesBefore) {
  const std::vector<std::string>& lines = unit.ReceivedLines();
  if (unit.Mode() != sim::SimMode::Transparent) {
    std::string why = "the unit is in " + std::string(sim::ModeName(unit.Mode())) + " mode; it took";
    for (size_t i = linesBefore; i < lines.size(); ++i) why += " \"" + lines[i] + "\"";
    return why;
  }
  if (!unit.ForwardedBytes().empty()) return "the unit passed on \"" + unit.ForwardedBytes() + "\" after leaving command mode";
  // After SAVE or REBOOT the unit starts up again in transparent mode by itself.
  const bool restarted = lines.size() > linesBefore && (lines.back() == "SAVE" || lines.back() == "REBOOT");
  if (lines.size() > linesBefore && lines.back() != "TRAN" && !restarted) {
    return "the last line the unit took was " + lines.back();
  }
  return {};
}

}  // namespace vqx::testing
