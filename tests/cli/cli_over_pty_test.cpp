// vqxctl run in this process against vqxsim on a pseudo-terminal, in real time: each
// command escapes the unit (about five seconds), reads it and returns it to transparent
// mode, exactly as the desktop program does.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_run.h"
#include "link/serial_comm.h"
#include "posix/posix_serial_port.h"
#include "runner/sim_runner.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const std::vector<std::string> kFullRead = {"",        "ECHO OFF", "BAUD",     "BCAST",   "BOOST",  "CMDPORT",
                                            "CONMODE", "COR",      "CORINH",   "DATA",    "DSCP",   "DUPLEX",
                                            "GATEIP",  "HANGTM",   "MAC",      "MYIP",    "NAME",   "PARITY",
                                            "PASS",    "PORT",     "RXDELAY",  "SECURITY", "SRVRIP", "SRVRPORT",
                                            "STOP",    "SUBNET",   "TXDELAY",  "VER",     "VOCODER", "VSENSE",
                                            "STAT"};

using Outcome = testing::VqxctlOutcome;

class CliOverPty : public ::testing::Test {
 protected:
  ~CliOverPty() override {
    if (sim_) sim_->Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void StartSim(sim::SimConfig config = {}) {
    config.rebootMs = 1000;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args, &interrupt_); }
  // A unit command on the simulated unit's port, the reboot wait cut to what it needs.
  Outcome OnUnit(const std::string& command, std::vector<std::string> rest) {
    std::vector<std::string> args = {command, "--port", sim_->SlavePath()};
    if (command == "apply") {
      args.push_back("--reboot-wait");
      args.push_back("1.5");
    }
    args.insert(args.end(), rest.begin(), rest.end());
    return Vqxctl(args);
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::vector<std::string> Lines() const { return sim_->ReceivedLines(); }
  std::vector<std::string> LinesAfterRead() const {
    const std::vector<std::string> all = Lines();
    if (all.size() < kFullRead.size()) return {};
    return {all.begin() + static_cast<std::ptrdiff_t>(kFullRead.size()), all.end()};
  }

  static std::filesystem::path MakeDirectory() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqxctl-" + std::to_string(::getpid()) + "-" +
                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path dir_ = MakeDirectory();
  std::unique_ptr<sim::SimRunner> sim_;
  std::atomic<bool> interrupt_{false};
};

TEST_F(CliOverPty, ReadAsTextPrintsTheReportBlockAndLinkStatusAndLeavesTheUnitTransparent) {
  StartSim();
  const bool prefsBefore = std::filesystem::exists("VQXSU_Prefs.cfg");
  const Outcome run = OnUnit("read", {});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("---\nSerial Number: \nName: VQX-2\nIP Address: 192.168.1.20:2000\n"));
  EXPECT_THAT(run.out, HasSubstr("Vocoder: GSM 13Kbps\nQOS DSCP Value: 46\n"));
  EXPECT_THAT(run.out, HasSubstr("Serial Parity: N\n---\nLink status: VQX-2 disconnected\n"));
  EXPECT_THAT(run.out, Not(HasSubstr("\r")));
  // Progress went to standard error, results only to standard output.
  EXPECT_THAT(run.err, HasSubstr("Entering VQX-2 command mode (please wait)"));
  EXPECT_THAT(run.out, Not(HasSubstr("please wait")));

  std::vector<std::string> expected = kFullRead;
  expected.push_back("ECHO ON");
  expected.push_back("TRAN");
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_EQ(Lines(), expected);
  // The desktop program's preferences are not the command line's business.
  EXPECT_EQ(std::filesystem::exists("VQXSU_Prefs.cfg"), prefsBefore);
}

