#include "fleet_unit.h"

#include <chrono>
#include <set>
#include <sstream>
#include <streambuf>

#include "system_port.h"
#include "terminal_text.h"

namespace vqx::cli {

namespace {

constexpr auto kTick = std::chrono::milliseconds(250);

bool Set(const std::atomic<bool>* flag) { return flag != nullptr && flag->load(); }

// The session's progress lines, each handed on as the unit's state on the board.
class LineSink : public std::streambuf {
 public:
  explicit LineSink(std::function<void(const std::string&)> onLine) : onLine_(std::move(onLine)) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    if (c == '\n') {
      if (!line_.empty()) onLine_(line_);
      line_.clear();
    } else {
      line_ += static_cast<char>(c);
    }
    return c;
  }

 private:
  std::function<void(const std::string&)> onLine_;
  std::string line_;
};

// "Entering VQX-2 command mode (please wait)" says enough without its parenthesis.
std::string StateOf(std::string line) {
  const size_t wait = line.find(" (please wait)");
  if (wait != std::string::npos) line.erase(wait);
  return line;
}

struct UnitPlan {
  DeviceSettings target{};
  std::vector<snapshot::FieldDifference> changes;
  FleetOutcome problem = FleetOutcome::Pending;
  std::string refusedWhat;
  std::string detail;
};

// What the unit gets, from its read, the template and its row; the same checks as apply.
UnitPlan PlanUnit(UnitSession& session, const snapshot::PartialSettings& tmpl, const snapshot::UnitRow& row) {
  UnitPlan plan;
  const DeviceSettings current = session.Settings();
  plan.target = snapshot::TargetFor(current, tmpl, &row);
  std::set<std::string> asked = tmpl.present;
  asked.insert(row.values.present.begin(), row.values.present.end());
  for (const std::string& keyword : session.UnsupportedKeywords()) {
    for (std::string_view field : snapshot::FieldsForKeyword(keyword)) {
      if (asked.count(std::string(field)) != 0 && !snapshot::IsReadOnlyField(field)) {
        plan.problem = FleetOutcome::Refused;
        plan.refusedWhat = keyword;
        plan.detail = "the unit does not support " + std::string(field) + " (it answered ERR to " + keyword +
                      "); nothing was written";
        return plan;
      }
    }
  }
  std::set<std::string> writable;
  for (const std::string& field : asked) {
    if (!snapshot::IsReadOnlyField(field)) writable.insert(field);
  }
  plan.changes = snapshot::Diff(current, plan.target, writable);
  if (plan.changes.empty()) return plan;
  std::vector<std::string> keys;
  for (const snapshot::FieldDifference& d : plan.changes) keys.push_back(d.key);
  std::string error;
  if (!snapshot::FormCanSend(plan.target, keys, &error)) {
    plan.problem = FleetOutcome::BadSettings;
    plan.detail = error + "; nothing was written";
    return plan;
  }
  const UpdatePlan update = session.PlanFor(plan.target);
  if (!update.lineBreakLabels.empty()) {
    plan.problem = FleetOutcome::BadSettings;
    plan.detail = std::string("the ") + update.lineBreakLabels.front() + " holds a line break; nothing was written";
    return plan;
  }
  for (const UpdateStep& step : update.steps) {
    if (!step.refusedMulticast) continue;
    plan.problem = FleetOutcome::BadSettings;
    std::string problem = snapshot::MulticastProblem(plan.target);
    for (char& c : problem) {
      if (c == '\n') c = ' ';
    }
    plan.detail = problem + "; nothing was written";
    return plan;
  }
  return plan;
}

bool SameChanges(const std::vector<snapshot::FieldDifference>& a, const std::vector<snapshot::FieldDifference>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].key != b[i].key || a[i].left != b[i].left || a[i].right != b[i].right) return false;
  }
  return true;
}

FleetOutcome OutcomeOf(ExitCode code, const UnitSession& session) {
  switch (code) {
    case kExitPortNotOpened:
      return session.OpenError() == PortOpenError::Busy ? FleetOutcome::PortBusy : FleetOutcome::PortNotOpened;
    case kExitNotResponding: return FleetOutcome::NotResponding;
    case kExitInterrupted: return FleetOutcome::Interrupted;
    case kExitLeftInCommandMode: return FleetOutcome::LeftInCommandMode;
    case kExitRefused: return FleetOutcome::Refused;
    default: return FleetOutcome::Failed;
  }
}

// One opening of the unit's port, from Connect to Close.
class UnitVisit {
 public:
  UnitVisit(FleetUnitContext& context, size_t index, FleetUnitResult& result)
      : context_(context),
        index_(index),
        result_(result),
        sink_([this](const std::string& line) { context_.board.SetState(index_, StateOf(line)); }),
        progress_(&sink_) {}
  ~UnitVisit() { Close(); }

