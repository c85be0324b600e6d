// The simulated unit on a line inside the process (how --demo works on Windows), tested
// on every platform: the unit's end is the runner, the host's end the port it hands out.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "runner/in_process_line.h"
#include "runner/sim_runner.h"

namespace vqx::sim {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kGuardMs = 50;
// Far beyond the guard time, so a busy machine cannot make the escape fail.
constexpr auto kPause = 200ms;
// The link's own reply time-out: what the utility would wait for an answer.
constexpr auto kReplyTimeout = 3000ms;

SimConfig QuickUnit() {
  SimConfig config;
  config.guardMs = kGuardMs;
  config.rebootMs = 100;
  return config;
}

void Send(ISerialPort& port, const std::string& text) {
  ASSERT_EQ(port.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()), text.size());
}

std::string ReadUntil(ISerialPort& port, const std::string& end) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (port.QueuedBytes() > 0) {
      uint8_t byte = 0;
      if (port.ReadByte(byte)) got += static_cast<char>(byte);
      if (got.size() >= end.size() && got.compare(got.size() - end.size(), end.size(), end) == 0) break;
    } else {
      std::this_thread::sleep_for(1ms);
    }
  }
  return got;
}

std::string Escape(ISerialPort& port) {
  std::this_thread::sleep_for(kPause);
  Send(port, "+++");
  std::this_thread::sleep_for(kPause);
  Send(port, "\r");
  return ReadUntil(port, "OK\n\r");
}

class InProcessUnit : public ::testing::Test {
 protected:
  InProcessUnit() : runner_(QuickUnit(), std::make_unique<InProcessSimLine>()) {}
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(runner_.Start(&error)) << error;
    port_ = runner_.CreateHostPort();
  }
  PortOpenResult OpenPort(ISerialPort& port) { return port.Open(runner_.SlavePath().c_str(), LineSettings{}); }

  SimRunner runner_;
  std::unique_ptr<ISerialPort> port_;
};

TEST_F(InProcessUnit, EscapeAndQueriesPassBothWaysWithTheUnitsTiming) {
  ASSERT_TRUE(OpenPort(*port_).ok);
  EXPECT_EQ(Escape(*port_), "\r\nOK\n\r");
  EXPECT_EQ(runner_.Mode(), SimMode::Command);
  Send(*port_, "ECHO OFF\r\n");
  EXPECT_EQ(ReadUntil(*port_, "OK\n\r"), "ECHO OFF\r\nOK\n\r");
  Send(*port_, "MYIP\r\n");
  EXPECT_EQ(ReadUntil(*port_, "\n\r"), "MYIP 192.168.001.020\n\r");
}

TEST_F(InProcessUnit, AnEscapeWithoutTheGuardTimeIsPassedOnNotAnswered) {
  ASSERT_TRUE(OpenPort(*port_).ok);
  Send(*port_, "x+++\r");
  std::this_thread::sleep_for(kPause);
  EXPECT_EQ(port_->QueuedBytes(), 0);
  EXPECT_EQ(runner_.Mode(), SimMode::Transparent);
}

TEST_F(InProcessUnit, ASecondPortIsBusyUntilTheFirstCloses) {
  ASSERT_TRUE(OpenPort(*port_).ok);
  auto second = runner_.CreateHostPort();
  const PortOpenResult busy = OpenPort(*second);
  EXPECT_FALSE(busy.ok);
  EXPECT_EQ(busy.error, PortOpenError::Busy);
  port_->Close();
  EXPECT_TRUE(OpenPort(*second).ok);
}

TEST_F(InProcessUnit, APulledCableIsALostPortUntilReopenedOnTheNewCable) {
  ASSERT_TRUE(OpenPort(*port_).ok);
  EXPECT_EQ(port_->QueuedBytes(), 0);
  runner_.CloseLine();
  EXPECT_LT(port_->QueuedBytes(), 0);
  EXPECT_EQ(port_->Write(reinterpret_cast<const uint8_t*>("x"), 1), 0u);
  EXPECT_FALSE(port_->Drain(10));
  EXPECT_EQ(OpenPort(*port_).error, PortOpenError::NotFound) << "no cable, no port";

  std::string error;
  ASSERT_TRUE(runner_.Start(&error)) << error;
  EXPECT_LT(port_->QueuedBytes(), 0) << "a new cable does not revive the old port";
  ASSERT_TRUE(OpenPort(*port_).ok);
  EXPECT_EQ(port_->QueuedBytes(), 0);
  EXPECT_EQ(Escape(*port_), "\r\nOK\n\r");
}

TEST_F(InProcessUnit, DrainWaitsUntilTheUnitHasTakenTheBytes) {
  ASSERT_TRUE(OpenPort(*port_).ok);
  runner_.Stop();  // nobody takes the bytes from the line
  Send(*port_, "NAME\r\n");
  EXPECT_FALSE(port_->Drain(50));
  ASSERT_TRUE(runner_.Start(nullptr));
  EXPECT_TRUE(port_->Drain(static_cast<uint32_t>(kReplyTimeout.count())));
}

TEST_F(InProcessUnit, AnyOtherNameOpensTheMachinesOwnPort) {
  const PortOpenResult result = port_->Open("no-such-port-on-this-machine", LineSettings{});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, PortOpenError::NotFound);
  EXPECT_LT(port_->QueuedBytes(), 0);
  // The line is still free for the port that asks for it by name.
  EXPECT_TRUE(OpenPort(*runner_.CreateHostPort()).ok);
}

}  // namespace
}  // namespace vqx::sim
