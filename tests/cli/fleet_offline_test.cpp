// What vqxctl fleet does without a unit: which ports a --ports list names, the
// status lines on a terminal and in a log, and the summary and report.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fleet.h"
#include "fleet_ports.h"
#include "fleet_status.h"

namespace vqx::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class FleetPorts : public ::testing::Test {
 protected:
  FleetPorts() {
    std::filesystem::create_directories(dir_);
    for (const char* name : {"usb-FTDI_B-if00", "usb-FTDI_A-if00", "usb-Prolific_C", ".hidden-if00"}) {
      std::ofstream((dir_ / name).string()) << "";
    }
  }
  ~FleetPorts() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::vector<std::string> Expand(const std::vector<std::string>& given, bool expectOk = true) {
    std::vector<std::string> ports;
    error_.clear();
    EXPECT_EQ(ExpandFleetPorts(given, &ports, &error_), expectOk) << error_;
    return ports;
  }
  std::string In(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                               ("vqx-fleet-ports-" + std::to_string(::getpid()) + "-" +
                                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string error_;
};

TEST_F(FleetPorts, ListsPatternsRangesAndNetworkPortsExpandInOrderWithoutDuplicates) {
  EXPECT_THAT(Expand({"/dev/ttyUSB1,/dev/ttyUSB0", "/dev/ttyUSB1", "COM2"}),
              ElementsAre("/dev/ttyUSB1", "/dev/ttyUSB0", "COM2"));
  // Sorted, hidden entries left out as a shell leaves them.
  EXPECT_THAT(Expand({In("usb-*-if00")}), ElementsAre(In("usb-FTDI_A-if00"), In("usb-FTDI_B-if00")));
  EXPECT_THAT(Expand({In("usb-FTDI_[AB]-if0?")}), ElementsAre(In("usb-FTDI_A-if00"), In("usb-FTDI_B-if00")));
  EXPECT_THAT(Expand({In("usb-[!F]*")}), ElementsAre(In("usb-Prolific_C")));
  EXPECT_THAT(Expand({"COM3-COM6"}), ElementsAre("COM3", "COM4", "COM5", "COM6"));
  EXPECT_THAT(Expand({"com9-com10"}), ElementsAre("com9", "com10"));
  // A network port is the port factory's to open: no glob or range touches it.
  EXPECT_THAT(Expand({"rfc2217://10.0.0.7:4001,socket://rack-[2]*:4002"}),
              ElementsAre("rfc2217://10.0.0.7:4001", "socket://rack-[2]*:4002"));
  EXPECT_TRUE(IsNetworkPortName("socket://host:1"));
  EXPECT_FALSE(IsNetworkPortName("/dev/ttyUSB0"));
  EXPECT_FALSE(IsNetworkPortName("://host:1"));
}

TEST_F(FleetPorts, APatternMatchingNothingARangeBackwardsAndAnEmptyListAreRefused) {
  Expand({In("usb-Nothing*")}, false);
  EXPECT_THAT(error_, HasSubstr("no port matches"));
  Expand({"COM10-COM3"}, false);
  EXPECT_THAT(error_, HasSubstr("COM10-COM3"));
  Expand({"COM1-COM999"}, false);
  EXPECT_THAT(error_, HasSubstr("at most"));
  Expand({","}, false);
  EXPECT_THAT(error_, HasSubstr("no port"));
  Expand({(dir_ / "*" / "x").string()}, false);
  EXPECT_THAT(error_, HasSubstr("last name"));
}

TEST(FleetStatusBoard, ALogGetsOneLinePerChangeAndATerminalIsRedrawnInPlaceWithinItsWidth) {
  std::ostringstream log;
  FleetStatusBoard plain(log, false, 80, false, {"/dev/ttyUSB0", "/dev/ttyUSB10"});
  plain.SetMac(1, "00:20:4A:00:01:02");
  plain.SetName(1, "Site 2");
  plain.SetState(1, "reading");
  plain.SetState(1, "reading");  // no change, no line
  plain.Refresh();
  plain.SetState(0, "port busy");
  EXPECT_EQ(log.str(),
            "/dev/ttyUSB10  00:20:4A:00:01:02  Site 2  reading (at 0 s)\n"
            "/dev/ttyUSB0 " + std::string(2 + 17 + 2, ' ') + "-  port busy (at 0 s)\n");

  std::ostringstream screen;
  FleetStatusBoard terminal(screen, true, 30, false, {"/dev/ttyUSB0", "/dev/ttyUSB1"});
  terminal.SetState(0, "reading");
  terminal.SetState(1, "returning to transparent mode");
  const std::string drawn = screen.str();
  // The second drawing goes back over the two lines of the first.
  EXPECT_THAT(drawn, HasSubstr("\x1b[2A"));
  std::istringstream lines(drawn);
  for (std::string line; std::getline(lines, line);) {
    const size_t text = line.rfind("\x1b[2K");
    ASSERT_NE(text, std::string::npos) << line;
    EXPECT_LE(line.size() - text - 4, 29u) << "no line may reach the last column: " << line;
  }

  std::ostringstream quiet;
  FleetStatusBoard silent(quiet, true, 80, true, {"COM1"});
  silent.SetState(0, "reading");
  silent.Note("note");
  silent.Finish();
  EXPECT_EQ(quiet.str(), "");
}

TEST(FleetSummaryAndReport, EveryUnitHasItsWordTheCountsAddUpAndCsvCellsCannotRunAsFormulas) {
  std::vector<FleetUnitResult> units(3);
  units[0].port = "COM3";
  units[0].mac = "00:20:4A:00:01:01";
  units[0].name = "=HYPERLINK(\"x\")";
  units[0].outcome = FleetOutcome::ChangedVerified;
  units[0].before = DeviceSettings{};
  units[0].after = DeviceSettings{};
  std::snprintf(units[0].after->name, sizeof(units[0].after->name), "%s", "Site 1");
  units[0].changes = snapshot::Diff(*units[0].before, *units[0].after);
  units[1].port = "COM4";
  units[1].mac = "00:20:4A:00:01:02";
  units[1].outcome = FleetOutcome::Refused;
  units[1].refusedWhat = "NAME";
  units[1].detail = "Name Site 2 was not taken";
  units[2].port = "COM5";
  units[2].outcome = FleetOutcome::PortBusy;
  units[2].detail = "+busy";

  const std::string summary = FleetSummary(units);
  EXPECT_THAT(summary, HasSubstr("COM4  00:20:4A:00:01:02  -  "));
  EXPECT_THAT(summary, HasSubstr("refused NAME\n"));
  EXPECT_THAT(summary, HasSubstr("3 units: 1 changed and verified, 1 refused, 1 port busy\n"));
  EXPECT_THAT(summary, HasSubstr("COM4: Name Site 2 was not taken\n"));

  const std::string csv = FleetReportCsv(units);
  EXPECT_THAT(csv, HasSubstr("\"'=HYPERLINK(\"\"x\"\")\""));
  EXPECT_THAT(csv, HasSubstr(",\"'+busy\","));
  EXPECT_THAT(csv, Not(HasSubstr(",=")));
  EXPECT_THAT(csv, HasSubstr(",before.name,"));
  EXPECT_THAT(csv, HasSubstr(",Site 1,"));

  const nlohmann::json j = nlohmann::json::parse(FleetReportJson(units));
  EXPECT_EQ(j["units"][0]["after"]["name"], "Site 1");
  EXPECT_EQ(j["units"][0]["changes"][0]["field"], "name");
  EXPECT_EQ(j["units"][1]["result"], "refused NAME");
  EXPECT_TRUE(j["units"][2]["before"].is_null());
}

}  // namespace
}  // namespace vqx::cli
