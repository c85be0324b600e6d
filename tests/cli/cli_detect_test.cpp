// vqxctl detect against vqxsim set to a line of its own, in real time: bytes sent at any
// other setting reach the unit garbled and its answers come back garbled, so only the
// unit's own setting can be found. Every unanswered try costs two quiet times (about four
// seconds, the reply window running on into the next try's); the tries are narrowed
// where the order allows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_run.h"
#include "link/line_candidates.h"
#include "link/serial_comm.h"
#include "runner/sim_runner.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

using Outcome = testing::VqxctlOutcome;

// Long enough for the unit's answer to TRAN at the slowest pace the link allows.
constexpr auto kSettleTime = std::chrono::milliseconds(kReplyTimeoutMs);

class CliDetect : public ::testing::Test {
 protected:
  ~CliDetect() override {
    if (sim_) sim_->Stop();
  }

  void StartSim(const char* line, bool silent = false, uint32_t replyDelayMs = 0) {
    sim::SimConfig config;
    config.replyDelayMs = replyDelayMs;
    sim::SerialFrame frame;
    ASSERT_TRUE(sim::ParseSerialFrame(line, &frame)) << line;
    config.line = frame;
    config.faults.silent = silent;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args, &interrupt_); }
  Outcome Detect(std::vector<std::string> rest = {}) {
    std::vector<std::string> args = {"detect", "--port", sim_->SlavePath()};
    args.insert(args.end(), rest.begin(), rest.end());
    return Vqxctl(args);
  }

  // Someone escaped the unit at its own setting (and perhaps turned its echo off).
  void EscapeUnit(const LineSettings& settings, bool echoOff, bool thenTran) {
    const std::unique_ptr<ISerialPort> port = sim_->CreateHostPort();
    ASSERT_TRUE(port->Open(sim_->SlavePath().c_str(), settings).ok);
    const auto send = [&](const std::string& text) {
      port->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      port->Drain(1000);
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(kEscapeGuardMs));
    send("+++");
    ASSERT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Command; },
                              std::chrono::milliseconds(kEscapeGuardMs + kReplyTimeoutMs)));
    if (echoOff) send("ECHO OFF\r");
    if (thenTran) send("TRAN\r");
    ASSERT_TRUE(sim_->WaitFor(
        [thenTran](const sim::SimUnit& u) {
          return u.Mode() == (thenTran ? sim::SimMode::Transparent : sim::SimMode::Command);
        },
        kSettleTime));
    port->Close();
  }

  bool UnitEndsTransparent() {
    return sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; }, kSettleTime);
  }

  std::unique_ptr<sim::SimRunner> sim_;
  std::atomic<bool> interrupt_{false};
};

TEST_F(CliDetect, UnitAt9600_8N1IsFoundAtTheFirstTryAndReturnedToTransparentMode) {
  StartSim("9600-8N1");
  const Outcome r = Detect();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "9600 8N1\n");
  EXPECT_THAT(r.err, HasSubstr("Trying 9600 8N1 (1 of 54)"));
  EXPECT_THAT(r.err, Not(HasSubstr("(2 of 54)")));
  EXPECT_TRUE(UnitEndsTransparent());
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

TEST_F(CliDetect, UnitAt57600_8N1IsFoundOnlyAfterTheThreeRatesBeforeIt) {
  StartSim("57600-8N1");
  const Outcome r = Detect();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "57600 8N1\n");
  EXPECT_THAT(r.err, HasSubstr("Trying 38400 8N1 (3 of 54)"));
  EXPECT_THAT(r.err, HasSubstr("Trying 57600 8N1 (4 of 54)"));
  EXPECT_TRUE(UnitEndsTransparent());
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

// A pseudo-terminal carries odd parity but not data bits or even parity, so the framing
// case is 7O1: at its rate the 8N1 try garbles both ways, the 7O1 try answers.
TEST_F(CliDetect, UnitAt19200_7O1IsFoundAtItsFramingAndPrintedAsJson) {
  StartSim("19200-7O1");
  const Outcome r = Detect({"--rates", "9600,19200", "--framings", "8N1,7O1", "--format", "json"});
  ASSERT_EQ(r.code, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["settings"], "19200 7O1");
  EXPECT_EQ(j["baudRate"], 19200);
  EXPECT_EQ(j["dataBits"], 7);
  EXPECT_EQ(j["parity"], "O");
  EXPECT_EQ(j["stopBits"], 1);
  EXPECT_EQ(j["tries"], 4);
  EXPECT_TRUE(UnitEndsTransparent());
}

