#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>

#include "raw_host.h"
#include "runner/sim_runner.h"

namespace vqx::sim {
namespace {

using namespace std::chrono_literals;
using testing::Pause;
using testing::RawHost;

constexpr uint32_t kGuardMs = 50;
// Far beyond the guard time, so a busy machine cannot make the escape fail.
constexpr int kPauseMs = 200;

SimConfig QuickUnit() {
  SimConfig config;
  config.guardMs = kGuardMs;
  config.rebootMs = 100;
  return config;
}

// "+++" between quiet times, then the CR probe; returns what came back.
std::string Escape(RawHost& host) {
  Pause(kPauseMs);
  host.Write("+++");
  Pause(kPauseMs);
  host.Write("\r");
  return host.ReadUntil("OK\n\r", 2s);
}

TEST(SimRunner, EscapeOverPseudoTerminalIsAnsweredOkAndQueriesWork) {
  SimRunner runner(QuickUnit());
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok()) << runner.SlavePath();

  EXPECT_EQ(Escape(host), "\r\nOK\n\r");
  EXPECT_EQ(runner.Mode(), SimMode::Command);
  host.Write("ECHO OFF\r\n");
  EXPECT_EQ(host.ReadUntil("OK\n\r", 2s), "ECHO OFF\r\nOK\n\r");
  host.Write("MYIP\r\n");
  EXPECT_EQ(host.ReadUntil("\n\r", 2s), "MYIP 192.168.001.020\n\r");
}

// A unit relaying data or at the wrong baud rate: an endless stream without line breaks,
// while it still hears and carries out what the host sends.
TEST(SimRunner, ABabblingUnitTalksWithoutLineBreaksAndStillListens) {
  SimConfig config = QuickUnit();
  config.faults.babble = true;
  SimRunner runner(std::move(config));
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok());
  Escape(host);
  EXPECT_EQ(runner.Mode(), SimMode::Command);
  host.Write("NAME Chatty\r\n");
  std::string heard;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (heard.size() < 100000 && std::chrono::steady_clock::now() < deadline) heard += host.ReadFor(10ms);
  EXPECT_GE(heard.size(), 100000u);
  EXPECT_LE(std::count(heard.begin(), heard.end(), '\n'), 2) << "only the echo of NAME and its OK end lines";
  EXPECT_TRUE(runner.WaitFor([](const SimUnit& u) { return u.Settings().TextOf("NAME") == "Chatty"; }, 2s));
}

TEST(SimRunner, ChangesMadeOverTheLineAreVisibleThroughTheAccessors) {
  SimRunner runner(QuickUnit());
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok());
  ASSERT_EQ(Escape(host), "\r\nOK\n\r");
  host.Write("NAME Tower\r\nSAVE\r\n");
  EXPECT_TRUE(runner.WaitFor([](const SimUnit& u) { return u.Mode() == SimMode::Rebooting; }, 2s));
  EXPECT_EQ(runner.SavedSettings().TextOf("NAME"), "Tower");
  EXPECT_EQ(runner.ReceivedLines(), (std::vector<std::string>{"", "NAME Tower", "SAVE"}));
  EXPECT_TRUE(runner.WaitFor([](const SimUnit& u) { return u.Mode() == SimMode::Transparent; }, 2s));
  EXPECT_EQ(runner.Settings().TextOf("NAME"), "Tower");
}

TEST(SimRunner, SilenceSwitchedOnWhileServingStopsAllReplies) {
  SimRunner runner(QuickUnit());
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok());
  ASSERT_EQ(Escape(host), "\r\nOK\n\r");
  FaultConfig silent;
  silent.silent = true;
  runner.SetFaults(silent);
  host.Write("VER\r\n");
  EXPECT_EQ(host.ReadFor(300ms), "");
  EXPECT_EQ(runner.ReceivedLines().back(), "VER");
}

TEST(SimRunner, SplitOutputArrivesByteByByteNoFasterThanTheGap) {
  SimConfig config = QuickUnit();
  config.faults.splitDelayMs = 15;
  SimRunner runner(config);
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok());
  Pause(kPauseMs);
  host.Write("+++");
  Pause(kPauseMs);
  host.Write("\r");
  EXPECT_EQ(host.ReadUntil("\r", 2s), "\r");
  const auto first = std::chrono::steady_clock::now();
  EXPECT_EQ(host.ReadUntil("OK\n\r", 2s), "\nOK\n\r");
  // Five more bytes, 15 ms apart; the unit's clock counts whole milliseconds.
  EXPECT_GE(std::chrono::steady_clock::now() - first, 5 * 14ms);
}

TEST(SimRunner, ClosingTheLineRemovesTheDeviceAndHangsUpTheHost) {
  SimRunner runner(QuickUnit());
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  const std::string path = runner.SlavePath();
  RawHost host(path);
  ASSERT_TRUE(host.ok());
  runner.CloseLine();
  EXPECT_FALSE(runner.Serving());
  struct stat st {};
  EXPECT_NE(stat(path.c_str(), &st), 0);
  pollfd p{host.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 1000), 1);
  EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
}

TEST(SimRunner, StopKeepsTheDeviceAndStartServesAgain) {
  SimRunner runner(QuickUnit());
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  const std::string path = runner.SlavePath();
  RawHost host(path);
  ASSERT_TRUE(host.ok());
  runner.Stop();
  EXPECT_FALSE(runner.Serving());
  ASSERT_TRUE(runner.Start(&error)) << error;
  EXPECT_EQ(runner.SlavePath(), path);
  EXPECT_EQ(Escape(host), "\r\nOK\n\r");
}

