#include <chrono>
#include <string>
#include <thread>

#include "support/app_window_access.h"
#include "core/app/app_fixture.h"
#include "window/forwarding_surface.h"
#include "protocol/command_table.h"

namespace vqx::testing {
namespace {

// The Terminal view with an open port and an idle link; the worker does not run, so
// nothing but the test moves the link.
class TerminalTest : public AppScriptedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.Create());
    Click(ids::kViewTerminal);
    ASSERT_EQ(window.GetView(), kViewTerminal);
    window.SetStatusState(kStatusConnected);
  }

  // Types into the entry box and presses Send.
  void Submit(const std::string& text) {
    surface.UserSetText(ids::kCommandEntry, text);
    Click(ids::kSend);
  }

  // Reads the unit's bytes with Poll alone, so a recognised reply stays in the link.
  void UnitAnswers(const std::string& bytes) {
    port.Receive(bytes);
    for (int i = 0; i < 1000 && !port.incoming.empty(); ++i) comm.Poll();
  }
};

TEST_F(TerminalTest, TypedSettingGoesOutAsTypedAndArmsItsConfirmation) {
  Submit("myip 10.0.0.7");
  EXPECT_EQ(port.TakeWritten(), "myip 10.0.0.7\r\n");
  EXPECT_EQ(window.GetQueryStep(), kConfirmIpAddress);
  EXPECT_EQ(CAppWindowTestAccess::PendingArgument(window), "10.0.0.7");
  EXPECT_FALSE(CAppWindowTestAccess::OwnCommand(window));
  EXPECT_EQ(surface.Text(ids::kCommandEntry), "");
  EXPECT_EQ(surface.Text(ids::kOutputWindow), "\r\nmyip 10.0.0.7\r\n");

  Submit("Name  Relay One");
  EXPECT_EQ(port.TakeWritten(), "Name  Relay One\r\n");
  EXPECT_EQ(window.GetQueryStep(), kConfirmName);
  EXPECT_EQ(CAppWindowTestAccess::PendingArgument(window), " Relay One");
}

TEST_F(TerminalTest, QueriesAndUnfollowedSettingsLeaveTheConfirmationAlone) {
  for (const char* line : {"MYIP", "dscp 46", "rxdelay 100", "frobnicate 3"}) {
    Submit(line);
    EXPECT_EQ(port.TakeWritten(), std::string(line) + "\r\n");
    EXPECT_EQ(window.GetQueryStep(), kNothingPending) << line;
    EXPECT_EQ(CAppWindowTestAccess::PendingArgument(window), "") << line;
  }
}

TEST_F(TerminalTest, EchoWithArgumentIsRefusedWithItsBoxButEchoQueryGoesOut) {
  Submit("echo on");
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(surface.Text(ids::kCommandEntry), "");
  EXPECT_EQ(surface.Text(ids::kOutputWindow), "");
  // The refused line does not make the next reply the user's.
  EXPECT_TRUE(CAppWindowTestAccess::OwnCommand(window));
  const auto boxes = surface.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, MessageOwner::MainWindow);
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_EQ(boxes[0].text, "This program automatically controls the ECHO setting");
  EXPECT_EQ(boxes[0].icon, MessageIcon::None);

  Submit("ECHO");
  EXPECT_EQ(port.TakeWritten(), "ECHO\r\n");
  EXPECT_EQ(surface.MessageBoxes().size(), 1u);
}

TEST_F(TerminalTest, HelpAnswerIsShownButNotTakenForAReplyUntilTheNextTypedLine) {
  Submit("help");
  port.TakeWritten();
  UnitAnswers("MYIP SUBNET NAME\r\nOK\r\n");
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_NE(surface.Text(ids::kOutputWindow).find("MYIP SUBNET NAME\r\nOK\r\n"), std::string::npos);

  Submit("ver");
  EXPECT_FALSE(comm.SuppressParse());
  UnitAnswers("OK\r\n");
  EXPECT_EQ(comm.GetState(), LinkState::ReplyReady);
}

