// vqxctl fleet in this process against eight simulated units on pseudo-terminals, in real
// time. The units are plugged in a random order and found by their MACs; each case reads
// every unit (an escape of about four seconds each, all at once), and those that are
// written are saved, rebooted and read again.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <mutex>
#include <random>
#include <sstream>
#include <streambuf>
#include <thread>

#include <nlohmann/json.hpp>

#include "link/serial_comm.h"
#include "posix/posix_serial_port.h"
#include "prefs_change.h"
#include "runner/sim_runner.h"
#include "support/random_closes.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using Outcome = testing::VqxctlOutcome;

// The read after SAVE escapes once the line has been quiet for the guard time since SAVE,
// which includes the unit's restart; the unit counts its quiet only from when it is up
// again. A restart of 1 s left the units' 1 s guard 0.1 s of margin, which eight units
// on a loaded machine under the address sanitizer overran (each passed "+++" on as data);
// 0.5 s leaves the unit's guard 0.6 s, and the wait still outlasts the restart by 1 s.
constexpr uint32_t kSimRebootMs = 500;
constexpr const char* kRebootWait = "1.5";
constexpr size_t kUnits = 8;

std::string MacOf(size_t unit) {
  char text[24];
  std::snprintf(text, sizeof(text), "00:20:4A:00:01:%02X", static_cast<unsigned>(unit + 1));
  return text;
}
std::string NameOf(size_t unit) { return "Site " + std::to_string(unit + 1); }
std::string IpOf(size_t unit) { return "10.20.0." + std::to_string(unit + 11); }

// A line that tells the unit a value (or saves): what a unit that is left alone never hears.
bool IsSetLine(const std::string& line) {
  if (line == "SAVE" || line == "REBOOT") return true;
  const size_t space = line.find(' ');
  return space != std::string::npos && sim::SettingsModel::Find(line.substr(0, space)) != nullptr;
}

uint32_t Seed() {
  const char* text = std::getenv("VQX_SEED");
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : std::random_device{}();
}

// Standard input whose answer is typed only after beforeTyping ran: the moment the
// program waits for a person at its question.
class AnswerTypedLater : public std::streambuf {
 public:
  AnswerTypedLater(std::string answer, std::function<void()> beforeTyping)
      : answer_(std::move(answer)), beforeTyping_(std::move(beforeTyping)) {}

 protected:
  int_type underflow() override {
    if (!typed_) {
      typed_ = true;
      beforeTyping_();
      setg(answer_.data(), answer_.data(), answer_.data() + answer_.size());
    }
    return gptr() == egptr() ? traits_type::eof() : traits_type::to_int_type(*gptr());
  }

 private:
  std::string answer_;
  std::function<void()> beforeTyping_;
  bool typed_ = false;
};

class CliFleet : public ::testing::Test {
 protected:
  ~CliFleet() override {
    for (auto& sim : sims_) sim->Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Unit i carries MAC i; the sims are started in a random order, so unit i is on a port
  // whose place in the list has nothing to do with i. adjust may change unit i's config.
  void PlugIn(size_t count, const std::function<void(size_t, sim::SimConfig&)>& adjust = nullptr) {
    order_.resize(count);
    for (size_t i = 0; i < count; ++i) order_[i] = i;
    const uint32_t seed = Seed();
    std::mt19937 random(seed);
    std::shuffle(order_.begin(), order_.end(), random);
    RecordProperty("seed", std::to_string(seed));
    std::cout << "VQX_SEED=" << seed << "\n";
    sims_.resize(count);
    for (size_t slot = 0; slot < count; ++slot) {
      const size_t unit = order_[slot];
      sim::SimConfig config;
      config.rebootMs = kSimRebootMs;
      ASSERT_EQ(config.settings.Load(*sim::SettingsModel::Find("MAC"), MacOf(unit)), sim::SetOutcome::Ok);
      if (adjust) adjust(unit, config);
      auto runner = std::make_unique<sim::SimRunner>(std::move(config));
      std::string error;
      ASSERT_TRUE(runner->Start(&error)) << error;
      sims_[unit] = std::move(runner);
    }
  }

  sim::SimRunner& Unit(size_t unit) { return *sims_[unit]; }

  // Every port, in the order the sims were started.
  std::string Ports() const {
    std::string list;
    for (size_t slot = 0; slot < order_.size(); ++slot) list += (slot ? "," : "") + sims_[order_[slot]]->SlavePath();
    return list;
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string Template() { return WriteFile("site.json", R"({"vocoder": 3, "serverIp": "10.20.0.1"})"); }

  // A row for each unit in units.
  std::string Table(const std::vector<size_t>& units, const std::string& namePrefix = "") {
    std::string csv = "macAddress,name,ipAddress\n";
    for (size_t u : units) csv += MacOf(u) + "," + namePrefix + NameOf(u) + "," + IpOf(u) + "\n";
    return WriteFile("units" + namePrefix + ".csv", csv);
  }

  std::vector<size_t> LineMarks() const {
    std::vector<size_t> marks;
    for (const auto& sim : sims_) marks.push_back(sim->ReceivedLines().size());
    return marks;
  }

  std::vector<std::string> LinesSince(size_t unit, size_t mark) const {
    const std::vector<std::string> all = sims_[unit]->ReceivedLines();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(mark, all.size())), all.end()};
  }

