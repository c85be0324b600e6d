#include <gtest/gtest.h>

#include "unit/settings_json.h"
#include "unit_driver.h"

namespace vqx::sim {
namespace {

using testing::UnitDriver;

struct SetCase {
  std::string line;
  bool accepted;
};

class SimSetCommand : public ::testing::TestWithParam<SetCase> {};

TEST_P(SimSetCommand, AcceptsValuesInRangeAndRefusesTheRest) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  const SettingsModel before = d.unit().Settings();
  EXPECT_EQ(d.Ask(GetParam().line), GetParam().accepted ? "OK\n\r" : "ERR\n\r");
  if (!GetParam().accepted) {
    EXPECT_EQ(d.unit().Settings(), before);
  }
}

std::vector<SetCase> RangeCases() {
  std::vector<SetCase> cases = {
      {"MYIP 10.0.0.5", true},        {"MYIP 010.000.000.005", true},
      {"GATEIP 0.0.0.0", true},       {"SRVRIP 255.255.255.255", true},
      {"MYIP 256.0.0.1", false},      {"MYIP 1.2.3", false},
      {"MYIP 1.2.3.4.5", false},      {"MYIP a.b.c.d", false},
      {"SUBNET 1..2.3", false},       {"MYIP 0001.2.3.4", false},
      {"MYIP ", false},               {"PARITY e", true},
      {"PARITY O", true},             {"PARITY X", false},
      {"PARITY NONE", false},         {"BAUD 300", true},
      {"BAUD 115200", true},          {"BAUD 14400", false},
      {"BAUD 9600x", false},          {"DATA 7", true},
      {"DATA 6", false},              {"STOP 2", true},
      {"STOP 3", false},              {"NAME " + std::string(63, 'n'), true},
      {"NAME " + std::string(64, 'n'), false},
      {"PASS " + std::string(63, 'p'), true},
      {"PASS " + std::string(64, 'p'), false},
      {"VER 2.0", false},             {"MAC 00:11:22:33:44:55", false},
      {"ECHO MAYBE", false},          {"echo off ", true},
      {"CONN 10.1.1.1 ", true},       {"CONN 10.1.1.1:", false},          {"STAT 2", false},
      {"SAVE NOW", false},            {"TRAN 1", false},
      {"HELP ME", false},             {"PORT -1", false},
      {"PORT 1.5", false},            {"PORT 12a", false},
  };
  const std::pair<const char*, std::pair<int, int>> ranges[] = {
      {"PORT", {0, 65535}},    {"SRVRPORT", {0, 65535}}, {"CMDPORT", {0, 65535}},
      {"BCAST", {0, 3}},       {"CONMODE", {0, 3}},      {"COR", {0, 3}},
      {"CORINH", {0, 4000}},   {"HANGTM", {0, 4000}},    {"VOCODER", {1, 5}},
      {"DSCP", {0, 63}},       {"VSENSE", {0, 2}},       {"BOOST", {0, 1}},
      {"DUPLEX", {0, 1}},      {"RXDELAY", {0, 10000}},  {"TXDELAY", {0, 10000}},
      {"SECURITY", {0, 255}},
  };
  for (const auto& [kw, range] : ranges) {
    const std::string k = kw;
    cases.push_back({k + " " + std::to_string(range.first), true});
    cases.push_back({k + " " + std::to_string(range.second), true});
    cases.push_back({k + " " + std::to_string(range.first - 1), false});
    cases.push_back({k + " " + std::to_string(range.second + 1), false});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Ranges, SimSetCommand, ::testing::ValuesIn(RangeCases()));

TEST(SimSetCommand, AcceptedValueIsWhatTheNextQueryReports) {
  UnitDriver d;
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("name Tower 2"), "OK\n\r");
  EXPECT_EQ(d.Ask("NAME"), "NAME Tower 2\n\r");
  EXPECT_EQ(d.Ask("SRVRIP 10.20.30.4"), "OK\n\r");
  EXPECT_EQ(d.Ask("SRVRIP"), "SRVRIP 010.020.030.004\n\r");
  EXPECT_EQ(d.Ask("HANGTM 0030"), "OK\n\r");
  EXPECT_EQ(d.Ask("HANGTM"), "HANGTM 30\n\r");
  EXPECT_EQ(d.Ask("PARITY e"), "OK\n\r");
  EXPECT_EQ(d.Ask("PARITY"), "PARITY E\n\r");
  EXPECT_EQ(d.unit().Settings().TextOf("NAME"), "Tower 2");
  EXPECT_EQ(d.unit().SavedSettings().TextOf("NAME"), "VQX-2");
}

TEST(SimSetCommand, UnsupportedKeywordsAnswerErrToQueryAndSet) {
  SimConfig config;
  config.unsupported = {"DSCP", "BOOST"};
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("DSCP"), "ERR\n\r");
  EXPECT_EQ(d.Ask("dscp 10"), "ERR\n\r");
  EXPECT_EQ(d.Ask("BOOST"), "ERR\n\r");
  EXPECT_EQ(d.unit().Settings().NumberOf("DSCP"), 46);
  EXPECT_EQ(d.Ask("VSENSE"), "VSENSE 1\n\r");
}

