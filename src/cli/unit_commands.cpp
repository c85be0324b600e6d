// The commands that talk to a unit: read, apply, diff against the unit, send.

#include <algorithm>
#include <memory>
#include <set>

#include "app/settings_report.h"
#include "commands.h"
#include "protocol/command_format.h"
#include "protocol/command_table.h"
#include "runner/sim_runner.h"
#include "terminal_text.h"
#include "unit_table.h"

namespace vqx::cli {

namespace {

using nlohmann::json;

// The simulated unit of --demo reboots in two seconds; the wait after SAVE follows it.
constexpr uint32_t kDemoRebootMs = 2000;
constexpr uint32_t kDemoRebootWaitMs = 3000;

// The unit the command talks to: the one on --port, or a simulated one started here.
class Connection {
 public:
  Connection(const ConnectionArgs& args, CliEnvironment& env) : args_(args), env_(env) {}

  // Starts the demo unit if asked and opens the session; false after the message.
  bool Open(int* exitCode) {
    SessionOptions options;
    options.line = args_.line;
    options.quiet = args_.quiet;
    options.interrupt = env_.interrupt;
    if (args_.detect) {
      std::string error;
      if (!DetectionCandidates(args_.detection, &options.detectOrder, &error)) {
        env_.err << "vqxctl: " << error << "\n";
        *exitCode = kExitUsage;
        return false;
      }
      options.detect = true;
    }
    if (args_.demo) {
      sim::SimConfig config;
      config.rebootMs = kDemoRebootMs;
      demo_ = std::make_unique<sim::SimRunner>(std::move(config));
      std::string error;
      if (!demo_->Start(&error)) {
        env_.err << "vqxctl: the simulated unit could not be started: " << error << "\n";
        *exitCode = kExitPortNotOpened;
        return false;
      }
      options.line.port = demo_->SlavePath();
      options.rebootWaitMs = kDemoRebootWaitMs;
      if (!args_.quiet) env_.err << "Simulated VQX-2 on " << options.line.port << "\n";
    }
    if (args_.rebootWaitSeconds) options.rebootWaitMs = static_cast<uint32_t>(*args_.rebootWaitSeconds * 1000.0);
    session_ = std::make_unique<UnitSession>(options, env_.err, demo_ ? demo_->CreateHostPort() : nullptr);
    std::string error;
    const ExitCode code = session_->Connect(&error);
    if (code != kExitOk) {
      env_.err << "vqxctl: " << error << "\n";
      *exitCode = Finish(code);
      return false;
    }
    if (!args_.quiet) {
      const size_t unsupported = session_->UnsupportedKeywords().size();
      env_.err << "Read " << (kSettingCount - static_cast<int>(unsupported)) << " settings";
      if (unsupported > 0) env_.err << " (" << unsupported << " not supported by this unit)";
      env_.err << "\n";
    }
    return true;
  }

  UnitSession& Session() { return *session_; }

  // Every way out of a command that opened the unit ends here: the unit is returned to
  // transparent mode, and a unit that did not confirm it overrides any other outcome
  // but a lost port.
  int Finish(int code) {
    if (!session_ || closed_) return code;
    closed_ = true;
    std::string warning;
    if (session_->Close(&warning)) return code;
    env_.err << "vqxctl: " << warning << "\n";
    // A lost port keeps its own code: nothing could be sent, and the port is what to fix.
    return code == kExitPortNotOpened ? code : kExitLeftInCommandMode;
  }

  ~Connection() {
    Finish(kExitOk);
    if (demo_) demo_->Stop();
  }

