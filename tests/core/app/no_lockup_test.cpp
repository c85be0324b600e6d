// States that once could only be left by killing the program: after HELP or WHAT, with a
// unit whose texts are empty, with a reply nothing can be read from. Each must lead back
// to a full read, or to "not responding", within the unit's reply time-outs.

#include <string>
#include <vector>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "protocol/command_table.h"

namespace vqx::testing {
namespace {

// The escape (two guards) plus ECHO OFF, 28 queries and STAT, each answered at once:
// the simulated unit needs well under this much clock time for a whole read.
constexpr uint32_t kFullReadLimitMs = 10000;

bool FullReadEnded(const CAppWindow& window) {
  if (!window.IsUnitIdle() || CAppWindowTestAccess::FullReadActive(window)) return false;
  for (int i = 0; i < kSettingCount; ++i) {
    if (window.GetSettingReadState(i) == ReadMark::NotRead) return false;
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

// Every state the program can be in, and every way a user has of moving it on: within the
// unit's time-outs the program is back where a user can work (the unit read and idle,
// "not responding", or the port closed), never stuck in a state only killing it would end.
enum class Moment { Entering, Probing, Querying, Idle, AfterHelp, RebootWait, NotResponding };
enum class Action { TypedLine, Attention, Reset, SerialPortDialog };

struct Case {
  Moment moment;
  Action action;
};

std::string Name(const ::testing::TestParamInfo<Case>& info) {
  static const char* const moments[] = {"Entering", "Probing", "Querying", "Idle", "AfterHelp", "RebootWait",
                                        "NotResponding"};
  static const char* const actions[] = {"TypedLine", "Attention", "Reset", "SerialPortDialog"};
  return std::string(moments[static_cast<int>(info.param.moment)]) + "Then" +
         actions[static_cast<int>(info.param.action)];
}

bool Resting(int8_t status) {
  return status == kStatusDisconnected || status == kStatusAttempting || status == kStatusConnected ||
         status == kStatusNotResponding || status == kStatusTransparent || status == kStatusPortNotOpen;
}

class EveryStateLeadsBackTest : public AppSimTest, public ::testing::WithParamInterface<Case> {
 protected:
  void Reach(Moment moment) {
    ASSERT_TRUE(window.Create());
    switch (moment) {
      case Moment::Entering: ASSERT_TRUE(RunUntilStatus(kStatusEnteringCommand)); break;
      case Moment::Probing:
        ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::ProbeSent; }));
        break;
      case Moment::Querying:
        ASSERT_TRUE(RunUntil([&] { return CAppWindowTestAccess::FullReadActive(window) && window.GetSettingReadState(12) == ReadMark::Read; }));
        break;
      case Moment::Idle: ASSERT_TRUE(RunUntil([&] { return FullReadEnded(window); })); break;
      case Moment::AfterHelp:
      case Moment::RebootWait:
        ASSERT_TRUE(RunUntil([&] { return FullReadEnded(window); }));
        Click(ids::kViewTerminal);
        surface.UserSetText(ids::kCommandEntry, moment == Moment::AfterHelp ? "HELP" : "SAVE");
        window.OnEnterKey();
        if (moment == Moment::RebootWait) {
          ASSERT_TRUE(RunUntilStatus(kStatusRebootWait));
        } else {
          ASSERT_TRUE(RunUntil([&] { return comm.SuppressParse() && !comm.AwaitingReply(); }));
        }
        break;
      case Moment::NotResponding:
        ASSERT_TRUE(RunUntil([&] { return CAppWindowTestAccess::FullReadActive(window); }));
        {
          sim::FaultConfig faults = port.unit.Faults();
          faults.silent = true;
          port.unit.SetFaults(faults);
        }
        ASSERT_TRUE(RunUntilStatus(kStatusNotResponding));
        faults_silenced_ = true;
        break;
    }
  }

  void Do(Action action) {
    if (faults_silenced_) {
      // The unit comes back (a cable plugged in again): the user's action must reach it.
      sim::FaultConfig faults = port.unit.Faults();
      faults.silent = false;
      port.unit.SetFaults(faults);
    }
    switch (action) {
      case Action::TypedLine:
        Click(ids::kViewTerminal);
        surface.UserSetText(ids::kCommandEntry, "STAT");
        window.OnEnterKey();
        break;
      case Action::Attention: Click(ids::kAttention); break;
      case Action::Reset: Click(ids::kMenuReset); break;
      case Action::SerialPortDialog: {
        const PreferencesBlock prefs = window.GetPreferences();
        window.ApplySerialPortChoice("COM1", prefs.baudRate, prefs.dataBits, prefs.stopBits, prefs.parity);
        break;
      }
    }
  }

  // As RunUntil, with the reboot timer firing when its ten seconds are up, as the
  // window's timer does.
  bool RunWithTimerUntil(const std::function<bool()>& pred, uint32_t simulatedMsLimit) {
    bool timing = false;
    uint32_t timerStart = 0;
    return RunUntil(
        [&] {
          const bool running = surface.TimerRunning(ids::kRebootTimer);
          if (running && !timing) timerStart = clock.now;
          timing = running;
          if (running && ElapsedMs(clock.now, timerStart) >= kRebootWaitMs) {
            timing = false;
            window.OnTimer(ids::kRebootTimer);
          }
          return pred();
        },
        simulatedMsLimit);
  }

  bool faults_silenced_ = false;
};

// The reboot wait, an escape, a full read at the unit's pace and a reply time-out on top.
constexpr uint32_t kWorkingAgainMs = kRebootWaitMs + kFullReadLimitMs + kReplyTimeoutMs;

TEST_P(EveryStateLeadsBackTest, TheProgramIsWorkingAgainWithinTheTimeOuts) {
  Reach(GetParam().moment);
  Do(GetParam().action);
  // A moment for the action to take effect, then the program must come to rest.
  Passes(200);
  ASSERT_TRUE(RunWithTimerUntil(
      [&] { return Resting(window.GetStatusState()) && comm.GetState() == LinkState::Idle; }, kWorkingAgainMs));
  if (GetParam().action != Action::TypedLine || GetParam().moment == Moment::RebootWait) {
    // The user asked for the unit: it has been read to the end, and answers again.
    EXPECT_TRUE(FullReadEnded(window)) << "status " << int{window.GetStatusState()};
    EXPECT_NE(window.GetStatusState(), kStatusNotResponding);
  }
  // And the user can go on: Attention reads the unit once more.
  port.TakeWritten();
  Click(ids::kAttention);
  ASSERT_TRUE(RunUntil([&] { return window.GetStatusState() == kStatusEnteringCommand; }, 1000));
  ASSERT_TRUE(RunUntil([&] { return FullReadEnded(window); }, kFullReadLimitMs));
  EXPECT_NE(port.TakeWritten().find("ECHO OFF\r\n"), std::string::npos);
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (Moment m : {Moment::Entering, Moment::Probing, Moment::Querying, Moment::Idle, Moment::AfterHelp,
                   Moment::RebootWait, Moment::NotResponding}) {
    for (Action a : {Action::TypedLine, Action::Attention, Action::Reset, Action::SerialPortDialog}) {
      cases.push_back({m, a});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(NoLockUp, EveryStateLeadsBackTest, ::testing::ValuesIn(AllCases()), Name);

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
    EXPECT_EQ(window.GetSettingReadState(i), isSrvrip ? ReadMark::Refused : ReadMark::Read) << CommandKeywordTable[kFullReadOrder[i]];
    srvripRefused = srvripRefused || (isSrvrip && window.GetSettingReadState(i) == ReadMark::Refused);
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