  // What each unit heard since marks, one line each, unprintable bytes as \xNN: what a
  // failure needs to tell a unit that was never asked from one that heard a garbled line.
  std::string HeardSince(const std::vector<size_t>& marks) const {
    std::string text = "\nwhat the units heard:\n";
    for (size_t u = 0; u < sims_.size(); ++u) {
      text += "unit " + std::to_string(u) + " (" + sims_[u]->SlavePath() + "):";
      for (const std::string& line : LinesSince(u, marks[u])) {
        text += " \"";
        for (const char c : line) {
          const auto byte = static_cast<unsigned char>(c);
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
          text += byte >= 0x20 && byte < 0x7f ? std::string(1, c) : std::string(escaped);
        }
        text += "\"";
      }
      text += "\n";
    }
    return text;
  }

  // Every unit ends transparent with nothing after its TRAN (or its restart after SAVE).
  void ExpectAllLeftProperly(const std::vector<size_t>& marks) {
    for (size_t u = 0; u < sims_.size(); ++u) {
      sims_[u]->WaitFor([](const sim::SimUnit& unit) { return unit.Mode() == sim::SimMode::Transparent; },
                        std::chrono::milliseconds(kReplyTimeoutMs + kSimRebootMs));
      EXPECT_EQ(sims_[u]->WithUnit([&](const sim::SimUnit& unit) { return testing::UnitLeftProperly(unit, marks[u]); }),
                "")
          << "unit " << u;
    }
  }

  bool AllTransparentWithin(std::chrono::milliseconds bound) {
    for (auto& sim : sims_) {
      if (!sim->WaitFor([](const sim::SimUnit& unit) { return unit.Mode() == sim::SimMode::Transparent; }, bound)) {
        return false;
      }
    }
    return true;
  }

  Outcome Fleet(const std::vector<std::string>& rest, const std::atomic<bool>* interrupt = nullptr) {
    std::vector<std::string> args = {"--quiet", "fleet"};
    args.insert(args.end(), rest.begin(), rest.end());
    args.insert(args.end(), {"--reboot-wait", kRebootWait});
    return testing::RunVqxctlHere(args, interrupt);
  }

  static std::filesystem::path MakeDirectory() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqxctl-fleet-" + std::to_string(::getpid()) + "-" +
                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path dir_ = MakeDirectory();
  std::vector<std::unique_ptr<sim::SimRunner>> sims_;  // by unit
  std::vector<size_t> order_;                           // the units in the order of their ports
};

// The summary line of the unit on port.
std::string SummaryLine(const std::string& summary, const std::string& port) {
  std::istringstream lines(summary);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(port + " ", 0) == 0) return line;
  }
  return "(no line for " + port + ")";
}

