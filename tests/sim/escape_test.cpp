#include <gtest/gtest.h>

#include "unit_driver.h"

namespace vqx::sim {
namespace {

using testing::UnitDriver;

TEST(SimEscape, PlusesBetweenTwoGuardTimesEnterCommandModeSilently) {
  UnitDriver d;
  EXPECT_EQ(d.Wait(1000), "");
  EXPECT_EQ(d.Send("+++"), "");
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  EXPECT_EQ(d.Wait(1000), "");
  EXPECT_EQ(d.unit().Mode(), SimMode::Command);
  EXPECT_EQ(d.Send("\r"), "\r\nOK\n\r");
}

TEST(SimEscape, UtilityTimingOf2100MsAndProbeCrIsAnsweredOk) {
  UnitDriver d;
  d.Wait(2100);
  d.Send("+++");
  d.Wait(2100);
  EXPECT_EQ(d.Send("\r"), "\r\nOK\n\r");
}

TEST(SimEscape, PlusesArrivingSeparatelyWithinGuardTimeStillEscape) {
  UnitDriver d;
  d.Wait(1500);
  d.Send("+");
  d.Wait(300);
  d.Send("+");
  d.Wait(300);
  d.Send("+");
  d.Wait(1000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Command);
}

TEST(SimEscape, TooLittleQuietBeforeFirstPlusDoesNotEscape) {
  UnitDriver d;
  d.Wait(1000);
  d.Send("x");
  d.Wait(999);
  d.Send("+++");
  d.Wait(5000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  EXPECT_EQ(d.Send("\r"), "");
}

TEST(SimEscape, PlusesInsideTrafficDoNotEscape) {
  UnitDriver d;
  d.Wait(2000);
  d.Send("abc+++");
  d.Wait(3000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  d.Send("+++def");
  d.Wait(3000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
}

TEST(SimEscape, ByteWithinGuardAfterThirdPlusCancelsEscape) {
  UnitDriver d;
  d.Wait(1000);
  d.Send("+++");
  d.Wait(999);
  d.Send("x");
  d.Wait(5000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
}

TEST(SimEscape, FourPlusesAreTrafficNotAnEscape) {
  UnitDriver d;
  d.Wait(1000);
  d.Send("++++");
  d.Wait(5000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
}

TEST(SimEscape, PauseBetweenPlusesRestartsTheCount) {
  UnitDriver d;
  d.Wait(1000);
  d.Send("++");
  d.Wait(1000);
  d.Send("+");  // a fresh first '+', not the third
  d.Wait(5000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);

  UnitDriver e;
  e.Wait(1000);
  e.Send("++");
  e.Wait(1000);
  e.Send("+++");
  e.Wait(1000);
  EXPECT_EQ(e.unit().Mode(), SimMode::Command);
}

TEST(SimEscape, QuietAfterPlusesEndsExactlyAtGuardTime) {
  UnitDriver d;
  d.Wait(1000);
  d.Send("+++");
  d.Wait(999);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  d.Wait(1);
  EXPECT_EQ(d.unit().Mode(), SimMode::Command);
}

TEST(SimEscape, ProbeArrivingAtGuardEndIsAnsweredWithoutATickFirst) {
  SimUnit unit(SimConfig{}, 0);
  unit.OnBytes("+++", 1000);
  unit.OnBytes("\r", 2000);
  EXPECT_EQ(unit.TakeOutput(2000), "\r\nOK\n\r");
}

TEST(SimEscape, GuardTimeIsConfigurable) {
  SimConfig config;
  config.guardMs = 50;
  UnitDriver d(config);
  d.Escape(50);
  EXPECT_EQ(d.unit().Mode(), SimMode::Command);

  UnitDriver strict(config);
  strict.Escape(49);
  EXPECT_EQ(strict.unit().Mode(), SimMode::Transparent);
}

// A line that held bytes back hands them over late, several at once; sentSince is the
// earliest moment they can have been sent.
TEST(SimEscape, HeldBackPlusesAreDatedFromWhenTheyCanHaveBeenSent) {
  // Sent after 2.1 s of quiet, heard 1.3 s late; the probe 2.1 s after them, on time.
  SimUnit unit(SimConfig{}, 0);
  unit.OnBytes("+++", 3400, SimMs{2100});
  unit.OnBytes("\r", 4200);
  EXPECT_EQ(unit.Mode(), SimMode::Command);
  EXPECT_EQ(unit.TakeOutput(4200), "\r\nOK\n\r");

  // The probe was held back with them: the gap after "+++" is hidden, and taken as kept.
  SimUnit batched(SimConfig{}, 0);
  batched.OnBytes("+++\r\r", 6300, SimMs{2100});
  EXPECT_EQ(batched.Mode(), SimMode::Command);
  EXPECT_EQ(batched.TakeOutput(6300), "\r\nOK\n\r\r\nOK\n\r");
}

TEST(SimEscape, AHeldBackSaveRestartsTheUnitFromWhenItCanHaveBeenSent) {
  // SAVE sent at 3 s but heard at 6 s; the host's next "+++" at 7 s, 4 s after SAVE, heard
  // on time. The unit, up again 1 s after SAVE, has had 3 s of quiet before it.
  SimConfig config;
  config.rebootMs = 1000;
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  d.unit().OnBytes("SAVE\r\n", 6000, SimMs{3000});
  d.unit().Tick(6000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  d.unit().OnBytes("+++", 7000);
  d.unit().Tick(8000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Command);
}

TEST(SimEscape, HeldBackPlusesStillNeedTheQuietBeforeThem) {
  // Half a second after other traffic: held back or not, this is data.
  SimUnit unit(SimConfig{}, 0);
  unit.OnBytes("x", 1000);
  unit.OnBytes("+++\r", 3000, SimMs{1500});
  unit.Tick(9000);
  EXPECT_EQ(unit.Mode(), SimMode::Transparent);
  EXPECT_EQ(unit.ForwardedBytes(), "x+++\r");

  // Dated before the last byte heard (the wait began before it): no quiet gap at all.
  SimUnit late(SimConfig{}, 0);
  late.OnBytes("x", 2000);
  late.OnBytes("+++", 2500, SimMs{1900});
  late.Tick(9000);
  EXPECT_EQ(late.Mode(), SimMode::Transparent);

  // "+++" inside a held-back batch of traffic, and four '+': data as ever.
  SimUnit inside(SimConfig{}, 0);
  inside.OnBytes("ab+++\r", 5000, SimMs{3000});
  inside.OnBytes("++++\r", 9000, SimMs{7000});
  inside.Tick(20000);
  EXPECT_EQ(inside.Mode(), SimMode::Transparent);
}

TEST(SimEscape, TransparentTrafficIsNeitherAnsweredNorLogged) {
  UnitDriver d;
  d.Wait(1000);
  EXPECT_EQ(d.Send("MYIP\r\nHELP\r\n"), "");
  EXPECT_EQ(d.Wait(1000), "");
  EXPECT_TRUE(d.unit().ReceivedLines().empty());
}

}  // namespace
}  // namespace vqx::sim
