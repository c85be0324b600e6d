#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "unit/settings_model.h"
#include "unit/sim_config.h"

namespace vqx::sim {

// What a command line may change while the unit stays in command mode.
struct UnitState {
  SettingsModel settings;
  bool echo = true;
  PeerConfig peer;
};

enum class UnitAction { None, SaveAndReboot, Reboot, LeaveCommandMode };

struct CommandResult {
  std::vector<std::string> lines;  // reply lines, without line ends
  UnitAction action = UnitAction::None;
  std::string note;                // why a line was refused, for the trace
};

// The unit's command language: one received line in, its reply lines out.
class CommandInterpreter {
 public:
  // unsupported: keywords answered ERR whatever follows them. readOnlyHere: settings
  // this unit shows but answers ERR to when told a value (a locked or damaged field).
  explicit CommandInterpreter(std::set<std::string> unsupported, std::set<std::string> readOnlyHere = {})
      : unsupported_(std::move(unsupported)), readOnlyHere_(std::move(readOnlyHere)) {}

  CommandResult Execute(std::string_view line, UnitState& state) const;

  // The 37 words the unit knows, in its own order.
  static const std::vector<std::string_view>& Vocabulary();

 private:
  CommandResult Setting(const SettingDef& def, bool hasArgument, std::string_view argument,
                        UnitState& state) const;
  static std::string StatusLine(const PeerConfig& peer);
  static std::vector<std::string> HelpLines();
  static std::vector<std::string> WhatLines(const UnitState& state);

  std::set<std::string> unsupported_;
  std::set<std::string> readOnlyHere_;
};

}  // namespace vqx::sim
