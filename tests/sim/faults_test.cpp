#include <gtest/gtest.h>

#include "unit_driver.h"

namespace vqx::sim {
namespace {

using testing::UnitDriver;

std::vector<SimMs> DueTimes(const SimUnit& unit) {
  std::vector<SimMs> times;
  for (const TimedByte& b : unit.PendingOutput()) times.push_back(b.dueMs);
  return times;
}

TEST(SimFaultSilent, NeverTransmitsButStillActsOnCommands) {
  SimConfig config;
  config.faults.silent = true;
  UnitDriver d(config);
  d.Escape();
  EXPECT_EQ(d.Send("\r"), "");
  EXPECT_EQ(d.Ask("NAME Quiet"), "");
  EXPECT_EQ(d.Ask("HELP"), "");
  EXPECT_EQ(d.Wait(10000), "");
  EXPECT_FALSE(d.unit().NextOutputDue().has_value());
  EXPECT_EQ(d.unit().Settings().TextOf("NAME"), "Quiet");
  EXPECT_EQ(d.unit().ReceivedLines().size(), 3u);
}

TEST(SimFaultSilent, CanBeSwitchedOffWhileRunning) {
  SimConfig config;
  config.faults.silent = true;
  UnitDriver d(config);
  d.Escape();
  EXPECT_EQ(d.Send("\r"), "");
  d.unit().SetFaults({});
  EXPECT_EQ(d.Send("\r"), "\r\nOK\n\r");
}

TEST(SimFaultGarbage, AnswersNoiseWithoutAnyReplyKeyword) {
  SimConfig config;
  config.faults.garbage = true;
  UnitDriver d(config);
  d.Escape();
  const std::string out = d.Send("ECHO OFF\r\n") + d.Ask("MYIP") + d.Ask("HELP");
  ASSERT_FALSE(out.empty());
  for (char c : out) {
    const auto u = static_cast<unsigned char>(c);
    EXPECT_TRUE(u >= 0x80 || c == '\n') << "byte " << int(u);
  }
  // The unit still understood: the echo is off, so only replies are noisy now.
  EXPECT_FALSE(d.unit().EchoOn());
}

TEST(SimFaultGarbage, NoiseIsReproducibleForTheSameSeed) {
  SimConfig config;
  config.faults.garbage = true;
  UnitDriver a(config), b(config);
  a.Escape();
  b.Escape();
  EXPECT_EQ(a.Ask("WHAT"), b.Ask("WHAT"));
  config.noiseSeed = 99;
  UnitDriver c(config);
  c.Escape();
  EXPECT_NE(a.Ask("WHAT"), c.Ask("WHAT"));
}

TEST(SimFaultSplit, ReplyBytesFollowEachOtherAtTheConfiguredGap) {
  SimConfig config;
  config.faults.splitDelayMs = 20;
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  d.Wait(1000);  // let the ECHO OFF reply drain
  const SimMs t = d.now();
  EXPECT_EQ(d.Ask("PORT"), "P");
  EXPECT_EQ(DueTimes(d.unit()).size(), std::string("PORT 2000\n\r").size() - 1);
  std::vector<SimMs> due = DueTimes(d.unit());
  for (size_t i = 0; i < due.size(); ++i) EXPECT_EQ(due[i], t + 20 * (i + 1));
  EXPECT_EQ(d.Wait(19), "");
  EXPECT_EQ(d.Wait(1), "O");
  EXPECT_EQ(d.Wait(1000), "RT 2000\n\r");
}

TEST(SimFaultPace, OutputTakesTenBitTimesPerByteAtTheHostBaud) {
  SimConfig config;
  config.faults.pace = true;
  config.hostBaud = 1200;  // 8.33 ms a byte
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  d.Wait(1000);
  const SimMs t = d.now();
  EXPECT_EQ(d.Ask("PORT 1"), "");
  EXPECT_EQ(DueTimes(d.unit()), (std::vector<SimMs>{t + 9, t + 17, t + 25, t + 34}));

  config.hostBaud = 9600;
  UnitDriver fast(config);
  fast.EnterQuietCommandMode();
  fast.Wait(1000);
  const SimMs start = fast.now();
  fast.Ask("WHAT");
  const std::vector<SimMs> due = DueTimes(fast.unit());
  // 10 bits per byte at 9600 baud: 1.0417 ms per byte, with no gap or burst.
  EXPECT_EQ(due.back() - start, (due.size() * 10'000 + 9'599) / 9'600);
}

TEST(SimFaultPace, EchoAndReplyShareOneTransmitterInOrder) {
  SimConfig config;
  config.faults.pace = true;
  config.hostBaud = 300;  // 33.3 ms a byte
  UnitDriver d(config);
  d.Escape();
  d.Send("\r");
  const std::vector<SimMs> due = DueTimes(d.unit());
  ASSERT_EQ(due.size(), 6u);  // the echoed line end CR LF, then OK LF CR
  for (size_t i = 1; i < due.size(); ++i) EXPECT_GE(due[i] - due[i - 1], 33u);
}

TEST(SimReplyDelay, RepliesWaitTheThinkingTimeButEchoDoesNot) {
  SimConfig config;
  config.replyDelayMs = 250;
  UnitDriver d(config);
  d.Escape();
  EXPECT_EQ(d.Send("\r"), "\r\n");
  EXPECT_EQ(d.Wait(249), "");
  EXPECT_EQ(d.Wait(1), "OK\n\r");
}

}  // namespace
}  // namespace vqx::sim