 private:
  const ConnectionArgs& args_;
  CliEnvironment& env_;
  std::unique_ptr<sim::SimRunner> demo_;
  std::unique_ptr<UnitSession> session_;
  bool closed_ = false;
};

// The fields a unit's read says nothing about: the serial number is the technician's,
// and a setting the unit answered ERR to has no value of the unit's.
std::set<std::string> FieldsWithoutUnitValue(const std::vector<std::string>& unsupported) {
  std::set<std::string> fields{"serialNumber"};
  for (const std::string& keyword : unsupported) {
    for (std::string_view field : snapshot::FieldsForKeyword(keyword)) fields.emplace(field);
  }
  return fields;
}

json LinkStatusJson(UnitSession& session) {
  const StatusState status = session.Status();
  const char* state = status == kStatusConnected    ? "connected"
                      : status == kStatusAttempting ? "attempting"
                                                    : "disconnected";
  return json{{"state", state}, {"text", session.LinkStatusSentence()}};
}

// Whether a template keeps the web password. Asked before the unit is touched: a
// question left waiting must not hold the unit in command mode, where it passes no radio
// data. nullopt when the question was interrupted.
std::optional<bool> KeepPassword(const std::string& password, CliEnvironment& env) {
  if (!password.empty()) return password == "keep";
  if (env.in == nullptr || !env.inIsTerminal) {
    env.err << "vqxctl: the web password is left out of the template (give --password keep to keep it, "
               "--password drop to leave it out without this note)\n";
    return false;
  }
  env.err << "Keep the web password in the template? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(*env.in, answer)) {
    env.err << "\n";
    if (env.interrupt != nullptr && env.interrupt->load()) return std::nullopt;
    answer.clear();
  }
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
  const bool keep = answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
  if (!keep) env.err << "The web password is left out of the template.\n";
  return keep;
}

std::string Line(const CommandRecord& record) {
  char line[kLineSize];
  size_t length = 0;
  if (FormCommandLine(record, line, &length) != FormatResult::Formed) return "(refused: line break)";
  std::string text(line, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

}  // namespace

int RunRead(const ConnectionArgs& connection, const std::string& format, CliEnvironment& env) {
  Connection unit(connection, env);
  int code = kExitOk;
  if (!unit.Open(&code)) return code;
  UnitSession& session = unit.Session();
  const DeviceSettings settings = session.Settings();
  const std::vector<std::string> unsupported = session.UnsupportedKeywords();
  if (format == "json") {
    json j = snapshot::ToJson(settings, unsupported);
    j["linkStatus"] = LinkStatusJson(session);
    env.out << snapshot::DumpJson(j);
  } else {
    env.out << VisibleLines(UnixLines(FormatSettingsReport({&settings, 1})));
    env.out << "Link status: " << Visible(session.LinkStatusSentence()) << "\n";
    if (!unsupported.empty()) {
      env.out << "Not supported by this unit:";
      for (const std::string& keyword : unsupported) env.out << " " << keyword;
      env.out << "\n";
    }
  }
  return unit.Finish(kExitOk);
}

int RunReadTemplate(const ConnectionArgs& connection, const std::string& password, CliEnvironment& env) {
  const std::optional<bool> keepPassword = KeepPassword(password, env);
  if (!keepPassword) {
    env.err << "vqxctl: Interrupted.\n";
    return kExitInterrupted;
  }
  Connection unit(connection, env);
  int code = kExitOk;
  if (!unit.Open(&code)) return code;
  UnitSession& session = unit.Session();
  const DeviceSettings settings = session.Settings();
  env.out << snapshot::DumpJson(snapshot::ToTemplateJson(settings, session.UnsupportedKeywords(), *keepPassword));
  return unit.Finish(kExitOk);
}

int RunApply(const ConnectionArgs& connection, const SourceArgs& source, bool dryRun, CliEnvironment& env) {
  // The file is checked before the port is touched: a damaged file sends nothing.
  std::string error;
  const std::optional<LoadedSnapshot> wanted = LoadSnapshotSource(source, &error);
  if (!wanted) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\n";
    return kExitBadInput;
  }
  // A record is taken as it is; what would be sent from it must still pass every check
  // before the unit is escaped.
  if (source.historyNumber == 0 && !snapshot::CheckSendable(wanted->partial, &error)) {
    env.err << "vqxctl: " << wanted->label << ": " << Visible(error) << "; nothing was sent.\n";
    return kExitBadInput;
  }

  Connection unit(connection, env);
  int code = kExitOk;
  if (!unit.Open(&code)) return code;
  UnitSession& session = unit.Session();
  const DeviceSettings current = session.Settings();
  DeviceSettings target = current;
  snapshot::ApplyTo(wanted->partial, target);

  // A setting the unit answered ERR to is never sent: the unit does not take it.
  std::set<std::string> unsupported;
  for (const std::string& keyword : session.UnsupportedKeywords()) {
    for (std::string_view field : snapshot::FieldsForKeyword(keyword)) {
      if (wanted->partial.Has(field) && !snapshot::IsReadOnlyField(field)) unsupported.emplace(field);
    }
  }
  std::set<std::string> writable;
  std::set<std::string> readOnly;
  for (const std::string& field : wanted->partial.present) {
    if (unsupported.count(field) != 0) continue;
    (snapshot::IsReadOnlyField(field) ? readOnly : writable).insert(field);
  }
  for (const std::string& field : unsupported) {
    env.err << "vqxctl: the VQX-2 does not support " << field << " (it answered ERR to "
            << snapshot::KeywordOfField(field) << "); it is not sent\n";
  }
  const int endCode = unsupported.empty() ? kExitOk : kExitRefused;
  const std::vector<snapshot::FieldDifference> changes = snapshot::Diff(current, target, writable);
  readOnly.erase("serialNumber");  // the technician's label, not the unit's
  for (const snapshot::FieldDifference& d : snapshot::Diff(current, target, readOnly)) {
    env.err << "Not applied (the unit's own value): " << d.field << " " << Visible(d.right) << " (the unit has "
            << Visible(d.left) << ")\n";
  }
  if (changes.empty()) {
    if (endCode != kExitOk) {
      env.out << "Nothing was sent: the VQX-2 already has the other settings of " << wanted->label << ".\n";
      return endCode;
    }
    env.out << "The VQX-2 already has the settings of " << wanted->label << "; nothing was sent.\n";
    return unit.Finish(kExitOk);
  }

  std::vector<std::string> keys;
  for (const snapshot::FieldDifference& d : changes) keys.push_back(d.key);
  // vqxctl sends what the desktop's form could send, no more.
  if (!snapshot::FormCanSend(target, keys, &error)) {
    env.err << "vqxctl: " << wanted->label << ": " << error << "; nothing was sent.\n";
    return unit.Finish(kExitBadInput);
  }
  const UpdatePlan plan = session.PlanFor(target);
  for (const char* label : plan.lineBreakLabels) {
    env.err << "vqxctl: The " << label << " cannot be sent to the VQX-2 because it contains a line break.\n";
  }
  if (!plan.lineBreakLabels.empty()) return unit.Finish(kExitBadInput);
  for (const UpdateStep& step : plan.steps) {
    if (!step.refusedMulticast) continue;
    env.err << "vqxctl: " << wanted->label << ": " << snapshot::MulticastProblem(target) << "\nNothing was sent.\n";
    return unit.Finish(kExitBadInput);
  }

  if (dryRun) {
    env.out << "Would send to the VQX-2:\n";
    for (const UpdateStep& step : plan.steps) env.out << "  " << Visible(Line(step.record)) << "\n";
    env.out << "  SAVE\n";
    env.out << FormatDifferences(changes, "unit", wanted->label);
    return unit.Finish(kExitOk);
  }

  std::vector<std::string> warnings;
  const ExitCode updated = session.Update(target, &warnings, &error);
  for (const std::string& warning : warnings) env.err << "VQX-2: " << warning << "\n";
  if (updated != kExitOk) {
    env.err << "vqxctl: " << error << "\n";
    return unit.Finish(updated);
  }
  for (const UpdateStep& step : plan.steps) env.out << "Sent: " << Visible(Line(step.record)) << "\n";
  env.out << "Sent: SAVE\n";

  // What the unit holds after its reboot decides, not what was sent.
  const DeviceSettings reread = session.Settings();
  std::set<std::string> changed(keys.begin(), keys.end());
  const std::vector<snapshot::FieldDifference> missed = snapshot::Diff(target, reread, changed);
  std::set<std::string> missedKeys;
  for (const snapshot::FieldDifference& d : missed) missedKeys.insert(d.key);
  for (const snapshot::FieldDifference& d : changes) {
    if (missedKeys.count(d.key) == 0) {
      env.out << "Changed: " << d.field << ": " << Visible(d.left) << " -> " << Visible(d.right) << "\n";
    }
  }
  if (!missed.empty()) {
    for (const snapshot::FieldDifference& d : missed) {
      env.err << "vqxctl: the VQX-2 did not take " << d.field << " " << Visible(d.left) << "; it has " << Visible(d.right)
              << "\n";
    }
    return unit.Finish(kExitRefused);
  }
  if (endCode != kExitOk) return endCode;
  env.out << "Verified: the VQX-2 holds the settings of " << wanted->label << ".\n";
  return unit.Finish(kExitOk);
}

int RunDiff(const ConnectionArgs* connection, const SourceArgs& first, const SourceArgs* second,
            const std::string& format, CliEnvironment& env) {
  std::string error;
  const std::optional<LoadedSnapshot> a = LoadSnapshotSource(first, &error);
  if (!a) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\n";
    return kExitBadInput;
  }

