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

TEST(SimEscape, TransparentTrafficIsNeitherAnsweredNorLogged) {
  UnitDriver d;
  d.Wait(1000);
  EXPECT_EQ(d.Send("MYIP\r\nHELP\r\n"), "");
  EXPECT_EQ(d.Wait(1000), "");
  EXPECT_TRUE(d.unit().ReceivedLines().empty());
}

}  // namespace
}  // namespace vqx::sim
