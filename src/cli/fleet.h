#pragma once

// vqxctl fleet: many units at once, each on its own port and thread, from one template and
// a table of what differs per unit. Every unit is read and planned before any is written.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "settings/device_settings.h"
#include "snapshot.h"

namespace vqx::cli {

struct FleetArgs {
  std::string templateFile;
  std::string tableFile;
  std::vector<std::string> ports;  // as --ports gave them, before expansion
  bool dryRun = false;
  bool yes = false;
  size_t jobs = 0;  // 0: every unit at once
  std::string report;
  std::string prefs;
  bool detect = false;
  DetectionChoice detection;
  LineOptions line;  // the host's line settings; the port comes from the list
  std::optional<double> rebootWaitSeconds;
  bool quiet = false;
};

// How a unit ended. The summary, the report and the exit code go by it.
enum class FleetOutcome {
  Pending,           // still running
  Unchanged,         // already as asked: read, returned, nothing written
  ChangedVerified,   // written, saved, rebooted, read again and every field as asked
  WouldChange,       // --dry-run: has differences, nothing written
  NotConfirmed,      // has differences, the change was not confirmed
  Refused,           // the unit did not take a setting (or cannot: not supported)
  BadSettings,       // the row and template ask for what cannot be sent to this unit
  NotResponding,
  NoRow,
  PortBusy,
  PortNotOpened,     // missing, no permission, not a serial port, lost
  DuplicateMac,      // the same MAC answered on two ports
  Interrupted,
  LeftInCommandMode, // did not confirm TRAN
  Failed,            // anything else, with its message
};

// The summary's word for an outcome ("changed and verified").
std::string FleetOutcomeText(FleetOutcome outcome);
// Whether the unit ended as the technician wants: unchanged or changed and verified.
bool FleetOutcomeGood(FleetOutcome outcome);

struct FleetUnitResult {
  std::string port;
  std::string mac;   // the unit's, as it reported it; empty when it was not read
  std::string name;  // the name it gets (the row's), else the one it has
  FleetOutcome outcome = FleetOutcome::Pending;
  std::string refusedWhat;  // for Refused: the keywords ("NAME")
  std::string detail;       // the message behind the outcome, one line
  std::optional<DeviceSettings> before;  // as read first
  std::optional<DeviceSettings> after;   // as read after the reboot
  std::vector<snapshot::FieldDifference> changes;  // planned: unit -> target
  size_t rowLine = 0;  // the table's line of the unit's row; 0 without one
};

// The summary line of a unit's result ("refused NAME", "no row").
std::string FleetResultText(const FleetUnitResult& unit);

// The table on standard output: one line per unit, then the counts and the details.
std::string FleetSummary(const std::vector<FleetUnitResult>& units);
// The same as CSV (cells neutralised for spreadsheets) or JSON, with each unit's before
// and after values.
std::string FleetReportCsv(const std::vector<FleetUnitResult>& units);
std::string FleetReportJson(const std::vector<FleetUnitResult>& units);

int RunFleet(const FleetArgs& args, CliEnvironment& env);

}  // namespace vqx::cli
