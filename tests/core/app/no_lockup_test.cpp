// States that once could only be left by killing the program: after HELP or WHAT, with a
// unit whose texts are empty, with a reply nothing can be read from. Each must lead back
// to a full read, or to "not responding", within the unit's reply time-outs.

#include <string>

#include "core/app/app_fixture.h"
#include "protocol/command_table.h"

namespace vqx::testing {
namespace {

// The escape (two guards) plus ECHO OFF, 28 queries and STAT, each answered at once:
// the simulated unit needs well under this much clock time for a whole read.
constexpr uint32_t kFullReadLimitMs = 10000;

bool FullReadEnded(const CAppWindow& window) {
  if (!window.IsUnitIdle() || window.GetFullReadActive() != 0) return false;
  for (int i = 0; i < kSettingCount; ++i) {
    if (window.GetSettingReadState(i) == 0) return false;
  }
  return true;
}

// The lines of a full read from the probe on: the probe's CR, ECHO OFF, the 28 queries in
// their order and STAT.
std::string FullReadLines() {
  std::string lines = "\rECHO OFF\r\n";
  for (int32_t id : kFullReadOrder) lines += std::string(CommandKeywordTable[id]) + "\r\n";
  return lines + "STAT\r\n";
}

class NoLockUpTest : public AppSimTest {
 protected:
  void ReadThenType(const std::string& line) {
    CreateAndRead();
    ASSERT_TRUE(FullReadEnded(window));
    Click(ids::kViewTerminal);
    surface.UserSetText(ids::kCommandEntry, line);
    window.OnEnterKey();
    // The unit's whole answer arrives and is shown.
    ASSERT_TRUE(RunUntil([&] { return surface.Text(ids::kOutputWindow).find("OK") != std::string::npos &&
                                      comm.GetState() == LinkState::Idle && !comm.AwaitingReply(); }));
    for (int i = 0; i < 200; ++i) {
      Passes(50);
      clock.Advance(1);
    }
    ASSERT_TRUE(comm.SuppressParse());
    port.TakeWritten();
  }