TEST_F(CliFleet, FaultyUnitsAreNamedInTheSummaryWhileTheOthersAreProvisionedVerifiedAndARerunWritesNothing) {
  // Unit 0 is silent, unit 1 will not take a new name, unit 2 has no row, unit 3's port is
  // held by another program; units 4..7 are as a fleet should be.
  PlugIn(kUnits, [](size_t unit, sim::SimConfig& config) {
    if (unit == 0) config.faults.silent = true;
    if (unit == 1) config.refusedSets = {"NAME"};
  });
  posix::PosixSerialPort holder;
  ASSERT_TRUE(holder.Open(Unit(3).SlavePath().c_str(), LineSettings{}).ok);
  const std::vector<size_t> marks = LineMarks();
  const std::string report = (dir_ / "out.json").string();
  const Outcome run = Fleet({Template(), Table({0, 1, 3, 4, 5, 6, 7}), "--ports", Ports(), "--yes", "--report", report});
  holder.Close();

  EXPECT_EQ(run.code, kExitNotProvisioned) << run.out << run.err << HeardSince(marks);
  EXPECT_THAT(SummaryLine(run.out, Unit(0).SlavePath()), HasSubstr("not responding"));
  EXPECT_THAT(SummaryLine(run.out, Unit(1).SlavePath()), HasSubstr("refused NAME"));
  EXPECT_THAT(SummaryLine(run.out, Unit(2).SlavePath()), HasSubstr("no row"));
  EXPECT_THAT(run.out, HasSubstr("no row for MAC " + MacOf(2)));
  EXPECT_THAT(SummaryLine(run.out, Unit(3).SlavePath()), HasSubstr("port busy"));
  EXPECT_THAT(run.out, HasSubstr("8 units: "));
  EXPECT_THAT(run.out, HasSubstr("4 changed and verified"));
  for (size_t u = 4; u < kUnits; ++u) {
    EXPECT_THAT(SummaryLine(run.out, Unit(u).SlavePath()), HasSubstr(MacOf(u) + "  " + NameOf(u) + "  changed and verified"));
    const sim::SettingsModel saved = Unit(u).SavedSettings();
    EXPECT_EQ(saved.TextOf("NAME"), NameOf(u));
    EXPECT_EQ(sim::FormatAddress(saved.AddressOf("MYIP")), sim::FormatAddress(sim::Address{10, 20, 0, static_cast<uint8_t>(u + 11)}));
    EXPECT_EQ(saved.NumberOf("VOCODER"), 3);
    EXPECT_EQ(sim::FormatAddress(saved.AddressOf("SRVRIP")), sim::FormatAddress(sim::Address{10, 20, 0, 1}));
  }
  // Nothing was told to the units that must not be written.
  for (size_t u : {0u, 2u, 3u}) {
    for (const std::string& line : LinesSince(u, marks[u])) EXPECT_FALSE(IsSetLine(line)) << "unit " << u << ": " << line;
  }
  EXPECT_EQ(Unit(1).SavedSettings().TextOf("NAME"), "VQX-2");
  EXPECT_EQ(Unit(1).SavedSettings().NumberOf("VOCODER"), 3) << "the other settings of the refusing unit went in";
  ExpectAllLeftProperly(marks);

  // The report has each unit's before and after values.
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  ASSERT_EQ(j["units"].size(), kUnits);
  for (const nlohmann::json& unit : j["units"]) {
    if (unit["port"] != Unit(5).SlavePath()) continue;
    EXPECT_EQ(unit["result"], "changed and verified");
    EXPECT_EQ(unit["before"]["name"], "VQX-2");
    EXPECT_EQ(unit["after"]["name"], NameOf(5));
    EXPECT_EQ(unit["after"]["ipAddress"], IpOf(5));
  }

  // Run again over the provisioned units: every one is unchanged and hears no set command.
  const std::vector<size_t> again = LineMarks();
  std::string provisioned;
  for (size_t u = 4; u < kUnits; ++u) provisioned += (u > 4 ? "," : "") + Unit(u).SlavePath();
  const Outcome rerun = Fleet({Template(), Table({4, 5, 6, 7}), "--ports", provisioned});
  EXPECT_EQ(rerun.code, kExitOk) << rerun.out << rerun.err << HeardSince(again);
  EXPECT_THAT(rerun.out, HasSubstr("4 units: 4 unchanged"));
  for (size_t u = 4; u < kUnits; ++u) {
    const std::vector<std::string> lines = LinesSince(u, again[u]);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "TRAN");
    for (const std::string& line : lines) EXPECT_FALSE(IsSetLine(line)) << "unit " << u << ": " << line;
  }
}

