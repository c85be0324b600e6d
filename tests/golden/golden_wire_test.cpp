// The exact lines a simulated unit on a pseudo-terminal receives from vqxctl, and what
// vqxctl prints, against the files in tests/golden/data: a full read, and applies that
// change every setting the unit takes, with the cases the form treats specially (a hang
// time of 0, "Server" against a unit in a server mode of its own, multicast without a
// server, a snapshot without DSCP, Latin-1 texts, settings the unit refuses, the unit's
// serial line settings). In real time: each case escapes the unit at least once.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cli_run.h"
#include "golden/golden_file.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/vqxctl_runner.h"

namespace vqx::testing {
namespace {

// The test's own folder is the working folder, so that snapshot files are named the same
// in every run.
class GoldenWire : public ::testing::Test {
 protected:
  GoldenWire() { std::filesystem::current_path(dir_); }
  ~GoldenWire() override {
    if (sim_) sim_->Stop();
    std::error_code ignored;
    std::filesystem::current_path(home_, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }

  void StartSim(sim::SimConfig config = {}) {
    config.rebootMs = 1000;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  static void Load(sim::SimConfig& config, const char* keyword, const std::string& value) {
    ASSERT_EQ(config.settings.Load(*sim::SettingsModel::Find(keyword), value), sim::SetOutcome::Ok) << keyword;
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return name;
  }

  // vqxctl on the unit's port, then, once the unit is back in transparent mode, every
  // line it received. The port's name is masked, nothing else.
  std::string OnUnit(const std::string& command, const std::vector<std::string>& rest) {
    std::vector<std::string> args = {command, "--port", sim_->SlavePath()};
    if (command == "apply") {
      args.push_back("--reboot-wait");
      args.push_back("1.5");
    }
    args.insert(args.end(), rest.begin(), rest.end());
    const VqxctlOutcome run = RunVqxctlHere(args);
    EXPECT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; },
                              std::chrono::milliseconds(kReplyTimeoutMs)));
    std::string text = "$ vqxctl";
    for (const std::string& a : args) text += " " + a;
    text += "\nexit " + std::to_string(run.code) + "\n--- out\n" + run.out + "--- err\n" + run.err + "--- wire\n";
    for (const std::string& line : sim_->ReceivedLines()) text += line + "\n";
    text += "--- end\n";
    Mask(text, sim_->SlavePath(), "<port>");
    return text;
  }

  static void Mask(std::string& text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
      text.replace(at, what.size(), with);
    }
  }

  static std::filesystem::path MakeDirectory() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vqx-golden-wire-" + std::to_string(::getpid()) + "-" +
                      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    return dir;
  }

  std::filesystem::path home_ = std::filesystem::current_path();
  std::filesystem::path dir_ = MakeDirectory();
  std::unique_ptr<sim::SimRunner> sim_;
};

// Quiet: the progress sentences follow the worker's timing, not a fixed order.
TEST_F(GoldenWire, FullReadAsText) {
  StartSim();
  ExpectGoldenText("wire_read_text.txt", OnUnit("read", {"--quiet"}));
}

TEST_F(GoldenWire, FullReadAsJsonOfAConnectedUnitThatRefusesTwoSettings) {
  sim::SimConfig config;
  config.unsupported = {"DSCP", "VSENSE"};
  config.peer.status = sim::PeerStatus::Connected;
  StartSim(std::move(config));
  ExpectGoldenText("wire_read_json.txt", OnUnit("read", {"--format", "json", "--quiet"}));
}

// Every setting the unit takes changes, the unit's own serial line too; a name at the
// edges of Latin-1; DSCP left out of the snapshot, so the unit's value stays.
TEST_F(GoldenWire, ApplyChangingEverySetting) {
  StartSim();
  const std::string file = WriteFile("every.json", R"({
    "ipAddress": "10.20.30.40", "subnetMask": "255.255.0.0", "gateway": "10.20.0.1",
    "serverIp": "10.20.0.2", "voipPort": 2101, "serverPort": 2102, "commandPort": 2323,
    "name": "\u00a0Caf\u00e9 ~\u0080\u00ff", "webPassword": "p\u00e4ss w0rd",
    "allowTelnet": false, "allowHttpAuthentication": false, "allowHttpConnectionManagement": false,
    "allowHttpConfiguration": false, "allowHttpAccess": false,
    "connectionMode": 1, "corSquelchType": 3, "corInhibitTime": 4000, "hangTime": 2000, "vocoder": 5,
    "serialBaudRate": 19200, "serialDataBits": 7, "serialStopBits": 2, "serialParity": "O",
    "broadcastMode": 2, "voxThreshold": 2, "inputBoost": 1, "duplex": 1, "rxDelay": 120, "txDelay": 340
  })");
  ExpectGoldenText("wire_apply_every_setting.txt", OnUnit("apply", {file, "--quiet"}));
}

// A unit in a server mode of its own (CONMODE 2) shows "Server": a snapshot that says
// server keeps the unit's mode; multicast with no server address at all is allowed; the
// unit's hang time of 0, in no list, is left alone.
TEST_F(GoldenWire, ApplyServerAndMulticastToAUnitInAServerModeOfItsOwn) {
  sim::SimConfig config;
  Load(config, "CONMODE", "2");
  Load(config, "HANGTM", "0");
  StartSim(std::move(config));
  const std::string file = WriteFile("multicast.json", R"({
    "connectionMode": 1, "broadcastMode": 3, "serverIp": "0.0.0.0", "corInhibitTime": 0, "name": "Mcast"
  })");
  ExpectGoldenText("wire_apply_server_multicast.txt", OnUnit("apply", {file, "--quiet"}));
}

// The unit answers ERR to three settings the snapshot changes: they are never sent.
TEST_F(GoldenWire, ApplyToAUnitThatRefusesSomeSettings) {
  sim::SimConfig config;
  config.unsupported = {"DUPLEX", "SECURITY", "BAUD"};
  StartSim(std::move(config));
  const std::string file = WriteFile("refused.json", R"({
    "duplex": 1, "allowTelnet": false, "serialBaudRate": 38400, "name": "Refused", "vocoder": 2, "qosDscp": 10
  })");
  ExpectGoldenText("wire_apply_refused.txt", OnUnit("apply", {file, "--quiet"}));
}

// A hang time of 0 is no choice of the form's: refused once the unit is read.
TEST_F(GoldenWire, ApplyHangTimeZeroIsRefused) {
  StartSim();
  const std::string file = WriteFile("hang0.json", R"({ "hangTime": 0, "name": "Hang zero" })");
  ExpectGoldenText("wire_apply_hang_time_zero.txt", OnUnit("apply", {file, "--quiet"}));
}

// Multicast with a server address that is no multicast group: refused once the unit's
// settings are known, nothing sent but the read and the way back.
TEST_F(GoldenWire, ApplyMulticastWithAnOrdinaryServerIsRefused) {
  StartSim();
  const std::string file = WriteFile("bad.json", R"({ "broadcastMode": 3, "serverIp": "10.0.0.1" })");
  ExpectGoldenText("wire_apply_multicast_refused.txt", OnUnit("apply", {file, "--quiet"}));
}

}  // namespace
}  // namespace vqx::testing