// It hears everything and says nothing: escaped unheard at its own rate, it is sent TRAN
// there before vqxctl gives up.
TEST_F(CliDetect, SilentUnitIsReportedNotRespondingAndLeftTransparent) {
  StartSim("19200-8N1", true);
  const Outcome r = Detect({"--rates", "9600,19200", "--framings", "8N1"});
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, HasSubstr("No VQX-2 answered on " + sim_->SlavePath() + " at any of the 2 line settings tried"));
  EXPECT_TRUE(UnitEndsTransparent());
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

TEST_F(CliDetect, ReadWithDetectReadsTheUnitAtTheRateFoundWithoutASecondEscape) {
  StartSim("38400-8N1");
  const Outcome r =
      Vqxctl({"read", "--port", sim_->SlavePath(), "--detect", "--rates", "9600,38400", "--framings", "8N1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("Found the VQX-2 at 38400 8N1"));
  EXPECT_THAT(r.out, HasSubstr("38400"));
  const std::vector<std::string> lines = sim_->ReceivedLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "");  // the detection's probe
  EXPECT_EQ(lines[1], "ECHO OFF");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), 1) << "one probe, one escape";
  EXPECT_EQ(lines.back(), "TRAN");
  EXPECT_TRUE(UnitEndsTransparent());
}

TEST_F(CliDetect, CtrlCDuringTheSearchEndsItWithExit130AndTheUnitTransparent) {
  StartSim("57600-8N1");
  std::thread press([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kEscapeGuardMs * 2 + 500));  // inside the first try
    interrupt_ = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const Outcome r = Detect();
  press.join();
  EXPECT_EQ(r.code, 130);
  EXPECT_THAT(r.err, HasSubstr("Interrupted"));
  EXPECT_EQ(r.out, "");
  // The TRAN after the cancel waits one reply time-out at most; the rest is quick.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kEscapeGuardMs * 2 + 500 + 2 * kReplyTimeoutMs));
  EXPECT_TRUE(UnitEndsTransparent());
}

// A unit someone left in command mode answers the first CR at its setting: found in
// about a second, without an escape, and returned to transparent mode.
TEST_F(CliDetect, UnitLeftInCommandModeIsFoundByTheFirstSweepWithoutAnotherEscape) {
  StartSim("19200-7O1");
  LineSettings at;
  ASSERT_TRUE(ParseFraming("7O1", &at));
  at.baudRate = 19200;
  EscapeUnit(at, false, false);
  const auto start = std::chrono::steady_clock::now();
  const Outcome r = Detect({"--format", "json"});
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["settings"], "19200 7O1");
  EXPECT_THAT(r.err, Not(HasSubstr("(2 of 54)")));
  // The sweep takes well under two seconds; the TRAN's answer follows at once.
  EXPECT_LT(took, std::chrono::milliseconds(4000));
  EXPECT_TRUE(UnitEndsTransparent());
  const std::vector<std::string> lines = sim_->ReceivedLines();
  EXPECT_EQ(lines.back(), "TRAN");
  for (const std::string& line : lines) EXPECT_EQ(line.find('+'), std::string::npos) << "escaped again: " << line;
}

// Without echo, a unit that takes 2.5 s of its 3 s to answer does so after the search has
// moved on to the next rate: heard there garbled, it is asked again at its own.
TEST_F(CliDetect, UnitAnsweringLateInTheReplyWindowIsFoundAtItsRateNotTheNext) {
  StartSim("19200-8N1", false, 2500);
  LineSettings at;
  at.baudRate = 19200;
  EscapeUnit(at, true, true);
  const Outcome r = Detect({"--rates", "9600,19200,38400", "--framings", "8N1", "--format", "json"});
  ASSERT_EQ(r.code, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["settings"], "19200 8N1");
  EXPECT_EQ(j["tries"], 2);
  EXPECT_TRUE(UnitEndsTransparent());
  EXPECT_EQ(sim_->ReceivedLines().back(), "TRAN");
}

}  // namespace
}  // namespace vqx::cli