TEST_F(CliFleet, DryRunOrNoAnswerWritesNothingAndATerminalIsAskedOnceForTheWholeFleet) {
  PlugIn(2);
  const std::vector<size_t> marks = LineMarks();
  const Outcome dry = Fleet({Template(), Table({0, 1}), "--ports", Ports(), "--dry-run"});
  EXPECT_EQ(dry.code, kExitOk) << dry.out << dry.err << HeardSince(marks);
  EXPECT_THAT(dry.out, HasSubstr("2 units: 2 would change"));
  EXPECT_THAT(dry.out, HasSubstr("Vocoder"));
  EXPECT_THAT(dry.out, HasSubstr(NameOf(1)));
  ExpectAllLeftProperly(marks);

  // Without --yes and without a person at a terminal to ask, nothing is written either.
  const Outcome unasked = Fleet({Template(), Table({0, 1}), "--ports", Ports()});
  EXPECT_EQ(unasked.code, kExitUsage) << unasked.out;
  EXPECT_THAT(unasked.err, HasSubstr("give --yes"));
  EXPECT_THAT(unasked.out, HasSubstr("2 not confirmed"));
  for (size_t u = 0; u < 2; ++u) {
    for (const std::string& line : LinesSince(u, marks[u])) EXPECT_FALSE(IsSetLine(line)) << line;
    EXPECT_EQ(Unit(u).SavedSettings().TextOf("NAME"), "VQX-2");
  }
  ExpectAllLeftProperly(marks);

  // On a terminal the question is asked once for the whole fleet, after the planned changes.
  // A person may take minutes to answer: meanwhile every unit is back in transparent mode,
  // passing its radio's traffic, and it is read again before anything is written.
  bool transparentWhileAsked = false;
  const auto answering = [&](const std::string& answer) {
    AnswerTypedLater typed(answer, [&] {
      transparentWhileAsked = AllTransparentWithin(std::chrono::milliseconds(kReplyTimeoutMs));
    });
    std::istream in(&typed);
    return testing::RunVqxctlWith({"fleet", Template(), Table({0, 1}), "--ports", Ports(), "--reboot-wait", kRebootWait},
                                  [&](CliEnvironment& env) {
                                    env.in = &in;
                                    env.inIsTerminal = true;
                                  });
  };
  const Outcome no = answering("n\n");
  EXPECT_TRUE(transparentWhileAsked);
  EXPECT_EQ(no.code, kExitNotProvisioned);
  EXPECT_THAT(no.err, HasSubstr("Write these changes to 2 units, save and reboot? [y/N]"));
  EXPECT_THAT(no.err, HasSubstr("Name VQX-2 -> " + NameOf(0)));
  EXPECT_THAT(no.out, HasSubstr("2 units: 2 not confirmed"));
  EXPECT_EQ(Unit(0).SavedSettings().TextOf("NAME"), "VQX-2");
  const std::vector<size_t> beforeYes = LineMarks();
  transparentWhileAsked = false;
  const Outcome yes = answering("y\n");
  EXPECT_TRUE(transparentWhileAsked);
  EXPECT_EQ(yes.code, kExitOk) << yes.out << yes.err << HeardSince(beforeYes);
  EXPECT_THAT(yes.out, HasSubstr("2 units: 2 changed and verified"));
  EXPECT_EQ(Unit(0).SavedSettings().TextOf("NAME"), NameOf(0));
  EXPECT_EQ(Unit(1).SavedSettings().TextOf("NAME"), NameOf(1));
  ExpectAllLeftProperly(beforeYes);
}

