#include <gtest/gtest.h>

#include "unit_driver.h"

namespace vqx::sim {
namespace {

using testing::UnitDriver;

TEST(SimSave, AnswersOkThenStaysSilentAndComesBackTransparentWithSavedSettings) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  d.Ask("NAME Tower");
  EXPECT_EQ(d.Ask("SAVE"), "OK\n\r");
  EXPECT_EQ(d.unit().Mode(), SimMode::Rebooting);
  EXPECT_EQ(d.unit().SavedSettings().TextOf("NAME"), "Tower");

  // Nothing is heard, and what is sent meanwhile is lost.
  EXPECT_EQ(d.Wait(1000), "");
  EXPECT_EQ(d.Ask("NAME Lost"), "");
  EXPECT_EQ(d.Wait(3999), "");
  EXPECT_EQ(d.unit().Mode(), SimMode::Rebooting);
  d.Wait(1);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  EXPECT_EQ(d.Send("NAME\r"), "");

  d.Escape();
  EXPECT_TRUE(d.unit().EchoOn());
  EXPECT_EQ(d.Send("NAME\r"), "NAME\r\nNAME Tower\n\r");
}

TEST(SimSave, RebootTimeIsConfigurable) {
  SimConfig config;
  config.rebootMs = 200;
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  d.Ask("SAVE");
  d.Wait(199);
  EXPECT_EQ(d.unit().Mode(), SimMode::Rebooting);
  d.Wait(1);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
}

TEST(SimReboot, UnsavedChangesAreLostAndEchoIsOnAgain) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  d.Ask("NAME Tower");
  d.Ask("PORT 3000");
  EXPECT_EQ(d.Ask("REBOOT"), "OK\n\r");
  EXPECT_EQ(d.unit().Mode(), SimMode::Rebooting);
  d.Wait(5000);
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  EXPECT_EQ(d.unit().Settings(), SettingsModel::Defaults());
  d.Escape();
  EXPECT_EQ(d.Send("PORT\r"), "PORT\r\nPORT 2000\n\r");
}

TEST(SimTran, ReturnsToTransparentKeepingUnsavedChanges) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  d.Ask("NAME Tower");
  EXPECT_EQ(d.Ask("TRAN"), "OK\n\r");
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
  EXPECT_EQ(d.Ask("NAME"), "");
  d.Escape();
  EXPECT_EQ(d.Ask("NAME"), "NAME Tower\n\r");
}

TEST(SimTran, UtilityShutdownSequenceEchoOnThenTranInOneWrite) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  // ECHO ON is not echoed; TRAN is, with its line end, before its OK.
  EXPECT_EQ(d.Send("ECHO ON\r\nTRAN\r\n"), "OK\n\rTRAN\r\nOK\n\r");
  EXPECT_EQ(d.unit().Mode(), SimMode::Transparent);
}

TEST(SimTran, WhatFollowsTranIsPassedOnButNotTheLfOfItsOwnLineEnd) {
  UnitDriver d;
  d.Wait(1000);
  d.Send("+++");
  EXPECT_EQ(d.unit().ForwardedBytes(), "+++") << "until the guard time has passed, \"+++\" is data";
  d.Wait(1000);
  d.Send("ECHO OFF\r\n");
  EXPECT_EQ(d.unit().ForwardedBytes(), "+++") << "command lines are not passed on";
  d.Ask("TRAN");
  EXPECT_EQ(d.unit().ForwardedBytes(), "");
  d.Send("STAT\r\n");
  EXPECT_EQ(d.unit().ForwardedBytes(), "STAT\r\n") << "a line after TRAN reaches the network peer";
}

TEST(SimPeer, ConnAttemptsPeerAndDiscDisconnects) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("CONN 10.9.8.7"), "OK\n\r");
  EXPECT_EQ(d.Ask("STAT"), "ATT 010.009.008.007:5000\n\r");
  EXPECT_EQ(d.Ask("CONN 10.9.8.7:7000"), "OK\n\r");
  EXPECT_EQ(d.Ask("STAT"), "ATT 010.009.008.007:7000\n\r");
  EXPECT_EQ(d.Ask("CONN 10.9.8"), "ERR\n\r");
  EXPECT_EQ(d.Ask("CONN 10.9.8.7:70000"), "ERR\n\r");
  EXPECT_EQ(d.Ask("DISC"), "OK\n\r");
  EXPECT_EQ(d.Ask("STAT"), "DIS\n\r");
  // Without an address the unit calls its configured server.
  EXPECT_EQ(d.Ask("CONN"), "OK\n\r");
  EXPECT_EQ(d.Ask("STAT"), "ATT 192.168.001.030:2000\n\r");
}

TEST(SimPeer, ConfiguredLinkStateReturnsAfterReboot) {
  SimConfig config;
  config.peer.status = PeerStatus::Connected;
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  d.Ask("DISC");
  d.Ask("REBOOT");
  d.Wait(5000);
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("STAT"), "CON 010.001.002.003:5000\n\r");
}

}  // namespace
}  // namespace vqx::sim