TEST(SimSetCommand, RefusedSettingsAreShownButKeepTheirValueWhenSet) {
  SimConfig config;
  config.refusedSets = {"NAME"};
  UnitDriver d(config);
  d.EnterQuietCommandMode();
  EXPECT_EQ(d.Ask("NAME"), "NAME VQX-2\n\r");
  EXPECT_EQ(d.Ask("name Tower 2"), "ERR\n\r");
  EXPECT_EQ(d.unit().Settings().TextOf("NAME"), "VQX-2");
  EXPECT_EQ(d.Ask("VSENSE 2"), "OK\n\r");
}

TEST(SimSettingsJson, FieldsOverrideDefaultsByKeywordInAnyCase) {
  SettingsModel s = SettingsModel::Defaults();
  std::string error;
  ASSERT_TRUE(LoadSettingsJson(R"({"NAME": "Tower", "myip": "10.0.0.5", "BAUD": 19200,
      "Parity": "E", "dhcp": true, "VER": "VQX-2 v2.10", "pass": ""})",
                               &s, &error))
      << error;
  EXPECT_EQ(s.TextOf("NAME"), "Tower");
  EXPECT_EQ(s.AddressOf("MYIP"), (Address{10, 0, 0, 5}));
  EXPECT_EQ(s.NumberOf("BAUD"), 19200);
  EXPECT_EQ(s.TextOf("PARITY"), "E");
  EXPECT_TRUE(s.Dhcp());
  EXPECT_EQ(s.TextOf("VER"), "VQX-2 v2.10");  // factory data may come from the file
  EXPECT_EQ(s.TextOf("PASS"), "");
  EXPECT_EQ(s.NumberOf("PORT"), 2000);
}

TEST(SimSettingsJson, DamagedOrWrongFileIsRefusedWithReasonAndChangesNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"NAME": "Tower", )", "JSON"},
      {R"([1, 2])", "object"},
      {R"({"NAME": "Tower", "COLOUR": "red"})", "COLOUR"},
      {R"({"NAME": "Tower", "BAUD": "fast"})", "BAUD"},
      {R"({"NAME": "Tower", "VOCODER": 9})", "out of range"},
      {R"({"NAME": "Tower", "MYIP": "10.0.0"})", "MYIP"},
      {R"({"NAME": "Tower", "dhcp": "yes"})", "dhcp"},
      {R"({"NAME": "Tower", "PORT": 1.5})", "PORT"},
      {R"({"NAME": "Tower", "PORT": 1e400})", "number overflow"},  // a range error, not a syntax error
  };
  for (const auto& [text, reason] : cases) {
    SettingsModel s = SettingsModel::Defaults();
    std::string error;
    EXPECT_FALSE(LoadSettingsJson(text, &s, &error)) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << text << " -> " << error;
    EXPECT_EQ(s, SettingsModel::Defaults()) << text;
  }
}

TEST(SimSettingsModel, AddressesAcceptLeadingZerosAndPrintThreeDigitOctets) {
  Address a{};
  ASSERT_TRUE(ParseAddress("192.168.001.020", &a));
  EXPECT_EQ(a, (Address{192, 168, 1, 20}));
  ASSERT_TRUE(ParseAddress("10.0.0.5", &a));
  EXPECT_EQ(FormatAddress(a), "010.000.000.005");
  EXPECT_EQ(FormatAddress({255, 255, 0, 100}), "255.255.000.100");
  EXPECT_FALSE(ParseAddress("1.2.3.4 ", &a));
  EXPECT_FALSE(ParseAddress(".1.2.3", &a));
}

}  // namespace
}  // namespace vqx::sim