TEST_F(CliFleet, CtrlCAtTheQuestionWritesNothingAndEndsWithEveryUnitTransparent) {
  PlugIn(2);
  const std::vector<size_t> marks = LineMarks();
  std::atomic<bool> interrupt{false};
  // The person presses Ctrl-C instead of answering: the signal ends the read unanswered.
  AnswerTypedLater pressed("", [&] { interrupt.store(true); });
  std::istream in(&pressed);
  const Outcome outcome =
      testing::RunVqxctlWith({"fleet", Template(), Table({0, 1}), "--ports", Ports(), "--reboot-wait", kRebootWait},
                             [&](CliEnvironment& env) {
                               env.in = &in;
                               env.inIsTerminal = true;
                               env.interrupt = &interrupt;
                             });
  EXPECT_EQ(outcome.code, kExitInterrupted) << outcome.out << outcome.err;
  EXPECT_THAT(outcome.err, HasSubstr("save and reboot? [y/N]"));
  for (size_t u = 0; u < 2; ++u) {
    for (const std::string& line : LinesSince(u, marks[u])) EXPECT_FALSE(IsSetLine(line)) << line;
    EXPECT_EQ(Unit(u).SavedSettings().TextOf("NAME"), "VQX-2");
  }
  ExpectAllLeftProperly(marks);
}

TEST_F(CliFleet, DuplicatesInTheTableAreRefusedBeforeAnyPortAndOneMacOnTwoPortsStopsBoth) {
  PlugIn(3, [](size_t unit, sim::SimConfig& config) {
    // Units 1 and 2 answer with the same MAC: a cloned unit, or one plugged twice.
    if (unit == 2) config.settings.Load(*sim::SettingsModel::Find("MAC"), MacOf(1));
  });
  const std::vector<size_t> marks = LineMarks();
  const std::string twoNames =
      WriteFile("names.csv", "macAddress,name\n" + MacOf(0) + ",Site 1\n" + MacOf(1) + ",Site 1\n");
  const Outcome names = Fleet({Template(), twoNames, "--ports", Ports(), "--yes"});
  EXPECT_EQ(names.code, kExitBadInput);
  EXPECT_THAT(names.err, HasSubstr("line 3"));
  const std::string twoMacs =
      WriteFile("macs.csv", "macAddress,name\n" + MacOf(0) + ",Site 1\n" + MacOf(0) + ",Site 2\n");
  const Outcome macs = Fleet({Template(), twoMacs, "--ports", Ports(), "--yes"});
  EXPECT_EQ(macs.code, kExitBadInput);
  EXPECT_THAT(macs.err, HasSubstr("line 3"));
  EXPECT_EQ(LineMarks(), marks) << "a refused table reaches no unit";

  // A History that cannot take two entries a unit is found before any port is opened.
  const std::string prefs = (dir_ / "VQXSU_Prefs.cfg").string();
  std::filesystem::copy_file(VQX_SOURCE_DIR "/fuzz/corpus/preferences/empty.cfg", prefs);
  const auto historyCount = [&] {
    PrefsFile file = OpenPrefs(prefs);
    std::string error;
    const auto block = snapshot::LoadPreferences(*file.store, file.name, &error);
    return block ? block->historyCount : -1;
  };
  {
    PrefsFile file = OpenPrefs(prefs);
    std::string error;
    auto block = snapshot::LoadPreferences(*file.store, file.name, &error);
    ASSERT_TRUE(block) << error;
    block->historyCount = kHistoryCapacity - 5;
    ASSERT_TRUE(file.store->ReplaceFile(file.name.c_str(), block.get(), sizeof(PreferencesBlock)));
  }
  const Outcome full = Fleet({Template(), Table({0, 1}), "--ports", Ports(), "--yes", "--prefs", prefs});
  EXPECT_EQ(full.code, kExitBadInput);
  EXPECT_THAT(full.err, HasSubstr("holds 195 of its 200 entries"));
  EXPECT_EQ(LineMarks(), marks);
  {
    PrefsFile file = OpenPrefs(prefs);
    std::string error;
    auto block = snapshot::LoadPreferences(*file.store, file.name, &error);
    ASSERT_TRUE(block) << error;
    block->historyCount = 0;
    ASSERT_TRUE(file.store->ReplaceFile(file.name.c_str(), block.get(), sizeof(PreferencesBlock)));
  }

  const Outcome twice = Fleet({Template(), Table({0, 1}), "--ports", Ports(), "--yes", "--prefs", prefs});
  // Every unit read gives its settings before; the one written, its settings after.
  EXPECT_EQ(historyCount(), 4);
  EXPECT_EQ(twice.code, kExitNotProvisioned) << twice.out << twice.err;
  EXPECT_THAT(SummaryLine(twice.out, Unit(0).SlavePath()), HasSubstr("changed and verified"));
  EXPECT_THAT(SummaryLine(twice.out, Unit(1).SlavePath()), HasSubstr("duplicate MAC"));
  EXPECT_THAT(SummaryLine(twice.out, Unit(2).SlavePath()), HasSubstr("duplicate MAC"));
  EXPECT_THAT(twice.out, HasSubstr("MAC " + MacOf(1) + " found on "));
  for (size_t u : {1u, 2u}) {
    for (const std::string& line : LinesSince(u, marks[u])) EXPECT_FALSE(IsSetLine(line)) << line;
  }
  ExpectAllLeftProperly(marks);
}