// The host's settings, as a program sets them on its end of the pseudo-terminal.
void SetHostLine(RawHost& host, speed_t speed, tcflag_t framing) {
  termios t{};
  tcgetattr(host.fd(), &t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
  t.c_cflag |= framing;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  tcsetattr(host.fd(), TCSANOW, &t);
}

TEST(SimRunner, UnitAtAnotherRateHearsNoEscapeUntilTheHostSwitchesToItsRate) {
  SimConfig config = QuickUnit();
  config.line = SerialFrame{57600, 8, 'N', 1};
  SimRunner runner(std::move(config));
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok());
  EXPECT_EQ(runner.Settings().NumberOf("BAUD"), 57600);

  SetHostLine(host, B9600, CS8);
  const std::string garbled = Escape(host);
  EXPECT_EQ(garbled.find("OK"), std::string::npos) << garbled;
  EXPECT_EQ(runner.Mode(), SimMode::Transparent);

  SetHostLine(host, B57600, CS8);
  EXPECT_EQ(Escape(host), "\r\nOK\n\r");
  EXPECT_EQ(runner.Mode(), SimMode::Command);
}

// Odd parity is what a pseudo-terminal carries of the parity: a host without it sends
// the unit garbage at the right rate, and reads the unit's parity bit as data.
TEST(SimRunner, UnitAtOddParityAnswersOnlyAHostThatSetsOddParity) {
  SimConfig config = QuickUnit();
  config.line = SerialFrame{19200, 7, 'O', 1};
  SimRunner runner(std::move(config));
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RawHost host(runner.SlavePath());
  ASSERT_TRUE(host.ok());

  SetHostLine(host, B19200, CS8);
  const std::string garbled = Escape(host);
  EXPECT_EQ(garbled.find("OK"), std::string::npos) << garbled;
  EXPECT_EQ(runner.Mode(), SimMode::Transparent);

  SetHostLine(host, B19200, CS7 | PARENB | PARODD);
  EXPECT_EQ(Escape(host), "\r\nOK\n\r");
  EXPECT_EQ(runner.Mode(), SimMode::Command);
}

TEST(SimRunner, WaitForGivesUpAfterItsTimeout) {
  SimRunner runner(QuickUnit());
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(runner.WaitFor([](const SimUnit& u) { return u.Mode() == SimMode::Command; }, 100ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

// A line whose reads can stall the way a pseudo-terminal's do when the kernel worker
// that carries its bytes goes unscheduled: the unit's wait overruns, then gets the bytes.
class StallingLine final : public SimLine {
 public:
  bool Open(std::string*) override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }
  std::string HostPortName() const override { return "stalling"; }
  std::unique_ptr<ISerialPort> CreateHostPort() override { return nullptr; }

  // The host sends; the unit's next read stalls for holdMs before it gets the bytes.
  void HostSends(const std::string& bytes, std::chrono::milliseconds hold = 0ms) {
    std::lock_guard lock(mutex_);
    toUnit_ += bytes;
    hold_ = hold;
    changed_.notify_all();
  }
  std::string HostHeard() {
    std::lock_guard lock(mutex_);
    return toHost_;
  }

  Readiness Wait(uint32_t waitMs, bool) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !toUnit_.empty(); });
    if (toUnit_.empty()) return {};
    const auto hold = std::exchange(hold_, 0ms);
    lock.unlock();
    std::this_thread::sleep_for(hold);
    return {true, false};
  }
  ptrdiff_t Receive(uint8_t* buffer, size_t size) override {
    std::lock_guard lock(mutex_);
    const size_t n = std::min(size, toUnit_.size());
    std::copy_n(toUnit_.begin(), n, buffer);
    toUnit_.erase(0, n);
    return static_cast<ptrdiff_t>(n);
  }
  size_t Send(const char* data, size_t size) override {
    std::lock_guard lock(mutex_);
    toHost_.append(data, size);
    return size;
  }

 private:
  bool open_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string toUnit_;
  std::string toHost_;
  std::chrono::milliseconds hold_{0};
};

TEST(SimRunner, PlusesHeldBackByAStalledLineStillEscapeWhenTheHostKeptTheQuietTimes) {
  // The host keeps 700 ms of quiet after "+++" (the guard is 200 ms), but the unit gets
  // "+++" only 600 ms after it was sent: the probe follows 100 ms later by its clock.
  SimConfig config = QuickUnit();
  config.guardMs = 200;
  auto owned = std::make_unique<StallingLine>();
  StallingLine& line = *owned;
  SimRunner runner(std::move(config), std::move(owned));
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  Pause(500);
  EXPECT_LT(runner.TakeLongestHoldMs(), 600u) << "nothing held yet";
  line.HostSends("+++", 600ms);
  Pause(700);
  EXPECT_GE(runner.TakeLongestHoldMs(), 600u - 10u) << "the hold, less the wait's own time-out, is measured";
  EXPECT_LT(runner.TakeLongestHoldMs(), 600u) << "and taken once";
  line.HostSends("\r");
  EXPECT_TRUE(runner.WaitFor([](const SimUnit& u) { return u.Mode() == SimMode::Command; }, 2s));
  EXPECT_TRUE(runner.WaitFor([&](const SimUnit&) { return line.HostHeard() == "\r\nOK\n\r"; }, 2s))
      << line.HostHeard();
}

}  // namespace
}  // namespace vqx::sim