TEST_F(TerminalTest, SaveOrRebootStartsTheRebootWaitOnlyWhenTheUnitIsIdle) {
  window.SetStatusState(kStatusQuerying);
  Submit("REBOOT");
  EXPECT_EQ(port.TakeWritten(), "REBOOT\r\n");
  EXPECT_EQ(window.GetStatusState(), kStatusQuerying);
  EXPECT_FALSE(surface.TimerRunning(ids::kRebootTimer));

  window.SetStatusState(kStatusConnected);
  Submit("save");
  EXPECT_EQ(port.TakeWritten(), "save\r\n");
  EXPECT_EQ(window.GetStatusState(), kStatusRebootWait);
  EXPECT_TRUE(surface.TimerRunning(ids::kRebootTimer));
}

TEST_F(TerminalTest, LongEntryIsCutAfter253CharactersBeforeItsLineEnd) {
  const std::string text(300, 'x');
  for (size_t length : {253u, 254u, 255u, 300u}) {
    Submit(text.substr(0, length));
    EXPECT_EQ(port.TakeWritten(), std::string(253, 'x') + "\r\n") << length;
  }
  Submit(std::string(252, 'y'));
  EXPECT_EQ(port.TakeWritten(), std::string(252, 'y') + "\r\n");
}

TEST_F(TerminalTest, APastedLineBreakSendsOnlyTheFirstLineAndTellsTheUser) {
  // Each kind of break a clipboard can hold, and one at the end of what the entry holds.
  const std::string longFirst(250, 'v');
  const struct {
    std::string entry, written;
  } cases[] = {
      {"VER\r\nSAVE", "VER\r\n"},
      {"name Relay\nREBOOT\n", "name Relay\r\n"},
      {"STAT\rSAVE", "STAT\r\n"},
      {longFirst + "\nSAVE", longFirst + "\r\n"},
  };
  size_t boxes = 0;
  for (const auto& c : cases) {
    Submit(c.entry);
    EXPECT_EQ(port.TakeWritten(), c.written) << c.entry;
    EXPECT_EQ(surface.Text(ids::kCommandEntry), "");
    ASSERT_EQ(surface.MessageBoxes().size(), ++boxes) << c.entry;
    const auto box = surface.MessageBoxes().back();
    EXPECT_EQ(box.owner, MessageOwner::MainWindow);
    EXPECT_EQ(box.caption, "VQX Setup Utility");
    EXPECT_NE(box.text.find("Only its first line was sent"), std::string::npos);
  }
  EXPECT_EQ(surface.Text(ids::kOutputWindow).find("SAVE"), std::string::npos) << "the rest never shows as sent";
  // The setting the form follows is the first line's, without the next line's text.
  EXPECT_EQ(CAppWindowTestAccess::PendingArgument(window), "Relay");

  // A single line says nothing; a first line that is refused says only its own refusal.
  Submit("VER");
  EXPECT_EQ(port.TakeWritten(), "VER\r\n");
  Submit("\nSAVE");
  EXPECT_EQ(port.TakeWritten(), "");
  Submit("echo on\nVER");
  EXPECT_EQ(port.TakeWritten(), "");
  ASSERT_EQ(surface.MessageBoxes().size(), boxes + 1);
  EXPECT_EQ(surface.MessageBoxes().back().text, "This program automatically controls the ECHO setting");
}

TEST_F(TerminalTest, EmptyOrBlankEntryAndOtherViewsSendNothing) {
  const int invalidates = surface.InvalidateCount(false);
  window.OnEnterKey();
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(surface.InvalidateCount(false), invalidates);

  Submit("   ");
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(comm.GetState(), LinkState::Idle);
  EXPECT_EQ(surface.Text(ids::kCommandEntry), "");
  EXPECT_TRUE(CAppWindowTestAccess::OwnCommand(window));

  Click(ids::kViewSettings);
  surface.UserSetText(ids::kCommandEntry, "VER");
  window.OnEnterKey();
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(surface.Text(ids::kCommandEntry), "VER");
}