  DeviceSettings left;
  DeviceSettings right;
  std::set<std::string> fields;
  std::string leftName;
  std::string rightName = a->label;
  std::vector<std::string> onlyOneSide;
  std::unique_ptr<Connection> unit;
  if (second != nullptr) {
    const std::optional<LoadedSnapshot> b = LoadSnapshotSource(*second, &error);
    if (!b) {
      env.err << "vqxctl: " << VisibleMessage(error) << "\n";
      return kExitBadInput;
    }
    left = a->partial.values;
    right = b->partial.values;
    leftName = a->label;
    rightName = b->label;
    for (const std::string& field : a->partial.present) {
      if (b->partial.Has(field)) {
        fields.insert(field);
      } else {
        onlyOneSide.push_back(field + " (only in " + a->label + ")");
      }
    }
    for (const std::string& field : b->partial.present) {
      if (!a->partial.Has(field)) onlyOneSide.push_back(field + " (only in " + b->label + ")");
    }
  } else {
    unit = std::make_unique<Connection>(*connection, env);
    int code = kExitOk;
    if (!unit->Open(&code)) return code;
    left = unit->Session().Settings();
    right = left;
    snapshot::ApplyTo(a->partial, right);
    leftName = "unit";
    fields = a->partial.present;
    for (const std::string& field : FieldsWithoutUnitValue(unit->Session().UnsupportedKeywords())) {
      if (fields.erase(field) != 0 && field != "serialNumber") onlyOneSide.push_back(field + " (not supported by the unit)");
    }
  }

