// Planning Update Settings from a snapshot's values as vqxctl apply does, on the window
// logic after a full read of a simulated unit wired to the port (no pty, no real time): a
// field changed alone must send its own command and nothing else.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "app/application.h"
#include "app/update_plan.h"
#include "cli_surface.h"
#include "link/serial_comm.h"
#include "protocol/command_format.h"
#include "protocol/command_table.h"
#include "snapshot.h"
#include "support/memory_files.h"
#include "support/sim_wired_port.h"
#include "window/control_ids.h"

namespace vqx::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string LineOf(const CommandRecord& record) {
  char line[kLineSize];
  size_t length = 0;
  EXPECT_EQ(FormCommandLine(record, line, &length), FormatResult::Formed);
  std::string text(line, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

class FormPlanTest : public ::testing::Test {
 protected:
  FormPlanTest() : FormPlanTest(sim::SimConfig{}) {}
  explicit FormPlanTest(sim::SimConfig config) : port(clock, std::move(config)) { comm.AttachHost(&window); }

  void SetUp() override {
    ASSERT_TRUE(window.Create());
    const uint32_t start = clock.now;
    while (!window.IsReadFinished()) {
      for (int i = 0; i < 50; ++i) app.WorkerPass();
      clock.Advance(1);
      ASSERT_LT(clock.now - start, 60000u) << "the read did not finish";
    }
    current = window.GetCurrentSettings();
    wanted = current;
  }

  // The plan vqxctl apply sends, by the desktop's Update Settings rules.
  UpdatePlan Plan() { return window.PlanUpdateTo(wanted); }
  std::vector<std::string> PlannedLines() {
    std::vector<std::string> lines;
    for (const UpdateStep& step : Plan().steps) lines.push_back(LineOf(step.record));
    return lines;
  }
  // Takes target as what apply wants once the form could send each named field of it.
  bool Fill(const DeviceSettings& target, const std::vector<std::string>& fields, std::string* error = nullptr) {
    std::string ignored;
    if (!snapshot::FormCanSend(target, fields, error != nullptr ? error : &ignored)) return false;
    wanted = target;
    return true;
  }

  testing::FakeClock clock;
  testing::SimWiredPort port;
  CliSurface surface;
  testing::MemoryFileStore files;
  testing::FixedWallClock wallClock;
  CSerialComm comm{port, clock};
  AppServices services{clock, files, wallClock};
  CAppWindow window{comm, surface, services};
  CApplication app{comm, window};
  DeviceSettings current{};
  DeviceSettings wanted{};
};

struct FieldChange {
  const char* field;
  std::function<void(DeviceSettings&)> change;
  const char* line;
};

TEST_F(FormPlanTest, EachFieldFilledAloneSendsExactlyItsOwnCommandAndFillingItBackSendsNothing) {
  ASSERT_TRUE(Plan().steps.empty()) << "the form as read matches the unit";
  const FieldChange changes[] = {
      {"name", [](DeviceSettings& s) { std::strcpy(s.name, "Relay-7"); }, "NAME Relay-7"},
      {"webPassword", [](DeviceSettings& s) { std::strcpy(s.webPassword, "s3cret"); }, "PASS s3cret"},
      {"allowTelnet", [](DeviceSettings& s) { s.securityFlags |= kSecurityNoTelnet; }, "SECURITY 8"},
      {"allowHttpAccess", [](DeviceSettings& s) { s.securityFlags |= kSecurityNoHttpAccess; }, "SECURITY 128"},
      {"vocoder", [](DeviceSettings& s) { s.vocoder = 5; }, "VOCODER 5"},
      {"hangTime", [](DeviceSettings& s) { s.hangTime = 4000; }, "HANGTM 4000"},
      {"corSquelchType", [](DeviceSettings& s) { s.corSquelchType = 3; }, "COR 3"},
      {"corInhibitTime", [](DeviceSettings& s) { s.corInhibitTime = 500; }, "CORINH 500"},
      {"ipAddress", [](DeviceSettings& s) { s.ipAddress[3] = 7; }, "MYIP 192.168.001.007"},
      {"serverIp", [](DeviceSettings& s) { s.serverIp[0] = 10; }, nullptr},
      {"gateway", [](DeviceSettings& s) { s.gatewayIp[3] = 254; }, "GATEIP 192.168.001.254"},
      {"subnetMask", [](DeviceSettings& s) { s.subnetMask[2] = 0; }, "SUBNET 255.255.000.000"},
      {"connectionMode", [](DeviceSettings& s) { s.connectionMode = 1; }, "CONMODE 1"},
      {"broadcastMode", [](DeviceSettings& s) { s.broadcastMode = 2; }, "BCAST 2"},
      {"voipPort", [](DeviceSettings& s) { s.voipPort = 3000; }, "PORT 3000"},
      {"serverPort", [](DeviceSettings& s) { s.serverPort = 4000; }, nullptr},
      {"commandPort", [](DeviceSettings& s) { s.commandPort = 24; }, "CMDPORT 24"},
      {"qosDscp", [](DeviceSettings& s) { s.qosDscp = 10; }, "DSCP 10"},
      {"voxThreshold", [](DeviceSettings& s) { s.voxThreshold = 2; }, "VSENSE 2"},
      {"inputBoost", [](DeviceSettings& s) { s.inputBoost = 1; }, "BOOST 1"},
      {"duplex", [](DeviceSettings& s) { s.duplex = 1; }, "DUPLEX 1"},
      {"rxDelay", [](DeviceSettings& s) { s.rxDelay = 120; }, "RXDELAY 120"},
      {"txDelay", [](DeviceSettings& s) { s.txDelay = 80; }, "TXDELAY 80"},
      {"serialBaudRate", [](DeviceSettings& s) { s.serialBaudRate = 19200; }, "BAUD 19200"},
      {"serialDataBits", [](DeviceSettings& s) { s.serialDataBits = 7; }, "DATA 7"},
      {"serialStopBits", [](DeviceSettings& s) { s.serialStopBits = 2; }, "STOP 2"},
      {"serialParity", [](DeviceSettings& s) { s.serialParity = 'E'; }, "PARITY E"},
  };
  size_t covered = 0;
  for (const FieldChange& c : changes) {
    DeviceSettings target = current;
    c.change(target);
    std::string error;
    ASSERT_TRUE(Fill(target, {c.field}, &error)) << error;
    const UpdatePlan plan = Plan();
    ASSERT_EQ(plan.steps.size(), 1u) << c.field;
    EXPECT_EQ(CommandKeywordTable[plan.steps[0].record.commandId], snapshot::KeywordOfField(c.field)) << c.field;
    if (c.line != nullptr) {
      EXPECT_EQ(LineOf(plan.steps[0].record), c.line) << c.field;
    }
    ASSERT_TRUE(Fill(current, {c.field}, &error)) << error;
    EXPECT_TRUE(Plan().steps.empty()) << c.field << " filled back";
    ++covered;
  }
  // Every field the unit can be told is covered above.
  size_t writable = 0;
  for (std::string_view field : snapshot::FieldNames()) writable += snapshot::IsReadOnlyField(field) ? 0 : 1;
  EXPECT_EQ(covered, writable - 3) << "three of the five security boxes are covered by the two above";
}

TEST_F(FormPlanTest, SeveralFieldsGoOutInTheFormsOrderWhateverTheOrderTheyAreFilledIn) {
  DeviceSettings target = current;
  target.serialBaudRate = 19200;
  target.vocoder = 4;
  std::strcpy(target.name, "Relay-7");
  target.subnetMask[2] = 0;
  ASSERT_TRUE(Fill(target, {"serialBaudRate", "subnetMask", "vocoder", "name"}));
  EXPECT_THAT(PlannedLines(), ElementsAre("NAME Relay-7", "VOCODER 4", "SUBNET 255.255.000.000", "BAUD 19200"));
  const UpdatePlan plan = Plan();
  EXPECT_TRUE(plan.steps.back().hostSerial);
  EXPECT_FALSE(plan.steps.front().hostSerial);
}

TEST_F(FormPlanTest, MulticastWithoutAGroupAddressIsHeldBackAndWithOneItGoesOut) {
  DeviceSettings target = current;
  target.broadcastMode = 3;
  const uint8_t unicast[4] = {10, 0, 0, 1};
  std::memcpy(target.serverIp, unicast, 4);
  ASSERT_TRUE(Fill(target, {"broadcastMode", "serverIp"}));
  UpdatePlan plan = Plan();
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_FALSE(plan.steps[0].refusedMulticast);  // SRVRIP comes first in the form's order
  EXPECT_TRUE(plan.steps[1].refusedMulticast);

  target.serverIp[0] = 239;
  ASSERT_TRUE(Fill(target, {"serverIp"}));
  plan = Plan();
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_FALSE(plan.steps[1].refusedMulticast);
  EXPECT_EQ(LineOf(plan.steps[1].record), "BCAST 3");
}

TEST_F(FormPlanTest, ALineBreakInATextRefusesTheWholePlan) {
  DeviceSettings target = current;
  target.vocoder = 4;
  std::strcpy(target.webPassword, "one\rtwo");
  ASSERT_TRUE(Fill(target, {"vocoder", "webPassword"}));
  const UpdatePlan plan = Plan();
  EXPECT_THAT(plan.lineBreakLabels, ElementsAre(::testing::StrEq("Password for web access")));
  EXPECT_TRUE(plan.steps.empty());
}

TEST_F(FormPlanTest, AValueTheFormDoesNotOfferIsRefusedNamingTheField) {
  DeviceSettings target = current;
  target.hangTime = 0;  // valid for the unit, but not in the form's list
  std::string error;
  EXPECT_FALSE(Fill(target, {"hangTime"}, &error));
  EXPECT_THAT(error, HasSubstr("hangTime"));
  target = current;
  target.connectionMode = 2;
  EXPECT_FALSE(Fill(target, {"connectionMode"}, &error));
  EXPECT_THAT(error, HasSubstr("connectionMode"));
  EXPECT_FALSE(Fill(current, {"macAddress"}, &error));
  EXPECT_THAT(error, HasSubstr("cannot be sent"));
  EXPECT_TRUE(Plan().steps.empty());
}

class RefusingUnitFormPlanTest : public FormPlanTest {
 protected:
  static sim::SimConfig Refusing() {
    sim::SimConfig config;
    config.unsupported = {"DUPLEX", "SECURITY", "NAME"};
    return config;
  }
  RefusingUnitFormPlanTest() : FormPlanTest(Refusing()) {}
};

TEST_F(RefusingUnitFormPlanTest, FieldsOfSettingsTheUnitRefusedAreNeverPlannedWhateverTheFormShows) {
  // The five security boxes were never filled (all unchecked: 248); no SECURITY 248.
  EXPECT_TRUE(window.PlanUpdateFromForm().steps.empty());
  EXPECT_TRUE(Plan().steps.empty());
  DeviceSettings target = current;
  target.duplex = 1;
  target.securityFlags = kSecurityNoTelnet;
  target.vocoder = 4;
  std::strcpy(target.name, "Relay-7");
  ASSERT_TRUE(Fill(target, {"duplex", "allowTelnet", "vocoder", "name"}));
  const UpdatePlan plan = Plan();
  EXPECT_THAT(PlannedLines(), ElementsAre("VOCODER 4"));
  EXPECT_THAT(plan.refusedEdits, ElementsAre(::testing::StrEq("Name")));
}

}  // namespace
}  // namespace vqx::cli