TEST_F(TerminalTest, LineTypedWhileTheLinkEscapesIsLostAndTheBoxCleared) {
  ASSERT_TRUE(comm.StartCommandMode());
  Submit("name Relay");
  EXPECT_EQ(port.TakeWritten(), "");
  EXPECT_EQ(surface.Text(ids::kCommandEntry), "");
  EXPECT_EQ(window.GetQueryStep(), kNothingPending);
  EXPECT_TRUE(CAppWindowTestAccess::OwnCommand(window));
  EXPECT_EQ(comm.GetState(), LinkState::EscapeWait);
}

TEST_F(TerminalTest, NoteTypedSettingCutsItsArgumentAndRefusesUnfollowedCommands) {
  window.NoteTypedSetting(kCmdPass, std::string(400, 'p').c_str());
  EXPECT_EQ(CAppWindowTestAccess::PendingArgument(window), std::string(255, 'p'));
  EXPECT_EQ(window.GetQueryStep(), kConfirmWebPassword);
  EXPECT_DEATH(window.NoteTypedSetting(kCmdDscp, "46"), "cappwindow");
}

TEST_F(TerminalTest, OutputLogKeepsTheNewestTextAndNeverMoreThan1199Characters) {
  std::string traffic;
  for (int i = 0; i < 2000; ++i) {
    const char c[2] = {static_cast<char>('a' + i % 26), '\0'};
    window.AppendOutput(c);
    traffic += c;
  }
  EXPECT_EQ(window.GetOutputLog(), traffic.substr(traffic.size() - 1199));
  EXPECT_EQ(surface.Text(ids::kOutputWindow), traffic);

  // Once full the log keeps its length: 100-character pieces settle at 1100.
  window.ResetSerialLink();
  std::string pieces;
  for (int i = 0; i < 20; ++i) {
    const std::string piece(100, static_cast<char>('A' + i));
    window.AppendOutput(piece.c_str());
    pieces += piece;
  }
  EXPECT_EQ(window.GetOutputLog(), pieces.substr(pieces.size() - 1100));

  // A text longer than 255 characters is cut.
  window.AppendOutput(std::string(300, '#').c_str());
  const std::string log = window.GetOutputLog();
  EXPECT_EQ(log.size(), 1100u);
  EXPECT_EQ(log.substr(log.size() - 256), pieces.back() + std::string(255, '#'));
}

// Passes everything on, but lets the other thread run just before each output append,
// where a log and window updated under different locks would fall out of order.
class YieldingSurface final : public ForwardingSurface {
 public:
  explicit YieldingSurface(HeadlessSurface& inner) : ForwardingSurface(inner) {}
  void AppendToOutput(int id, const char* text) override {
    std::this_thread::sleep_for(std::chrono::microseconds(20));
    ForwardingSurface::AppendToOutput(id, text);
  }
};

TEST_F(TerminalTest, OutputFromBothThreadsReachesLogAndWindowInTheSameOrder) {
  HeadlessSurface shownSurface;
  YieldingSurface yielding(shownSurface);
  CAppWindow twoThreaded(comm, yielding, services);
  auto writer = [&](char c) {
    for (int i = 0; i < 590; ++i) {
      const char text[2] = {static_cast<char>(c + i % 10), '\0'};
      twoThreaded.AppendOutput(text);
    }
  };
  std::thread worker(writer, 'a');
  writer('0');
  worker.join();
  const std::string shown = shownSurface.Text(ids::kOutputWindow);
  const std::string log = twoThreaded.GetOutputLog();
  // Both hold all of the traffic (1180 characters), so any reordering shows.
  ASSERT_EQ(shown.size(), 1180u);
  EXPECT_EQ(log, shown);
}

}  // namespace
}  // namespace vqx::testing