TEST_F(CliFleet, WithFewerJobsThanUnitsEachWaitsTransparentAndIsReadAgainBeforeItIsWritten) {
  PlugIn(2);
  const std::vector<size_t> marks = LineMarks();
  const Outcome run = Fleet({Template(), Table({0, 1}), "--ports", Ports(), "--yes", "--jobs", "1"});
  EXPECT_EQ(run.code, kExitOk) << run.out << run.err << HeardSince(marks);
  EXPECT_THAT(run.out, HasSubstr("2 units: 2 changed and verified"));
  for (size_t u = 0; u < 2; ++u) {
    const std::vector<std::string> lines = LinesSince(u, marks[u]);
    // The plan's read, returned; the read before writing; the read after the reboot.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "TRAN"), 2) << "unit " << u;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "VSENSE"), 3) << "unit " << u;
    const auto firstTran = std::find(lines.begin(), lines.end(), "TRAN");
    EXPECT_TRUE(std::none_of(lines.begin(), firstTran, IsSetLine)) << "unit " << u << " was written before the barrier";
    EXPECT_EQ(Unit(u).SavedSettings().TextOf("NAME"), NameOf(u));
  }
  ExpectAllLeftProperly(marks);
}

// A unit that answers TRAN with ERR stays in command mode: the summary says so for that
// unit alone, and the run ends with the code that tells the technician to go and look.
TEST_F(CliFleet, AUnitThatRefusesTranIsReportedLeftInCommandModeAndTheRunEndsWithThatCode) {
  PlugIn(2, [](size_t unit, sim::SimConfig& config) {
    if (unit == 0) config.unsupported = {"TRAN"};
  });
  const std::vector<size_t> marks = LineMarks();
  const Outcome run = Fleet({Template(), Table({0, 1}), "--ports", Ports(), "--yes"});
  EXPECT_EQ(run.code, kExitLeftInCommandMode) << run.out << run.err << HeardSince(marks);
  EXPECT_THAT(SummaryLine(run.out, Unit(0).SlavePath()), HasSubstr("left in command mode"));
  EXPECT_THAT(run.out, HasSubstr(Unit(0).SlavePath() + ": The VQX-2 did not confirm that it left command mode."));
  EXPECT_THAT(SummaryLine(run.out, Unit(1).SlavePath()), HasSubstr(MacOf(1) + "  " + NameOf(1) + "  changed and verified"));
  EXPECT_EQ(Unit(0).Mode(), sim::SimMode::Command) << "the report is the truth: the unit did stay";
  EXPECT_EQ(Unit(1).WithUnit([&](const sim::SimUnit& unit) { return testing::UnitLeftProperly(unit, marks[1]); }), "");
}