TEST_F(CliOverPty, ReadAsJsonNamesEveryFieldListsUnsupportedSettingsAndIsAValidSnapshot) {
  sim::SimConfig config;
  config.unsupported = {"DSCP"};
  config.peer.status = sim::PeerStatus::Connected;
  StartSim(std::move(config));
  const Outcome run = OnUnit("read", {"--format", "json", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const nlohmann::json j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["name"], "VQX-2");
  EXPECT_EQ(j["ipAddress"], "192.168.1.20");
  EXPECT_EQ(j["vocoder"], 1);
  EXPECT_EQ(j["vocoderText"], "GSM 13Kbps");
  EXPECT_EQ(j["hangTime"], 1000);
  EXPECT_EQ(j["unsupported"], nlohmann::json::array({"DSCP"}));
  EXPECT_FALSE(j.contains("qosDscp")) << "no value of the unit's to show";
  EXPECT_EQ(j["linkStatus"]["state"], "connected");
  EXPECT_EQ(j["linkStatus"]["text"], "VQX-2 connected to 10.1.2.3");

  // What read writes, apply and diff take back.
  SourceArgs source;
  source.file = WriteFile("unit.json", run.out);
  std::string error;
  const auto loaded = LoadSnapshotSource(source, &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_STREQ(loaded->partial.values.name, "VQX-2");
  EXPECT_TRUE(loaded->partial.Has("macAddress"));
}

// A unit answers "NAME <none>" for an empty name: the read ends, with the empty name.
TEST_F(CliOverPty, AUnitWithAnEmptyNameIsReadToTheEndWithThatName) {
  sim::SimConfig config;
  config.settings.Load(*sim::SettingsModel::Find("NAME"), "");
  config.settings.Load(*sim::SettingsModel::Find("PASS"), "");
  StartSim(std::move(config));
  const auto start = std::chrono::steady_clock::now();
  const Outcome run = OnUnit("read", {"--format", "json", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  const nlohmann::json j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["name"], "");
  EXPECT_EQ(j["webPassword"], "");
  EXPECT_FALSE(j.contains("unsupported") && !j["unsupported"].empty()) << j["unsupported"];
  // The escape, 30 exchanges at the unit's pace, and leaving: far below the reply
  // time-outs a stalled read would run into.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// Texts of the user's own that begin with '<' or end with '>' are set, verified and read
// back as they are, not taken for the unit's empty-text placeholder.
TEST_F(CliOverPty, ANameAndPasswordInAngleBracketsAreAppliedVerifiedAndReadBackWhole) {
  StartSim();
  const std::string file = WriteFile("angle.json", R"({ "name": "<Relay-7>", "webPassword": "<pw" })");
  const Outcome apply = OnUnit("apply", {file});
  ASSERT_EQ(apply.code, 0) << apply.err;
  EXPECT_THAT(apply.out, HasSubstr("Verified: the VQX-2 holds the settings of " + file));
  EXPECT_EQ(sim_->SavedSettings().TextOf("NAME"), "<Relay-7>");

  const Outcome read = OnUnit("read", {"--format", "json", "--quiet"});
  ASSERT_EQ(read.code, 0) << read.err;
  const nlohmann::json j = nlohmann::json::parse(read.out);
  EXPECT_EQ(j["name"], "<Relay-7>");
  EXPECT_EQ(j["webPassword"], "<pw");

  // The placeholder itself could never be verified: refused before the unit is touched.
  const size_t linesBefore = Lines().size();
  const Outcome placeholder = OnUnit("apply", {WriteFile("none.json", R"({ "name": "<none>" })")});
  EXPECT_EQ(placeholder.code, kExitBadInput);
  EXPECT_THAT(placeholder.err, HasSubstr("name: \"<none>\" is what the VQX-2 answers for an empty text"));
  EXPECT_EQ(Lines().size(), linesBefore);
}

TEST_F(CliOverPty, ApplySendsTheThreeChangesInFormOrderThenSaveWaitsForTheRebootAndVerifies) {
  StartSim();
  // Listed out of the form's order: the form's order decides.
  const std::string file =
      WriteFile("relay.json", R"({ "vocoder": 4, "subnetMask": "255.255.0.0", "name": "Relay-7", "voipPort": 2000 })");
  const Outcome run = OnUnit("apply", {file});
  ASSERT_EQ(run.code, 0) << run.err;

  std::vector<std::string> expected = {"NAME Relay-7", "VOCODER 4", "SUBNET 255.255.000.000", "SAVE"};
  expected.insert(expected.end(), kFullRead.begin(), kFullRead.end());  // the read after the reboot
  expected.push_back("ECHO ON");
  expected.push_back("TRAN");
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_EQ(LinesAfterRead(), expected);
  EXPECT_THAT(run.err, HasSubstr("Waiting for VQX-2 to reboot (please wait)"));

  const sim::SettingsModel saved = sim_->SavedSettings();
  EXPECT_EQ(saved.TextOf("NAME"), "Relay-7");
  EXPECT_EQ(saved.NumberOf("VOCODER"), 4);
  EXPECT_EQ(saved.AddressOf("SUBNET"), (sim::Address{255, 255, 0, 0}));
  EXPECT_THAT(run.out, HasSubstr("Changed: Name: VQX-2 -> Relay-7\n"));
  EXPECT_THAT(run.out, HasSubstr("Changed: Vocoder: GSM 13Kbps -> ADPCM 32Kbps\n"));
  EXPECT_THAT(run.out, Not(HasSubstr("VoIP Port")));  // already 2000: left alone
  EXPECT_THAT(run.out, HasSubstr("Verified: the VQX-2 holds the settings of " + file));
}

TEST_F(CliOverPty, ASettingTheUnitDoesNotSupportIsNotSentAndEndsWithTheRefusedCodeNamingIt) {
  sim::SimConfig config;
  config.unsupported = {"DUPLEX"};
  StartSim(std::move(config));
  const std::string file = WriteFile("half.json", R"({ "duplex": 1, "name": "Tower" })");
  const Outcome run = OnUnit("apply", {file, "--quiet"});
  EXPECT_EQ(run.code, 5) << run.out << run.err;
  EXPECT_THAT(run.err, HasSubstr("the VQX-2 does not support duplex (it answered ERR to DUPLEX); it is not sent"));
  EXPECT_THAT(run.err, Not(HasSubstr("Name")));
  EXPECT_THAT(run.out, HasSubstr("Sent: NAME Tower\n"));
  EXPECT_THAT(run.out, HasSubstr("Changed: Name: VQX-2 -> Tower\n"));
  EXPECT_THAT(run.out, Not(HasSubstr("Verified")));
  EXPECT_EQ(sim_->SavedSettings().TextOf("NAME"), "Tower");
  // The read asks DUPLEX (answered ERR); no DUPLEX with a value ever goes out.
  EXPECT_THAT(Lines(), ::testing::Contains("NAME Tower"));
  EXPECT_THAT(Lines(), Not(::testing::Contains(::testing::StartsWith("DUPLEX "))));
}

TEST_F(CliOverPty, DryRunPrintsTheLinesItWouldSendAndSendsNothingButTheRead) {
  StartSim();
  const std::string file = WriteFile("relay.json", R"({ "name": "Relay-7", "allowTelnet": false, "hangTime": 2000 })");
  const Outcome run = OnUnit("apply", {file, "--dry-run", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Would send to the VQX-2:\n  NAME Relay-7\n  SECURITY 8\n  HANGTM 2000\n  SAVE\n"));
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_THAT(LinesAfterRead(), ElementsAre("ECHO ON", "TRAN"));
  EXPECT_EQ(sim_->Settings().TextOf("NAME"), "VQX-2");
}

// The JSON form is what automation decides "changed" by: sent only when a line went out.
TEST_F(CliOverPty, ApplyAsJsonSaysWhatDifferedWhatWentOutAndWhetherAnythingWasWritten) {
  StartSim();
  const std::string file = WriteFile("relay.json", R"({ "name": "Relay-7", "vocoder": 4, "voipPort": 2000 })");
  Outcome run = OnUnit("apply", {file, "--dry-run", "--format", "json", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  nlohmann::json j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["dryRun"], true);
  EXPECT_EQ(j["sent"], false);
  EXPECT_EQ(j["lines"], nlohmann::json::array({"NAME Relay-7", "VOCODER 4", "SAVE"}));
  ASSERT_EQ(j["changes"].size(), 2u) << j["changes"];
  EXPECT_EQ(j["changes"][0], nlohmann::json({{"field", "name"}, {"name", "Name"}, {"unit", "VQX-2"},
                                             {"snapshot", "Relay-7"}}));
  EXPECT_EQ(j["changes"][1]["snapshot"], "ADPCM 32Kbps");
  EXPECT_EQ(j["verified"], false);
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_THAT(LinesAfterRead(), ElementsAre("ECHO ON", "TRAN"));

  run = OnUnit("apply", {file, "--format", "json", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  j = nlohmann::json::parse(run.out);  // one object, no text around it
  EXPECT_EQ(j["dryRun"], false);
  EXPECT_EQ(j["sent"], true);
  EXPECT_EQ(j["lines"], nlohmann::json::array({"NAME Relay-7", "VOCODER 4", "SAVE"}));
  EXPECT_EQ(j["changes"].size(), 2u);
  EXPECT_EQ(j["notTaken"], nlohmann::json::array());
  EXPECT_EQ(j["verified"], true);
  EXPECT_EQ(sim_->SavedSettings().TextOf("NAME"), "Relay-7");

  const size_t linesBefore = Lines().size();
  run = OnUnit("apply", {file, "--format", "json", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["sent"], false);
  EXPECT_EQ(j["changes"], nlohmann::json::array());
  EXPECT_EQ(j["lines"], nlohmann::json::array());
  EXPECT_EQ(j["verified"], true);
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_EQ(Lines().size() - linesBefore, kFullRead.size() + 2) << "a unit that matches is only read";
}

TEST_F(CliOverPty, ApplyAsJsonNamesASettingTheUnitDoesNotSupportAndIsNotVerified) {
  sim::SimConfig config;
  config.unsupported = {"DUPLEX"};
  StartSim(std::move(config));
  const Outcome run = OnUnit("apply", {WriteFile("half.json", R"({ "duplex": 1, "name": "VQX-2" })"), "--format",
                                       "json", "--quiet"});
  EXPECT_EQ(run.code, 5) << run.out << run.err;
  const nlohmann::json j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["notSupported"], nlohmann::json::array({"duplex"}));
  EXPECT_EQ(j["sent"], false);
  EXPECT_EQ(j["verified"], false);
  EXPECT_THAT(run.err, HasSubstr("the VQX-2 does not support duplex"));
}

TEST_F(CliOverPty, DiffAgainstTheUnitNamesExactlyTheFieldsThatDiffer) {
  StartSim();
  const std::string file = WriteFile(
      "other.json", R"({ "name": "VQX-2", "vocoder": 3, "hangTime": 1000, "voipPort": 2001, "allowTelnet": false })");
  const Outcome run = OnUnit("diff", {file, "--quiet", "--format", "json"});
  EXPECT_EQ(run.code, 1) << run.err;
  const nlohmann::json j = nlohmann::json::parse(run.out);
  std::vector<std::string> fields;
  for (const auto& d : j["differences"]) fields.push_back(d["field"]);
  EXPECT_THAT(fields, ElementsAre("voipPort", "allowTelnet", "vocoder"));
  EXPECT_EQ(j["differences"][2]["left"], "GSM 13Kbps");
  EXPECT_EQ(j["differences"][2]["right"], "ADPCM 24Kbps");
  EXPECT_EQ(j["left"], "unit");
}

TEST_F(CliOverPty, SendPrintsEachAnswerAndStopsAtALineTheLogicRefuses) {
  StartSim();
  const Outcome run = OnUnit("send", {"NAME", "vocoder 3", "echo on", "BAUD", "--quiet"});
  EXPECT_EQ(run.code, 5);
  EXPECT_EQ(run.out, "> NAME\nNAME VQX-2\n> vocoder 3\nOK\n> echo on\n");
  EXPECT_THAT(run.err, HasSubstr("This program automatically controls the ECHO setting"));
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_THAT(LinesAfterRead(), ElementsAre("NAME", "vocoder 3", "ECHO ON", "TRAN"));
  EXPECT_EQ(sim_->Settings().NumberOf("VOCODER"), 3);
}

TEST_F(CliOverPty, ReadAndSendShowEscapeSequencesInTheUnitsNameVisiblyNeverRaw) {
  // Anyone who can reach the unit over the network can set its name. The simulated unit
  // takes no byte below 0x20 in a text; the 8-bit forms of the same controls (CSI 0x9B,
  // OSC 0x9D, ST 0x9C) do as much harm on a terminal that honours them.
  const std::string hostile = "\x9b" "2J\x9d" "0;owned\x9cTower";
  sim::SimConfig config;
  ASSERT_EQ(config.settings.Load(*sim::SettingsModel::Find("NAME"), hostile), sim::SetOutcome::Ok);
  StartSim(std::move(config));
  Outcome run = OnUnit("read", {});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("\nName: \\x9b2J\\x9d0;owned\\x9cTower\n"));
  EXPECT_EQ(run.out.find_first_of("\x9b\x9c\x9d"), std::string::npos);

  run = OnUnit("send", {"NAME", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "> NAME\nNAME \\x9b2J\\x9d0;owned\\x9cTower\n");

  // JSON carries the name exactly, each byte as its own character.
  run = OnUnit("read", {"--format", "json", "--quiet"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out)["name"], "\u009b2J\u009d0;owned\u009cTower");
}

TEST_F(CliOverPty, APortAnotherProgramHoldsIsReportedBusyWithItsHolderAndThePortCode) {
  StartSim();
  posix::PosixSerialPort holder;
  ASSERT_TRUE(holder.Open(sim_->SlavePath().c_str(), LineSettings{}).ok);
  const Outcome run = OnUnit("read", {});
  EXPECT_EQ(run.code, 3);
  EXPECT_THAT(run.err, HasSubstr("The serial port could not be opened: " + sim_->SlavePath() +
                                 " is in use by another program: "));
  EXPECT_THAT(run.err, HasSubstr("(PID " + std::to_string(::getpid()) + ")"));
  EXPECT_TRUE(Lines().empty());
}

// A pseudo-terminal runs 8 bits without parity whatever it is asked, as an adapter without
// 7-bit support does: vqxctl names the refused settings and sends the unit nothing.
TEST_F(CliOverPty, LineSettingsThePortsDriverRefusesEndWithThePortCodeNamingThemAndNothingSent) {
  StartSim();
  const Outcome run = OnUnit("read", {"--data-bits", "7", "--parity", "E"});
  EXPECT_EQ(run.code, 3);
  EXPECT_THAT(run.err, HasSubstr(sim_->SlavePath() +
                                 " is open, but its driver refused 7 data bits and even parity; the line runs at "
                                 "8 data bits and no parity"));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(CliOverPty, ADamagedInputFileIsRefusedWithItsReasonBeforeAnythingIsSent) {
  StartSim();
  const std::string broken = WriteFile("broken.json", "{ \"name\": \"Relay-7\", ");
  Outcome run = OnUnit("apply", {broken});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr(broken));
  const std::string wrong = WriteFile("wrong.json", R"({ "name": "Relay-7", "vocoder": 9 })");
  run = OnUnit("apply", {wrong});
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("vocoder: 9 is not offered"));
  const std::string multicast =
      WriteFile("multicast.json", R"({ "broadcastMode": 3, "serverIp": "10.0.0.1" })");
  run = OnUnit("apply", {multicast, "--quiet"});  // refused once the unit's settings are known
  EXPECT_EQ(run.code, 6);
  EXPECT_THAT(run.err, HasSubstr("To enter multicast mode"));
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_THAT(LinesAfterRead(), ElementsAre("ECHO ON", "TRAN"));
}

TEST_F(CliOverPty, AUnitThatNeverAnswersEndsWithTheNotRespondingCode) {
  sim::SimConfig config;
  config.faults.silent = true;
  StartSim(std::move(config));
  const Outcome run = OnUnit("read", {"--quiet"});
  EXPECT_EQ(run.code, 4);
  EXPECT_THAT(run.err, HasSubstr("The VQX-2 is not responding on " + sim_->SlavePath()));
  EXPECT_EQ(run.out, "");
}

TEST_F(CliOverPty, AnAdapterPulledOutMidReadEndsWithTheLostPortCodeNotWithNotResponding) {
  // A unit that thinks a while before each reply keeps the read going for seconds after
  // MAC, so the cable comes out mid-read however late this thread wakes on a loaded machine.
  constexpr uint32_t kThinkMs = 300;
  sim::SimConfig config;
  config.replyDelayMs = kThinkMs;
  StartSim(std::move(config));
  std::thread cable([&] {
    sim_->WaitFor(
        [](const sim::SimUnit& u) {
          const std::vector<std::string> lines = u.ReceivedLines();
          return std::find(lines.begin(), lines.end(), "MAC") != lines.end();
        },
        std::chrono::milliseconds(2 * kEscapeGuardMs + 2 * kReplyTimeoutMs + 30 * kThinkMs));
    sim_->CloseLine();
  });
  const Outcome run = OnUnit("read", {"--quiet"});
  cable.join();
  EXPECT_EQ(run.code, 3);
  EXPECT_THAT(run.err, HasSubstr("The serial port " + sim_->SlavePath() + " was lost during the read"));
  EXPECT_THAT(run.err, Not(HasSubstr("not responding")));
  EXPECT_THAT(run.err, Not(HasSubstr("--baud")));
}

TEST_F(CliOverPty, AnInterruptStopsAtOnceAndStillReturnsTheUnitToTransparentMode) {
  StartSim();
  std::thread user([&] {
    sim_->WaitFor(
        [](const sim::SimUnit& u) { return !u.ReceivedLines().empty() && u.ReceivedLines().back() == "HELP"; },
        std::chrono::seconds(15));
    interrupt_.store(true);
  });
  const Outcome run = OnUnit("send", {"HELP", "WHAT", "--quiet"});
  user.join();
  EXPECT_EQ(run.code, 130);
  EXPECT_THAT(run.err, HasSubstr("Interrupted"));
  ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                            std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_THAT(LinesAfterRead(), ElementsAre("HELP", "ECHO ON", "TRAN"));
}

}  // namespace
}  // namespace vqx::cli
