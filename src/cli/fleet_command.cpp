// vqxctl fleet: reads and plans every unit, waits for them all, asks once, then writes.

#include <algorithm>
#include <istream>
#include <map>
#include <thread>

#include "fleet.h"
#include "protocol/command_table.h"
#include "fleet_ports.h"
#include "fleet_unit.h"
#include "prefs_change.h"
#include "terminal_text.h"
#include "unit_table.h"

namespace vqx::cli {

namespace {

// Before and after of every unit go into the History: two entries a unit at most.
constexpr size_t kHistoryEntriesPerUnit = 2;

bool Interrupted(const CliEnvironment& env) { return env.interrupt != nullptr && env.interrupt->load(); }

// The preferences file must be able to take what the run adds before any unit is touched:
// a History that is full is found now, not after an hour of provisioning.
bool CheckHistoryRoom(const std::string& prefs, size_t units, CliEnvironment& env) {
  PrefsFile file = OpenPrefs(prefs);
  std::string error;
  const std::unique_ptr<PreferencesBlock> block = snapshot::LoadPreferences(*file.store, file.name, &error);
  if (!block) {
    env.err << "vqxctl: " << prefs << ": " << error << "; no unit was touched.\n";
    return false;
  }
  const size_t room = block->historyCount >= kHistoryCapacity ? 0 : static_cast<size_t>(kHistoryCapacity - block->historyCount);
  if (room < units * kHistoryEntriesPerUnit) {
    env.err << "vqxctl: " << prefs << ": the History holds " << block->historyCount << " of its " << static_cast<size_t>(kHistoryCapacity)
            << " entries; " << units << (units == 1 ? " unit needs " : " units need up to ")
            << units * kHistoryEntriesPerUnit
            << " (before and after each). Export and remove old entries first (vqxctl history export), or run "
               "without --prefs; no unit was touched.\n";
    return false;
  }
  return true;
}

int AppendFleetHistory(const std::string& prefs, const std::vector<FleetUnitResult>& units, CliEnvironment& env) {
  nlohmann::json entries = nlohmann::json::array();
  for (const FleetUnitResult& u : units) {
    if (u.before) entries.push_back(snapshot::ToJsonWithRecord(*u.before));
    if (u.after) entries.push_back(snapshot::ToJsonWithRecord(*u.after));
  }
  if (entries.empty()) return kExitOk;
  const std::unique_ptr<PrefsChange> change =
      PrefsChange::Begin(prefs, "close vqxsu and run the fleet again", "Nothing was added to the History.", env.err);
  if (!change) return kExitFileError;
  std::string error;
  int added = 0;
  if (!snapshot::ImportHistory(change->Store(), change->Name(), entries, &error, &added)) {
    env.err << "vqxctl: " << prefs << ": " << error << "; nothing was added to the History.\n";
    return kExitFileError;
  }
  env.err << "Added " << added << " History entries (before and after of each unit read) to " << prefs << ".\n";
  return kExitOk;
}

// Units that answered with the same MAC on two ports: neither is written, since the
// table's row cannot say which of them it means.
void StopDuplicateMacs(std::vector<FleetUnitResult>& units) {
  std::map<std::string, std::vector<size_t>> byMac;
  for (size_t i = 0; i < units.size(); ++i) {
    if (!units[i].mac.empty()) byMac[units[i].mac].push_back(i);
  }
  for (const auto& [mac, found] : byMac) {
    if (found.size() < 2) continue;
    std::string where;
    for (size_t k = 0; k < found.size(); ++k) {
      where += (k == 0 ? "" : k + 1 == found.size() ? " and " : ", ") + units[found[k]].port;
    }
    for (size_t i : found) {
      units[i].outcome = FleetOutcome::DuplicateMac;
      units[i].detail = "MAC " + mac + " found on " + where + "; nothing was written to either";
    }
  }
}

size_t PendingCount(const std::vector<FleetUnitResult>& units) {
  return static_cast<size_t>(
      std::count_if(units.begin(), units.end(), [](const FleetUnitResult& u) { return u.outcome == FleetOutcome::Pending; }));
}

// What will be written, for the person who confirms it.
std::string PlannedChanges(const std::vector<FleetUnitResult>& units) {
  std::string out;
  for (const FleetUnitResult& u : units) {
    if (u.outcome != FleetOutcome::Pending) continue;
    out += Visible(u.port) + "  " + Visible(u.mac) + "  " + Visible(u.name) + ": ";
    for (size_t i = 0; i < u.changes.size(); ++i) {
      const snapshot::FieldDifference& d = u.changes[i];
      out += (i == 0 ? "" : ", ") + d.field + " " + Visible(d.left) + " -> " + Visible(d.right);
    }
    out += "\n";
  }
  return out;
}

// A unit's web password goes to it as a line like any other: over a serial server that
// line crosses the network unencrypted, which the technician must know before it goes.
std::string ClearTextPasswordWarning(const std::vector<FleetUnitResult>& units) {
  std::string ports;
  for (const FleetUnitResult& u : units) {
    if (u.outcome != FleetOutcome::Pending || !IsNetworkPortName(u.port)) continue;
    const bool sendsPassword = std::any_of(u.changes.begin(), u.changes.end(), [](const snapshot::FieldDifference& d) {
      return snapshot::KeywordOfField(d.key) == CommandKeywordTable[kCmdPass];
    });
    if (sendsPassword) ports += (ports.empty() ? "" : ", ") + Visible(u.port);
  }
  if (ports.empty()) return {};
  return "vqxctl: warning: the web password travels in clear text over the network to " + ports +
         " (Telnet and raw TCP are not encrypted)";
}

enum class Confirmation { Yes, No, NoTerminal, Interrupted };

Confirmation Confirm(size_t pending, CliEnvironment& env) {
  if (env.in == nullptr || !env.inIsTerminal) return Confirmation::NoTerminal;
  env.err << "Write these changes to " << pending << (pending == 1 ? " unit" : " units")
          << ", save and reboot? [y/N] " << std::flush;
  std::string answer;
  // A Ctrl-C ends the read (the signal interrupts it); the answer then does not count.
  std::getline(*env.in, answer);
  if (Interrupted(env)) return Confirmation::Interrupted;
  answer.erase(0, answer.find_first_not_of(" \t"));
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? Confirmation::Yes : Confirmation::No;
}

}  // namespace

int RunFleet(const FleetArgs& args, CliEnvironment& env) {
  std::string error;
  // Every input is checked before a port is opened: a damaged file touches no unit.
  const std::optional<snapshot::PartialSettings> tmpl = snapshot::LoadTemplateFile(args.templateFile, &error);
  if (!tmpl) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\n";
    return kExitBadInput;
  }
  if (!snapshot::CheckSendable(*tmpl, &error)) {
    env.err << "vqxctl: " << args.templateFile << ": " << Visible(error) << "; no unit was touched.\n";
    return kExitBadInput;
  }
  const std::optional<snapshot::UnitTable> table = snapshot::LoadUnitTable(args.tableFile, &error);
  if (!table) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\n";
    return kExitBadInput;
  }
  std::vector<std::string> ports;
  if (!ExpandFleetPorts(args.ports, &ports, &error)) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\nRun 'vqxctl fleet --help' for the options.\n";
    return kExitUsage;
  }
  if (!args.prefs.empty() && !CheckHistoryRoom(args.prefs, ports.size(), env)) return kExitBadInput;

  SessionOptions session;
  session.line = args.line;
  session.interrupt = env.interrupt;
  if (args.rebootWaitSeconds) session.rebootWaitMs = static_cast<uint32_t>(*args.rebootWaitSeconds * 1000.0);
  if (args.detect) {
    if (!DetectionCandidates(args.detection, &session.detectOrder, &error)) {
      env.err << "vqxctl: " << error << "\n";
      return kExitUsage;
    }
    session.detect = true;
  }

  std::vector<FleetUnitResult> units(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) units[i].port = ports[i];
  const size_t slots = args.jobs == 0 ? ports.size() : std::min(args.jobs, ports.size());
  FleetGate gate(ports.size(), slots);
  FleetStatusBoard board(env.err, env.errIsTerminal, env.errColumns, args.quiet, ports);
  // A unit waits in command mode across the barrier only when the decision comes at once:
  // every unit has a slot and no person is asked. A person may take minutes to answer,
  // and a unit in command mode passes none of its radio's traffic meanwhile; so when the
  // question is asked, each unit is returned after its plan and read again before it is
  // written, as it is when --jobs keeps it waiting.
  const bool decidedAtOnce = args.yes || args.dryRun || env.in == nullptr || !env.inIsTerminal;
  FleetUnitContext context{args,    *tmpl,   *table, gate, board, env.interrupt,
                           session, slots >= ports.size() && decidedAtOnce, env.openPort};
  if (!args.quiet) {
    env.err << "Reading " << ports.size() << (ports.size() == 1 ? " unit" : " units");
    if (slots < ports.size()) env.err << ", " << slots << " at a time";
    env.err << "; nothing is written before every unit is read and planned.\n";
  }

  std::vector<std::thread> threads;
  threads.reserve(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    threads.emplace_back([&context, &units, i] { RunFleetUnit(context, i, units[i]); });
  }
  // Whatever happens from here, every thread is joined: each returns its unit first.
  const auto joinAll = [&] {
    for (std::thread& t : threads) {
      while (t.joinable()) {
        // The board's seconds count on while the last units finish.
        t.join();
      }
    }
  };

  gate.WaitForAll(env.interrupt, [&board] { board.Refresh(); });
  // Every unit has arrived (or the run is interrupted and the units see that themselves).
  FleetGate::Decision decision = FleetGate::Decision::Release;
  int confirmCode = kExitOk;
  if (!Interrupted(env)) {
    StopDuplicateMacs(units);
    const size_t pending = PendingCount(units);
    if (args.dryRun) {
      for (FleetUnitResult& u : units) {
        if (u.outcome == FleetOutcome::Pending) u.outcome = FleetOutcome::WouldChange;
      }
    } else if (pending > 0) {
      const std::string passwordWarning = ClearTextPasswordWarning(units);
      // A warning, not progress: --quiet does not silence it.
      if (!passwordWarning.empty() && args.quiet) env.err << passwordWarning << "\n";
      if (!passwordWarning.empty() && !args.quiet) board.Note(passwordWarning);
      if (args.yes) {
        decision = FleetGate::Decision::Write;
      } else {
        board.Note("Planned changes:\n" + PlannedChanges(units));
        const Confirmation answer = Confirm(pending, env);
        board.StartBelow();
        switch (answer) {
          case Confirmation::Yes: decision = FleetGate::Decision::Write; break;
          case Confirmation::No: env.err << "Nothing was written.\n"; break;
          case Confirmation::Interrupted: break;
          case Confirmation::NoTerminal:
            env.err << "vqxctl: " << pending << (pending == 1 ? " unit would be" : " units would be")
                    << " changed, and there is no terminal to confirm it on: give --yes to write without asking "
                       "(or --dry-run to see the changes). Nothing was written; every unit was returned to "
                       "transparent mode.\n";
            confirmCode = kExitUsage;
            break;
        }
      }
    }
  }
  gate.Decide(decision);
  std::thread redraw;
  std::atomic<bool> joined{false};
  if (env.errIsTerminal && !args.quiet) {
    redraw = std::thread([&board, &joined] {
      while (!joined.load()) {
        board.Refresh();
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
      }
    });
  }
  joinAll();
  joined.store(true);
  if (redraw.joinable()) redraw.join();
  board.Finish();

  if (args.dryRun) {
    for (const FleetUnitResult& u : units) {
      if (u.outcome != FleetOutcome::WouldChange) continue;
      env.out << Visible(u.port) << " (" << Visible(u.mac) << ", " << Visible(u.name) << "):\n";
      env.out << FormatDifferences(u.changes, "unit", "planned");
    }
  }
  env.out << FleetSummary(units);

  int code = kExitOk;
  if (!args.report.empty()) {
    const bool json = args.report.size() >= 5 && args.report.compare(args.report.size() - 5, 5, ".json") == 0;
    if (!WriteOutput(args.report, json ? FleetReportJson(units) : FleetReportCsv(units), env)) code = kExitFileError;
  }
  if (!args.prefs.empty() && !args.dryRun) {
    const int prefsCode = AppendFleetHistory(args.prefs, units, env);
    if (code == kExitOk) code = prefsCode;
  }

  const bool leftInCommandMode = std::any_of(units.begin(), units.end(), [](const FleetUnitResult& u) {
    return u.outcome == FleetOutcome::LeftInCommandMode;
  });
  if (leftInCommandMode) return kExitLeftInCommandMode;
  if (Interrupted(env)) return kExitInterrupted;
  if (confirmCode != kExitOk) return confirmCode;
  const bool allGood = std::all_of(units.begin(), units.end(), [&](const FleetUnitResult& u) {
    return FleetOutcomeGood(u.outcome) || (args.dryRun && u.outcome == FleetOutcome::WouldChange);
  });
  if (!allGood) return kExitNotProvisioned;
  return code;
}

}  // namespace vqx::cli