  const std::vector<snapshot::FieldDifference> differences = snapshot::Diff(left, right, fields);
  if (format == "json") {
    json list = json::array();
    for (const snapshot::FieldDifference& d : differences) {
      list.push_back({{"field", d.key}, {"name", d.field}, {"left", d.left}, {"right", d.right}});
    }
    json j = {{"left", leftName}, {"right", rightName}, {"differences", list}};
    if (!onlyOneSide.empty()) j["notCompared"] = onlyOneSide;
    env.out << snapshot::DumpJson(j);
  } else {
    if (differences.empty()) {
      env.out << "No differences between " << Visible(leftName) << " and " << Visible(rightName) << ".\n";
    } else {
      env.out << FormatDifferences(differences, leftName, rightName);
    }
    for (const std::string& field : onlyOneSide) env.out << "Not compared: " << Visible(field) << "\n";
  }
  const int code = differences.empty() ? kExitOk : kExitDifferent;
  return unit ? unit->Finish(code) : code;
}

int RunSend(const ConnectionArgs& connection, const std::vector<std::string>& lines, CliEnvironment& env) {
  Connection unit(connection, env);
  int code = kExitOk;
  if (!unit.Open(&code)) return code;
  for (const std::string& line : lines) {
    std::string answer;
    std::string error;
    env.out << "> " << Visible(line) << "\n";
    const ExitCode sent = unit.Session().SendLine(line, &answer, &error);
    env.out << VisibleLines(answer);
    if (sent != kExitOk) {
      env.err << "vqxctl: " << Visible(line) << ": " << Visible(error) << "\n";
      return unit.Finish(sent);
    }
    if (env.interrupt != nullptr && env.interrupt->load()) {
      env.err << "vqxctl: Interrupted.\n";
      return unit.Finish(kExitInterrupted);
    }
  }
  return unit.Finish(kExitOk);
}

}  // namespace vqx::cli
