// The link and the POSIX port against vqxsim on a pseudo-terminal, in real time.
// The escape alone takes over four seconds, so one test walks a whole session.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_comm.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"
#include "runner/sim_runner.h"
#include "system_port.h"

namespace vqx {
namespace {

// Limits derived from the unit's timings; each leaves a whole reply time-out of room for
// a loaded machine (the link itself fails after one).
constexpr std::chrono::milliseconds kGuard{kEscapeGuardMs};
constexpr std::chrono::milliseconds kReplyTimeout{kReplyTimeoutMs};
constexpr std::chrono::milliseconds kReplyLimit = 2 * kReplyTimeout;
// Two quiet times, the two probes' time-outs, and room.
constexpr std::chrono::milliseconds kEscapeLimit = 2 * kGuard + 3 * kReplyTimeout;

using namespace std::chrono_literals;

// Collects the terminal output; either thread may append.
class OutputHost final : public ILinkHost {
 public:
  void AppendOutput(const char* text) override {
    std::lock_guard lock(mutex_);
    output_ += text;
  }
  void SetStatusState(StatusState state) override { status = state; }
  void NoteLinkActivity() override {}
  bool AcceptTypedCommand(const char*, const char*) override { return true; }
  std::string Output() {
    std::lock_guard lock(mutex_);
    return output_;
  }
  std::atomic<int> status{0};

 private:
  std::mutex mutex_;
  std::string output_;
};

class LinkOverPty : public ::testing::Test {
 protected:
  void StartSim(sim::SimConfig config) {
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    comm_.AttachHost(&host_);
    ASSERT_TRUE(comm_.Open(sim_->SlavePath().c_str(), 9600, 'N', 8, 1));
  }

  // Polls as the worker would until `done` holds; false on time-out.
  bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      for (int i = 0; i < 100; ++i) comm_.Poll();
      if (done()) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }

  // Sends a command and returns the first recognised reply, skipping the echo of
  // the command itself while the unit still echoes.
  ResponseRecord Exchange(const CommandRecord& record, int32_t skipEchoOf = 0) {
    EXPECT_TRUE(comm_.SendCommand(record));
    for (;;) {
      ResponseRecord reply{};
      const bool got = PollUntil([&] { return comm_.GetState() == LinkState::ReplyReady; }, kReplyLimit);
      EXPECT_TRUE(got) << "no reply to " << CommandKeywordTable[record.commandId] << "; link state "
                       << static_cast<int>(comm_.GetState());
      if (!got) return reply;
      reply = *comm_.TakeReply();
      if (skipEchoOf != 0 && reply.responseId == skipEchoOf) {
        skipEchoOf = 0;
        continue;
      }
      return reply;
    }
  }

  static CommandRecord Command(int32_t id, int32_t value = -1) {
    CommandRecord r;
    r.commandId = id;
    r.value = value;
    return r;
  }

  std::unique_ptr<ISerialPort> port_ = CreateSystemSerialPort();
  CSerialComm comm_{*port_, SystemClock()};
  OutputHost host_;
  std::unique_ptr<sim::SimRunner> sim_;
};

TEST_F(LinkOverPty, EscapeQueriesRefusalsAndConcurrentTypedLines) {
  sim::SimConfig config;
  config.unsupported = {"DSCP"};
  config.settings.SetDhcp(true);
  StartSim(config);

  // Escape: nothing for 2100 ms, "+++", 2100 ms, CR; the unit answers the probe.
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(comm_.StartCommandMode());
  EXPECT_EQ(host_.status.load(), 3);
  ASSERT_TRUE(PollUntil([&] { return comm_.GetState() == LinkState::ReplyReady; }, kEscapeLimit));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 2 * kGuard);
  EXPECT_EQ(comm_.TakeReply()->responseId, kRspOk);
  EXPECT_EQ(sim_->Mode(), sim::SimMode::Command);

  // The unit still echoes: ECHO OFF comes back as an ECHO line before its OK.
  EXPECT_EQ(Exchange(Command(kCmdEcho, 0), kRspEcho).responseId, kRspOk);

  const ResponseRecord myip = Exchange(Command(kCmdMyip));
  EXPECT_EQ(myip.responseId, kRspMyip);
  const uint8_t address[4] = {192, 168, 1, 20};
  EXPECT_EQ(std::memcmp(myip.address, address, 4), 0);
  EXPECT_EQ(myip.value, 1) << "the DHCP remark";