// Each port searches its own unit's line settings first; the read, the writing and the
// verification then run at the settings found.
TEST_F(CliFleet, WithDetectEachUnitIsFoundAtItsOwnLineSettingsAndProvisioned) {
  PlugIn(2, [](size_t unit, sim::SimConfig& config) {
    sim::SerialFrame frame;
    ASSERT_TRUE(sim::ParseSerialFrame(unit == 0 ? "9600-8N1" : "19200-8N1", &frame));
    config.line = frame;
  });
  const std::vector<size_t> marks = LineMarks();
  const Outcome run = Fleet({Template(), Table({0, 1}), "--ports", Ports(), "--yes", "--detect"});
  EXPECT_EQ(run.code, kExitOk) << run.out << run.err << HeardSince(marks);
  EXPECT_THAT(run.out, HasSubstr("2 units: 2 changed and verified"));
  for (size_t u = 0; u < 2; ++u) {
    EXPECT_EQ(Unit(u).SavedSettings().TextOf("NAME"), NameOf(u));
    EXPECT_EQ(Unit(u).SavedSettings().NumberOf("BAUD"), u == 0 ? 9600 : 19200) << "the unit's own line is kept";
  }
  ExpectAllLeftProperly(marks);
}

TEST_F(CliFleet, CtrlCAtRandomMomentsLeavesEveryUnitTransparent) {
  PlugIn(kUnits);
  const uint32_t seed = Seed();
  std::mt19937 random(seed);
  // From the first escape to the read after the reboot: about fourteen seconds a run.
  std::uniform_int_distribution<int> moment(0, 14000);
  const int runs = testing::RandomCloseCount(3);
  std::vector<size_t> all(kUnits);
  for (size_t u = 0; u < kUnits; ++u) all[u] = u;
  for (int run = 0; run < runs; ++run) {
    // Each run asks for other names than the last, so that there is always something to
    // write and the interrupt can fall in any phase.
    const std::string table = Table(all, "Run " + std::to_string(run) + " ");
    const std::vector<size_t> marks = LineMarks();
    for (size_t u = 0; u < kUnits; ++u) Unit(u).TakeLongestHoldMs();
    const auto after = std::chrono::milliseconds(moment(random));
    std::atomic<bool> interrupt{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread user([&] {
      std::unique_lock lock(mutex);
      if (!ended.wait_for(lock, after, [&] { return done; })) interrupt.store(true);
    });
    const Outcome outcome =
        Fleet({Template(), table, "--ports", Ports(), "--yes"}, &interrupt);
    {
      std::lock_guard lock(mutex);
      done = true;
    }
    ended.notify_all();
    user.join();
    SCOPED_TRACE("interrupt after " + std::to_string(after.count()) + " ms (VQX_SEED=" + std::to_string(seed) + ")");
    // A unit whose input the machine held back longer than the reply time-out answers TRAN
    // after vqxctl stopped waiting for it: then vqxctl rightly says the unit may be in
    // command mode (8), and the unit must still end transparent (checked below).
    bool heldPastTheTimeOut = outcome.code == kExitLeftInCommandMode;
    std::string holds;
    for (size_t u = 0; u < kUnits; ++u) {
      const sim::SimMs held = Unit(u).TakeLongestHoldMs();
      const bool reportedLeft = SummaryLine(outcome.out, Unit(u).SlavePath()).find("left in command mode") != std::string::npos;
      if (reportedLeft && held < kReplyTimeoutMs) heldPastTheTimeOut = false;
      holds += Unit(u).SlavePath() + ": input held back up to " + std::to_string(held) + " ms\n";
    }
    if (heldPastTheTimeOut) {
      std::cout << "units reported left in command mode, their input held back past the reply time-out:\n" << holds;
    } else if (interrupt.load()) {
      EXPECT_EQ(outcome.code, kExitInterrupted) << outcome.out << outcome.err << holds;
    } else {
      EXPECT_THAT(outcome.code, ::testing::AnyOf(kExitOk, kExitNotProvisioned)) << outcome.out << outcome.err << holds;
    }
    ExpectAllLeftProperly(marks);
  }
}

}  // namespace
}  // namespace vqx::cli