  // From status 9 on: the unit is escaped and read again, all within the limit.
  void ExpectAFullReadWithin(uint32_t limitMs) {
    ASSERT_TRUE(RunUntil([&] { return window.GetStatusState() == kStatusEnteringCommand; }, 100));
    ASSERT_TRUE(RunUntil([&] { return FullReadEnded(window); }, limitMs));
    const std::string written = port.TakeWritten();
    const size_t probe = written.find("+++\r");
    ASSERT_NE(probe, std::string::npos) << written;
    EXPECT_EQ(written.substr(probe + 3), FullReadLines());
    EXPECT_FALSE(comm.SuppressParse());
  }
};

TEST_F(NoLockUpTest, HelpThenAttentionReadsTheUnitAgain) {
  ReadThenType("HELP");
  Click(ids::kAttention);
  ExpectAFullReadWithin(kFullReadLimitMs);
}

TEST_F(NoLockUpTest, WhatThenResetReadsTheUnitAgain) {
  ReadThenType("what");
  Click(ids::kMenuReset);
  ExpectAFullReadWithin(kFullReadLimitMs);
}

TEST_F(NoLockUpTest, HelpThenTheSerialPortDialogsOkReadsTheUnitAgain) {
  ReadThenType("help");
  const PreferencesBlock prefs = window.GetPreferences();
  ASSERT_TRUE(window.ApplySerialPortChoice("COM1", prefs.baudRate, prefs.dataBits, prefs.stopBits, prefs.parity));
  ExpectAFullReadWithin(kFullReadLimitMs);
}

class EmptyTextsTest : public AppSimTest {
 protected:
  static sim::SimConfig EmptyNameAndPassword() {
    sim::SimConfig config = DefaultSimConfig();
    const sim::SettingDef* name = sim::SettingsModel::Find("NAME");
    const sim::SettingDef* pass = sim::SettingsModel::Find("PASS");
    EXPECT_EQ(config.settings.Set(*name, ""), sim::SetOutcome::Ok);
    EXPECT_EQ(config.settings.Set(*pass, ""), sim::SetOutcome::Ok);
    return config;
  }
  EmptyTextsTest() : AppSimTest(EmptyNameAndPassword()) {}
};

TEST_F(EmptyTextsTest, AUnitWithoutNameOrPasswordIsReadToTheEnd) {
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(RunUntil([&] { return FullReadEnded(window); }, kFullReadLimitMs));
  EXPECT_EQ(window.GetStatusState(), kStatusDisconnected);
  EXPECT_STREQ(window.GetCurrentSettings().name, "");
  EXPECT_STREQ(window.GetCurrentSettings().webPassword, "");
  EXPECT_EQ(surface.Text(ids::kName), "");
  EXPECT_TRUE(surface.Enabled(ids::kName));
  EXPECT_EQ(window.StatusNameLine(), "");
}

// A unit that answers in a form the program cannot read: the read goes on, or the
// time-out says the unit is not responding; it never waits for ever.
class UnreadableReplyTest : public AppScriptedTest {
 protected:
  // Answers each query of the read with a plausible value, except the keyword given.
  void ReadAnswering(const std::string& keyword, const std::string& answer) {
    CreateAndEscape();
    UnitSays("OK\n");
    ASSERT_EQ(port.TakeWritten(), "ECHO OFF\r\n");
    UnitSays("OK\n");
    for (int n = 0; n < 40 && !FullReadEnded(window); ++n) {
      std::string query = port.TakeWritten();
      if (query.empty()) break;
      query = query.substr(0, query.find('\r'));
      if (query == keyword) {
        UnitSays(answer);
      } else {
        UnitSays(PlausibleReply(query));
      }
    }
  }
  static std::string PlausibleReply(const std::string& keyword) {
    if (keyword == "STAT") return "DIS\n";
    if (keyword == "MYIP" || keyword == "SUBNET" || keyword == "GATEIP" || keyword == "SRVRIP") {
      return keyword + " 10.0.0.1\n";
    }
    if (keyword == "NAME" || keyword == "PASS" || keyword == "VER" || keyword == "MAC") return keyword + " x\n";
    if (keyword == "PARITY") return "PARITY N\n";
    return keyword + " 1\n";
  }
};

TEST_F(UnreadableReplyTest, AnAddressWithAWordForAnOctetMarksThatSettingUnsupported) {
  ReadAnswering("SRVRIP", "SRVRIP 10.x.0.1\n");
  ASSERT_TRUE(FullReadEnded(window));
  bool srvripRefused = false;
  for (int i = 0; i < kSettingCount; ++i) {
    const bool isSrvrip = kFullReadOrder[static_cast<size_t>(i)] == kCmdSrvrip;
    EXPECT_EQ(window.GetSettingReadState(i), isSrvrip ? 1 : 2) << CommandKeywordTable[kFullReadOrder[i]];
    srvripRefused = srvripRefused || (isSrvrip && window.GetSettingReadState(i) == 1);
  }
  EXPECT_TRUE(srvripRefused);
  EXPECT_FALSE(surface.Enabled(ids::kServerIp1));
}

TEST_F(UnreadableReplyTest, OnlyNoiseForAQueryEndsInNotRespondingAfterTheReplyTimeOut) {
  ReadAnswering("VOCODER", "garbled line\n");
  EXPECT_EQ(window.GetStatusState(), kStatusQuerying);
  ASSERT_TRUE(RunUntilStatus(kStatusNotResponding, kReplyTimeoutMs + 1000));
  // Attention from there reads the unit again.
  Click(ids::kAttention);
  ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::ProbeSent; }, kFullReadLimitMs));
}

// An empty parity must not become the host's line setting, which the next Reset uses.
TEST_F(UnreadableReplyTest, AnEmptyParityIsReadButKeepsTheHostsParity) {
  ReadAnswering("PARITY", "PARITY <none>\n");
  ASSERT_TRUE(FullReadEnded(window));
  EXPECT_EQ(window.GetPreferences().parity, 'N');
}

}  // namespace
}  // namespace vqx::testing