  const ResponseRecord name = Exchange(Command(kCmdName));
  EXPECT_EQ(name.responseId, kRspName);
  EXPECT_STREQ(name.text, "VQX-2");
  EXPECT_EQ(Exchange(Command(kCmdStat)).responseId, kRspDis);
  EXPECT_EQ(Exchange(Command(kCmdDscp)).responseId, kRspErr);   // unsupported by this unit
  EXPECT_EQ(Exchange(Command(kCmdHangtm, 99999)).responseId, kRspErr);  // out of range
  EXPECT_EQ(Exchange(Command(kCmdHangtm, 2000)).responseId, kRspOk);
  EXPECT_EQ(sim_->Settings().NumberOf("HANGTM"), 2000);

  // The user types while the worker polls and takes replies: every typed line gets
  // its reply, none is lost to the hand-over between the threads.
  std::atomic<bool> stop{false};
  std::atomic<int> versions{0};
  std::thread worker([&] {
    while (!stop) {
      comm_.Poll();
      if (comm_.GetState() == LinkState::ReplyReady) {
        const ResponseRecord* r = comm_.TakeReply();
        if (r && r->responseId == kRspVer) versions.fetch_add(1);
      } else if (comm_.GetState() == LinkState::Failed) {
        comm_.ResetLink();
      }
    }
  });
  constexpr int kTyped = 20;
  int sent = 0;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (sent < kTyped && std::chrono::steady_clock::now() < deadline) {
    if (versions.load() == sent && comm_.SendTypedLine("ver\r\n")) ++sent;
    std::this_thread::sleep_for(100us);
  }
  while (versions.load() < kTyped && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  stop = true;
  worker.join();
  EXPECT_EQ(sent, kTyped);
  EXPECT_EQ(versions.load(), kTyped);

  EXPECT_EQ(Exchange(Command(kCmdTran)).responseId, kRspOk);
  EXPECT_TRUE(sim_->WaitFor([](const sim::SimUnit& u) { return u.Mode() == sim::SimMode::Transparent; }, 1s));

  // Exactly these lines reached the unit, in this order.
  std::vector<std::string> expected = {"", "ECHO OFF", "MYIP", "NAME", "STAT", "DSCP", "HANGTM 99999",
                                       "HANGTM 2000"};
  expected.insert(expected.end(), kTyped, "ver");
  expected.push_back("TRAN");
  EXPECT_EQ(sim_->ReceivedLines(), expected);
  EXPECT_NE(host_.Output().find("+++\r\n"), std::string::npos);
}

TEST_F(LinkOverPty, SilentUnitEndsInFailedAfterBothProbes) {
  sim::SimConfig config;
  config.faults.silent = true;
  StartSim(config);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(comm_.StartCommandMode());
  ASSERT_TRUE(PollUntil([&] { return comm_.GetState() == LinkState::Failed; }, kEscapeLimit + kReplyLimit));
  // 2100 ms, "+++", 3000 ms, second probe, 3000 ms.
  EXPECT_GE(std::chrono::steady_clock::now() - started, kGuard + 2 * kReplyTimeout);
  EXPECT_EQ(host_.Output(), "+++\r\n\r\n");
}

TEST_F(LinkOverPty, AdapterPulledOutMidReadFailsTheLinkWithoutSpinning) {
  StartSim(sim::SimConfig{});
  ASSERT_TRUE(comm_.SendTypedLine("hello\r\n"));
  sim_->CloseLine();
  ASSERT_TRUE(PollUntil([&] { return comm_.GetState() == LinkState::Failed; }, kReplyLimit));
  EXPECT_TRUE(comm_.PortLost());
  comm_.ResetLink();
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i) comm_.Poll();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
  EXPECT_EQ(comm_.GetState(), LinkState::Idle);

  // A new line (the adapter plugged in again) opens as usual.
  comm_.Close();
  StartSim(sim::SimConfig{});
  EXPECT_FALSE(comm_.PortLost());
}

TEST_F(LinkOverPty, PortHeldByTheUtilityCannotBeOpenedTwice) {
  StartSim(sim::SimConfig{});
  std::unique_ptr<ISerialPort> other = CreateSystemSerialPort();
  const PortOpenResult second = other->Open(sim_->SlavePath().c_str(), LineSettings{});
  EXPECT_FALSE(second.ok);
  EXPECT_EQ(second.error, PortOpenError::Busy);
}

}  // namespace
}  // namespace vqx
