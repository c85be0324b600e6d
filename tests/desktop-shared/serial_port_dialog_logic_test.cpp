// The serial port dialog as both programs show it, driven on a headless surface: what it
// shows, when OK ends it, and the search for the unit's line settings.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scripted_dialog_host.h"
#include "serial_port_dialog_logic.h"
#include "window/control_ids.h"

namespace vqx::desktop {
namespace {

using vqx::testing::DialogDriver;
using vqx::testing::ScriptedDialogHost;

struct Recorded {
  std::vector<HostSerialChoice> applied;
  std::vector<std::string> searched;
  int cancels = 0;
  std::vector<ISerialPortDialogView*> views;
};

SerialPortDialogRun StoredRun(Recorded& seen, bool offerSearch) {
  SerialPortDialogRun run;
  run.stored.portName = "COM3";
  run.stored.baudRate = 19200;
  run.stored.dataBits = 7;
  run.stored.stopBits = 2;
  run.stored.parity = 'E';
  run.apply = [&seen](const HostSerialChoice& choice) {
    seen.applied.push_back(choice);
    return seen.applied.size() == 2;  // the first choice does not open: the dialog stays
  };
  if (offerSearch) {
    run.startDetection = [&seen](const std::string& portName) { seen.searched.push_back(portName); };
    run.cancelDetection = [&seen] { ++seen.cancels; };
  }
  run.viewChanged = [&seen](ISerialPortDialogView* view) { seen.views.push_back(view); };
  return run;
}

TEST(SerialPortDialogLogicTest, ShowsTheStoredChoiceAndEndsOnOkOnlyOnceTheChosenPortOpened) {
  Recorded seen;
  SerialPortDialogRun run = StoredRun(seen, false);
  SerialPortDialogLogic logic(run);
  ScriptedDialogHost host;
  host.Expect([&](DialogDriver& d) {
    EXPECT_EQ(d.surface.Text(ids::kSerialPortName), "COM3");
    EXPECT_EQ(d.surface.Items(ids::kSerialParity), (std::vector<std::string>{"None", "Odd", "Even"}));
    EXPECT_EQ(d.surface.Items(ids::kSerialBaudRate).size(), 9u);
    EXPECT_EQ(d.surface.Text(ids::kSerialBaudRate), "19200");
    EXPECT_EQ(d.surface.Text(ids::kSerialDataBits), "7");
    EXPECT_EQ(d.surface.Text(ids::kSerialStopBits), "2");
    EXPECT_EQ(d.surface.Text(ids::kSerialParity), "Even");
    EXPECT_EQ(d.surface.Focus(), ids::kSerialPortName);
    EXPECT_FALSE(d.surface.Enabled(ids::kSerialDetect)) << "Detect is greyed when the program offers no search";
    EXPECT_FALSE(d.Click(ids::kSerialDetect));
    EXPECT_TRUE(seen.searched.empty());
    d.Type(ids::kSerialPortName, "COM9");
    d.Select(ids::kSerialParity, 1);
    EXPECT_FALSE(d.Click(ids::kDialogOk)) << "the port did not open: the dialog stays";
    EXPECT_TRUE(d.Click(ids::kDialogOk));
  });
  host.RunModal(logic);
  ASSERT_EQ(seen.applied.size(), 2u);
  EXPECT_EQ(seen.applied.back().portName, "COM9");
  EXPECT_EQ(seen.applied.back().baudRate, 19200);
  EXPECT_EQ(seen.applied.back().parity, 'O') << "the dialog lists None, Odd, Even";
  EXPECT_EQ(seen.views, (std::vector<ISerialPortDialogView*>{&logic, nullptr}));
}

TEST(SerialPortDialogLogicTest, AValueOutsideTheListsSelectsNothingAndCancelStoresNothing) {
  Recorded seen;
  SerialPortDialogRun run = StoredRun(seen, true);
  run.stored.baudRate = 12;  // a prefix of "1200" and "115200"
  SerialPortDialogLogic logic(run);
  ScriptedDialogHost host;
  host.Expect([&](DialogDriver& d) {
    EXPECT_EQ(d.surface.Selection(ids::kSerialBaudRate), -1);
    EXPECT_EQ(logic.CurrentChoice().baudRate, 0) << "no rate selected reads as none";
    EXPECT_TRUE(d.Click(ids::kDialogCancel));
  });
  host.RunModal(logic);
  EXPECT_TRUE(seen.applied.empty());
  EXPECT_EQ(seen.cancels, 0);
}

TEST(SerialPortDialogLogicTest, TheSearchGreysTheChoiceCancelStopsItAndItsEndFillsInTheSettings) {
  Recorded seen;
  SerialPortDialogRun run = StoredRun(seen, true);
  SerialPortDialogLogic logic(run);
  ScriptedDialogHost host;
  host.Expect([&](DialogDriver& d) {
    d.Type(ids::kSerialPortName, "");
    EXPECT_FALSE(d.Click(ids::kSerialDetect));
    EXPECT_TRUE(seen.searched.empty()) << "no search without a port name";
    EXPECT_EQ(d.surface.Text(ids::kSerialDetectStatus), "Type the serial port's name first.");
    EXPECT_FALSE(logic.Detecting());

    d.Type(ids::kSerialPortName, "COM4");
    EXPECT_FALSE(d.Click(ids::kSerialDetect));
    EXPECT_EQ(seen.searched, std::vector<std::string>{"COM4"});
    EXPECT_TRUE(logic.Detecting());
    EXPECT_EQ(d.surface.Text(ids::kSerialDetectStatus), "Looking for the VQX-2 on COM4...");
    for (const int id : {ids::kDialogOk, ids::kSerialDetect, ids::kSerialPortName}) {
      EXPECT_FALSE(d.surface.Enabled(id)) << id;
    }
    EXPECT_TRUE(d.surface.Enabled(ids::kDialogCancel));
    EXPECT_EQ(d.surface.Focus(), ids::kDialogCancel);
    EXPECT_FALSE(d.Click(ids::kSerialDetect));
    EXPECT_EQ(seen.searched.size(), 1u) << "one search at a time";
    EXPECT_FALSE(d.Click(ids::kDialogOk)) << "the search holds the port";
    EXPECT_TRUE(seen.applied.empty());

    logic.ShowDetectionProgress("Trying 9600 8N1...");
    EXPECT_EQ(d.surface.Text(ids::kSerialDetectStatus), "Trying 9600 8N1...");
    EXPECT_FALSE(d.Click(ids::kDialogCancel)) << "Cancel stops the search; the dialog waits for its end";
    EXPECT_EQ(seen.cancels, 1);
    EXPECT_EQ(d.surface.Text(ids::kSerialDetectStatus), "Stopping the search...");

    HostSerialChoice found;
    found.portName = "COM4";
    found.baudRate = 38400;
    found.dataBits = 8;
    found.stopBits = 1;
    found.parity = 'O';
    logic.DetectionEnded(&found, "Found the VQX-2 at 38400 8O1.");
    EXPECT_FALSE(logic.Detecting());
    EXPECT_EQ(d.surface.Text(ids::kSerialDetectStatus), "Found the VQX-2 at 38400 8O1.");
    EXPECT_EQ(d.surface.Text(ids::kSerialBaudRate), "38400");
    EXPECT_EQ(d.surface.Text(ids::kSerialDataBits), "8");
    EXPECT_EQ(d.surface.Text(ids::kSerialStopBits), "1");
    EXPECT_EQ(d.surface.Text(ids::kSerialParity), "Odd");
    for (const int id : {ids::kDialogOk, ids::kSerialDetect, ids::kSerialPortName}) {
      EXPECT_TRUE(d.surface.Enabled(id)) << id;
    }
    EXPECT_EQ(d.surface.Focus(), ids::kDialogOk);
    EXPECT_TRUE(d.Click(ids::kDialogCancel));
  });
  host.RunModal(logic);
  logic.ShowDetectionProgress("late");  // after the dialog went: nothing to write to
  EXPECT_EQ(seen.views.back(), nullptr);
}

TEST(SerialPortDialogLogicTest, DetectAtOnceStartsTheSearchAsTheDialogOpens) {
  Recorded seen;
  SerialPortDialogRun run = StoredRun(seen, true);
  run.detectAtOnce = true;
  SerialPortDialogLogic logic(run);
  ScriptedDialogHost host;
  host.Expect([&](DialogDriver& d) {
    EXPECT_EQ(seen.searched, std::vector<std::string>{"COM3"});
    EXPECT_EQ(seen.views.size(), 1u) << "the view is known before the search can report";
    EXPECT_EQ(d.surface.Focus(), ids::kDialogCancel);
    logic.DetectionEnded(nullptr, "No answer.");
    EXPECT_EQ(d.surface.Text(ids::kSerialBaudRate), "19200") << "nothing found: the choice stays";
    EXPECT_EQ(d.surface.Focus(), ids::kDialogCancel);
    EXPECT_TRUE(d.Click(ids::kDialogCancel));
  });
  host.RunModal(logic);
}

}  // namespace
}  // namespace vqx::desktop