  bool Connect() {
    SessionOptions options = context_.session;
    options.line.port = result_.port;
    options.quiet = false;  // its lines are the board's states
    std::unique_ptr<ISerialPort> port = context_.portFactory ? context_.portFactory(result_.port) : nullptr;
    session_ = std::make_unique<UnitSession>(options, progress_, std::move(port));
    context_.board.SetState(index_, "opening the port");
    std::string error;
    const ExitCode code = session_->Connect(&error);
    if (code == kExitOk) return true;
    result_.outcome = OutcomeOf(code, *session_);
    result_.detail = error;
    Close();
    return false;
  }

  UnitSession& Session() { return *session_; }

  // Returns the unit to transparent mode; a unit that does not confirm TRAN is what the
  // summary says about it, whatever happened before (a lost port keeps its own word).
  void Close() {
    if (!session_ || closed_) return;
    closed_ = true;
    context_.board.SetState(index_, "returning to transparent mode");
    std::string warning;
    if (!session_->Close(&warning) && result_.outcome != FleetOutcome::PortNotOpened) {
      result_.outcome = FleetOutcome::LeftInCommandMode;
      result_.detail = warning;
    }
  }

 private:
  FleetUnitContext& context_;
  const size_t index_;
  FleetUnitResult& result_;
  LineSink sink_;
  std::ostream progress_;
  std::unique_ptr<UnitSession> session_;
  bool closed_ = false;
};

// The MAC in the unit's own form, or as the unit gave it when it is no MAC at all.
std::string MacOf(const DeviceSettings& settings) {
  const std::string raw(settings.macAddress, strnlen(settings.macAddress, sizeof(settings.macAddress)));
  const std::optional<std::string> mac = snapshot::NormaliseMac(raw);
  return mac ? *mac : raw;
}

std::string NameOf(const DeviceSettings& settings) {
  return std::string(settings.name, strnlen(settings.name, sizeof(settings.name)));
}

// Writes the plan, waits out the reboot and compares what the unit holds after it.
void WriteAndVerify(UnitSession& session, const UnitPlan& plan, FleetUnitResult& result) {
  std::vector<std::string> warnings;
  std::string error;
  const ExitCode code = session.Update(plan.target, &warnings, &error);
  if (code != kExitOk) {
    result.outcome = OutcomeOf(code, session);
    if (result.outcome == FleetOutcome::PortNotOpened) result.detail = error;
    else result.detail = error + (warnings.empty() || warnings.back() == error ? "" : " (" + warnings.back() + ")");
    return;
  }
  result.after = session.Settings();
  std::set<std::string> changed;
  for (const snapshot::FieldDifference& d : plan.changes) changed.insert(d.key);
  const std::vector<snapshot::FieldDifference> missed = snapshot::Diff(plan.target, *result.after, changed);
  if (missed.empty()) {
    result.outcome = FleetOutcome::ChangedVerified;
    return;
  }
  result.outcome = FleetOutcome::Refused;
  std::set<std::string> keywords;
  std::string detail;
  for (const snapshot::FieldDifference& d : missed) {
    const std::string keyword(snapshot::KeywordOfField(d.key));
    if (keywords.insert(keyword).second) result.refusedWhat += (result.refusedWhat.empty() ? "" : ",") + keyword;
    detail += (detail.empty() ? "" : "; ") + d.field + " " + d.left + " was not taken, the unit has " + d.right;
  }
  // A setting the link could not send, or one the unit does not support, is named in a
  // warning: it tells why the value was not taken.
  for (const std::string& warning : warnings) detail += " (" + warning + ")";
  result.detail = detail;
}

}  // namespace

void FleetGate::Arrive() {
  std::lock_guard lock(mutex_);
  ++arrived_;
  changed_.notify_all();
}

bool FleetGate::WaitForAll(const std::atomic<bool>* interrupt, const std::function<void()>& tick) {
  std::unique_lock lock(mutex_);
  while (arrived_ < units_) {
    if (Set(interrupt)) return false;
    changed_.wait_for(lock, kTick);
    lock.unlock();
    if (tick) tick();
    lock.lock();
  }
  return !Set(interrupt);
}

void FleetGate::Decide(Decision decision) {
  std::lock_guard lock(mutex_);
  decision_ = decision;
  changed_.notify_all();
}

FleetGate::Decision FleetGate::Await(const std::atomic<bool>* interrupt) {
  std::unique_lock lock(mutex_);
  while (decision_ == Decision::Undecided) {
    if (Set(interrupt)) return Decision::Release;
    changed_.wait_for(lock, kTick);
  }
  return Set(interrupt) ? Decision::Release : decision_;
}

