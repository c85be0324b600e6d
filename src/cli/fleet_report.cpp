// What a fleet run tells at its end: the summary table, and the report file.

#include <algorithm>
#include <map>

#include "csv_cell.h"
#include "fleet.h"
#include "terminal_text.h"

namespace vqx::cli {

namespace {

using nlohmann::json;

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Cell(std::string text) {
  if (snapshot::detail::NeedsApostrophe(text)) text = "'" + text;
  return snapshot::detail::CsvQuoted(text);
}

// A field's value as one report cell: texts as they are, numbers and booleans as JSON writes them.
std::string ValueText(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return "";
  return value.dump();
}

}  // namespace

std::string FleetOutcomeText(FleetOutcome outcome) {
  switch (outcome) {
    case FleetOutcome::Pending: return "not finished";
    case FleetOutcome::Unchanged: return "unchanged";
    case FleetOutcome::ChangedVerified: return "changed and verified";
    case FleetOutcome::WouldChange: return "would change";
    case FleetOutcome::NotConfirmed: return "not confirmed";
    case FleetOutcome::Refused: return "refused";
    case FleetOutcome::BadSettings: return "cannot be sent";
    case FleetOutcome::NotResponding: return "not responding";
    case FleetOutcome::NoRow: return "no row";
    case FleetOutcome::PortBusy: return "port busy";
    case FleetOutcome::PortNotOpened: return "port not opened";
    case FleetOutcome::DuplicateMac: return "duplicate MAC";
    case FleetOutcome::Interrupted: return "interrupted";
    case FleetOutcome::LeftInCommandMode: return "left in command mode";
    case FleetOutcome::Failed: return "failed";
  }
  return "failed";
}

bool FleetOutcomeGood(FleetOutcome outcome) {
  return outcome == FleetOutcome::Unchanged || outcome == FleetOutcome::ChangedVerified;
}

std::string FleetResultText(const FleetUnitResult& unit) {
  std::string text = FleetOutcomeText(unit.outcome);
  if (unit.outcome == FleetOutcome::Refused && !unit.refusedWhat.empty()) text += " " + unit.refusedWhat;
  return text;
}

std::string FleetSummary(const std::vector<FleetUnitResult>& units) {
  size_t portWidth = 4;
  size_t nameWidth = 4;
  for (const FleetUnitResult& u : units) {
    portWidth = std::max(portWidth, Visible(u.port).size());
    nameWidth = std::max(nameWidth, Visible(u.name).size());
  }
  constexpr size_t kMacWidth = 17;
  std::string out = Padded("PORT", portWidth) + "  " + Padded("MAC", kMacWidth) + "  " + Padded("NAME", nameWidth) +
                    "  RESULT\n";
  std::map<std::string, size_t> counts;
  std::vector<std::string> order;
  for (const FleetUnitResult& u : units) {
    const std::string result = FleetResultText(u);
    out += Padded(Visible(u.port), portWidth) + "  " + Padded(u.mac.empty() ? "-" : Visible(u.mac), kMacWidth) + "  " +
           Padded(u.name.empty() ? "-" : Visible(u.name), nameWidth) + "  " + result + "\n";
    const std::string word = FleetOutcomeText(u.outcome);
    if (counts[word]++ == 0) order.push_back(word);
  }
  out += std::to_string(units.size()) + (units.size() == 1 ? " unit: " : " units: ");
  for (size_t i = 0; i < order.size(); ++i) out += (i > 0 ? ", " : "") + std::to_string(counts[order[i]]) + " " + order[i];
  out += "\n";
  for (const FleetUnitResult& u : units) {
    if (!u.detail.empty()) out += Visible(u.port) + ": " + Visible(u.detail) + "\n";
  }
  return out;
}

std::string FleetReportCsv(const std::vector<FleetUnitResult>& units) {
  const auto fields = snapshot::FieldNames();
  std::string out = "port,macAddress,name,result,detail,changed";
  for (std::string_view f : fields) out += ",before." + std::string(f);
  for (std::string_view f : fields) out += ",after." + std::string(f);
  out += "\r\n";
  for (const FleetUnitResult& u : units) {
    std::string changed;
    for (const snapshot::FieldDifference& d : u.changes) changed += (changed.empty() ? "" : " ") + d.key;
    out += Cell(u.port) + "," + Cell(u.mac) + "," + Cell(u.name) + "," + Cell(FleetResultText(u)) + "," +
           Cell(u.detail) + "," + Cell(changed);
    for (const std::optional<DeviceSettings>* side : {&u.before, &u.after}) {
      const json j = side->has_value() ? snapshot::ToJson(**side) : json::object();
      for (std::string_view f : fields) {
        const auto it = j.find(std::string(f));
        out += "," + Cell(it == j.end() ? std::string() : ValueText(*it));
      }
    }
    out += "\r\n";
  }
  return out;
}

std::string FleetReportJson(const std::vector<FleetUnitResult>& units) {
  json list = json::array();
  for (const FleetUnitResult& u : units) {
    json changes = json::array();
    for (const snapshot::FieldDifference& d : u.changes) {
      changes.push_back({{"field", d.key}, {"name", d.field}, {"before", d.left}, {"after", d.right}});
    }
    json unit = {{"port", u.port},
                 {"macAddress", u.mac},
                 {"name", u.name},
                 {"result", FleetResultText(u)},
                 {"detail", u.detail},
                 {"changes", changes},
                 {"before", u.before ? snapshot::ToJson(*u.before) : json(nullptr)},
                 {"after", u.after ? snapshot::ToJson(*u.after) : json(nullptr)}};
    if (u.rowLine != 0) unit["row"] = u.rowLine;
    list.push_back(std::move(unit));
  }
  return snapshot::DumpJson(json{{"units", list}});
}

}  // namespace vqx::cli