bool FleetGate::Enter(const std::atomic<bool>* interrupt) {
  std::unique_lock lock(mutex_);
  while (free_ == 0) {
    if (Set(interrupt)) return false;
    changed_.wait_for(lock, kTick);
  }
  --free_;
  return true;
}

void FleetGate::Leave() {
  std::lock_guard lock(mutex_);
  ++free_;
  changed_.notify_all();
}

void RunFleetUnit(FleetUnitContext& context, size_t index, FleetUnitResult& result) {
  FleetGate& gate = context.gate;
  FleetStatusBoard& board = context.board;
  const auto end = [&](bool holdsSlot) {
    board.SetState(index, FleetResultText(result));
    if (holdsSlot) gate.Leave();
  };
  if (!gate.Enter(context.interrupt)) {
    result.outcome = FleetOutcome::Interrupted;
    end(false);
    gate.Arrive();
    return;
  }
  auto visit = std::make_unique<UnitVisit>(context, index, result);
  if (!visit->Connect()) {
    end(true);
    gate.Arrive();
    return;
  }
  result.before = visit->Session().Settings();
  result.mac = MacOf(*result.before);
  result.name = NameOf(*result.before);
  board.SetMac(index, result.mac);
  board.SetName(index, result.name);
  const snapshot::UnitRow* row = snapshot::FindUnitRow(context.table, result.mac, result.port);
  if (row == nullptr) {
    result.outcome = FleetOutcome::NoRow;
    result.detail = "no row for MAC " + result.mac + " on " + result.port + "; nothing was written";
    visit.reset();
    end(true);
    gate.Arrive();
    return;
  }
  result.rowLine = row->line;
  UnitPlan plan = PlanUnit(visit->Session(), context.tmpl, *row);
  result.name = NameOf(plan.target);
  board.SetName(index, result.name);
  result.changes = plan.changes;
  if (plan.problem != FleetOutcome::Pending || plan.changes.empty()) {
    result.outcome = plan.problem != FleetOutcome::Pending ? plan.problem : FleetOutcome::Unchanged;
    result.refusedWhat = plan.refusedWhat;
    result.detail = plan.detail;
    visit.reset();  // returned before the others are written: nothing more goes to it
    end(true);
    gate.Arrive();
    return;
  }
  bool holdsSlot = true;
  if (!context.holdAcrossBarrier) {
    // Fewer ports at once than units: this one waits in transparent mode.
    visit.reset();
    gate.Leave();
    holdsSlot = false;
    if (result.outcome != FleetOutcome::Pending) {
      gate.Arrive();
      board.SetState(index, FleetResultText(result));
      return;
    }
  }
  board.SetState(index, "planned " + std::to_string(plan.changes.size()) +
                            (plan.changes.size() == 1 ? " change" : " changes") + ", waiting for the others");
  gate.Arrive();
  const FleetGate::Decision decision = gate.Await(context.interrupt);
  // The run may have settled this unit meanwhile (the same MAC on another port, a dry run).
  if (decision != FleetGate::Decision::Write || result.outcome != FleetOutcome::Pending) {
    if (result.outcome == FleetOutcome::Pending) {
      result.outcome = Set(context.interrupt) ? FleetOutcome::Interrupted : FleetOutcome::NotConfirmed;
    }
    visit.reset();
    end(holdsSlot);
    return;
  }
  if (!holdsSlot) {
    if (!gate.Enter(context.interrupt)) {
      result.outcome = FleetOutcome::Interrupted;
      end(false);
      return;
    }
    holdsSlot = true;
    visit = std::make_unique<UnitVisit>(context, index, result);
    if (!visit->Connect()) {
      end(true);
      return;
    }
    // What was confirmed is what is written: a unit changed in between is left alone.
    const UnitPlan again = PlanUnit(visit->Session(), context.tmpl, *row);
    if (MacOf(visit->Session().Settings()) != result.mac || !SameChanges(again.changes, plan.changes) ||
        again.problem != FleetOutcome::Pending) {
      result.outcome = FleetOutcome::Failed;
      result.detail = "the unit on " + result.port + " changed after it was planned; nothing was written";
      visit.reset();
      end(true);
      return;
    }
    plan = again;
  }
  board.SetState(index, "writing " + std::to_string(plan.changes.size()) +
                            (plan.changes.size() == 1 ? " change" : " changes"));
  WriteAndVerify(visit->Session(), plan, result);
  visit.reset();
  end(true);
}

}  // namespace vqx::cli
