// The desktop program as a user drives it: real widgets, real key and mouse events, the
// simulated unit on a pseudo-terminal, the worker thread running.

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCompleter>
#include <QLineEdit>
#include <QPushButton>
#include <QImage>
#include <QTimer>
#include <QTextDocument>

#include "output_text.h"

#include "app/preferences_block.h"
#include "desktop/desktop_fixture.h"
#include "link/serial_comm.h"
#include "system_port.h"

namespace vqx::desktop::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::EndsWith;
using ::testing::StartsWith;

// Pixels of this colour inside the rectangle; the window's backing store may round
// each channel by one.
int CountColour(const QImage& image, const QRect& area, const QColor& colour) {
  const auto near = [](int a, int b) { return std::abs(a - b) <= 1; };
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (near(c.red(), colour.red()) && near(c.green(), colour.green()) && near(c.blue(), colour.blue())) ++count;
    }
  }
  return count;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(DesktopTest, FirstStartReadsTheUnitIntoTheFormAndPaintsSentenceAndNameInTheirColours) {
  StartDemo();
  ASSERT_TRUE(WaitForUnitIdle());

  EXPECT_EQ(Text(ids::kName), "Tower 2");
  EXPECT_EQ(Text(ids::kIp1), "192");
  EXPECT_EQ(Text(ids::kIp4), "20");
  EXPECT_EQ(Text(ids::kVocoder), "GSM 13Kbps");
  EXPECT_EQ(Text(ids::kMacAddress), "Mac Address: 00:50:C2:12:34:56");
  EXPECT_EQ(program_->Logic().StatusSentence(), "VQX-2 disconnected");
  EXPECT_TRUE(Control<QAbstractButton>(ids::kViewSettings)->isChecked());
  EXPECT_TRUE(Visible(ids::kUpdateSettings));
  EXPECT_FALSE(Visible(ids::kOutputWindow));
  EXPECT_FALSE(Visible(ids::kHistoryList));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "VQXSU_Prefs.cfg")) << "starting never writes the preferences";

  // The panel: the sentence in the upper half, the name in the lower half.
  QTest::qWait(50);
  const QImage image = program_->Window().Client()->grab().toImage();
  const StatusLayout& status = program_->Window().Status();
  EXPECT_GT(CountColour(image, status.upper, kStatusSentenceColour), 200);
  EXPECT_EQ(CountColour(image, status.lower, kStatusSentenceColour), 0);
  EXPECT_GT(CountColour(image, status.lower, kStatusNameColour), 100);
  EXPECT_EQ(CountColour(image, status.upper, kStatusNameColour), 0);
}

TEST_F(DesktopTest, TwelveDigitsTypedIntoTheFirstOctetBoxFillTheRowWithoutTab) {
  StartDemo();
  ASSERT_TRUE(WaitForUnitIdle());
  program_->Window().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&program_->Window()));
  Control(ids::kIp1)->setFocus();
  Control<QLineEdit>(ids::kIp1)->selectAll();
  for (const char digit : std::string("010002003004")) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    if (auto* edit = qobject_cast<QLineEdit*>(focus); edit != nullptr && edit->text().size() == 3 && !edit->hasSelectedText()) {
      FAIL() << "the focus stayed in a full box";
    }
    QTest::keyClick(focus, digit);
  }
  EXPECT_EQ(Text(ids::kIp1), "010");
  EXPECT_EQ(Text(ids::kIp2), "002");
  EXPECT_EQ(Text(ids::kIp3), "003");
  EXPECT_EQ(Text(ids::kIp4), "004");
  EXPECT_EQ(program_->Window().focusWidget(), Control(ids::kIp4));

  QTest::keyClicks(Control(ids::kIp4), "x-");
  EXPECT_EQ(Text(ids::kIp4), "004") << "the octet boxes take digits only";
}

TEST_F(DesktopTest, ViewButtonsTerminalTypingHistoryReportAndCloseSendsEchoOnThenTran) {
  StartDemo();
  ASSERT_TRUE(WaitForUnitIdle());

  Click(ids::kViewTerminal);
  EXPECT_TRUE(Visible(ids::kOutputWindow));
  EXPECT_TRUE(Visible(ids::kCommandEntry));
  EXPECT_FALSE(Visible(ids::kName));
  EXPECT_FALSE(Visible(ids::kHistoryList));
  EXPECT_THAT(Text(ids::kOutputWindow).toStdString(), HasSubstr("Tower 2"));

  // A command typed with real key events and sent with Enter.
  const size_t mark = LinesReceived();
  auto* entry = Control<QLineEdit>(ids::kCommandEntry);
  entry->setFocus();
  QTest::keyClicks(entry, "name Tower");
  QTest::keyClick(entry, Qt::Key_Return);
  EXPECT_EQ(entry->text(), "") << "the entry is emptied once sent";
  ASSERT_TRUE(WaitFor([&] { return Text(ids::kName) == "Tower"; }, 5s)) << Text(ids::kName).toStdString();
  const auto sent = LinesSince(mark);
  ASSERT_EQ(sent.size(), 1u) << "one Enter sends one line";
  EXPECT_EQ(sent[0], "name Tower") << "the line goes out as typed";
  EXPECT_EQ(program_->Logic().StatusNameLine(), "Name: Tower");

  // A pasted text with a line break: its first line alone goes out, and a box says so.
  const size_t pasteMark = LinesReceived();
  const size_t boxesBefore = Boxes().size();
  entry->insert(QStringLiteral("ver\nstat"));
  QTest::keyClick(entry, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return !LinesSince(pasteMark).empty(); }, 5s));
  ASSERT_TRUE(WaitForUnitIdle());
  EXPECT_EQ(LinesSince(pasteMark), std::vector<std::string>{"ver"});
  ASSERT_EQ(Boxes().size(), boxesBefore + 1);
  EXPECT_THAT(Boxes().back().text, HasSubstr("Only its first line was sent"));

  Click(ids::kViewHistory);
  EXPECT_TRUE(Visible(ids::kHistoryList));
  EXPECT_FALSE(Visible(ids::kOutputWindow));
  Click(ids::kAddCurrent);
  Click(ids::kAddCurrent);
  auto* list = Control<QListWidget>(ids::kHistoryList);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), "(All)");

  // Selecting "(All)" with the mouse shows the report of every entry.
  const QRect allRow = list->visualItemRect(list->item(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, allRow.center());
  const std::string report = Text(ids::kReportPane).toStdString();
  EXPECT_THAT(report, HasSubstr("Tower"));
  EXPECT_GE(std::count(report.begin(), report.end(), '\n'), 20);
  EXPECT_EQ(report.find('\r'), std::string::npos) << "the pane shows one line break per line";
  Click(ids::kSaveHistory);
  EXPECT_EQ(ReadFile(dir_ / "History.txt"), report + "\n") << "each of the pane's lines, the last one empty";
  const std::string saved = ReadFile(dir_ / "VQXSU_Prefs.cfg");
  ASSERT_EQ(saved.size(), sizeof(PreferencesBlock)) << "adding to the History saves the preferences";
  EXPECT_EQ(std::string(saved.c_str() + offsetof(PreferencesBlock, portName)), "COM1")
      << "the demo's port is used for this run only, never stored";

  const size_t beforeClose = LinesReceived();
  program_->Window().close();
  EXPECT_TRUE(program_->IsShutDown());
  EXPECT_EQ(program_->Link().GetState(), LinkState::Closed);
  ASSERT_TRUE(program_->DemoUnit()->WaitFor(
      [](const sim::SimUnit& unit) { return unit.Mode() == sim::SimMode::Transparent; }, 3s));
  const auto atClose = LinesSince(beforeClose);
  ASSERT_EQ(atClose.size(), 2u);
  EXPECT_EQ(atClose[0], "ECHO ON");
  EXPECT_EQ(atClose[1], "TRAN");
}

TEST_F(DesktopTest, APrivateLinkedPreferencesFileStaysPrivateAndLinkedThroughAddRemoveAndReset) {
  auto prefs = std::make_unique<PreferencesBlock>();
  std::memset(prefs.get(), 0, sizeof(PreferencesBlock));
  prefs->formatMark = 17;
  prefs->view = kViewHistory;
  prefs->baudRate = 9600;
  prefs->dataBits = 8;
  prefs->stopBits = 1;
  prefs->parity = 'N';
  std::strcpy(prefs->portName, "COM1");
  std::strcpy(prefs->history[0].serialNumber, "OLD");
  prefs->historyCount = 1;
  std::filesystem::create_directories(dir_ / "private");
  const auto target = dir_ / "private" / "prefs.cfg";
  std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(prefs.get()), sizeof(PreferencesBlock));
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink("private/prefs.cfg", dir_ / "VQXSU_Prefs.cfg");
  const auto countInFile = [&] {
    const std::string file = ReadFile(target);
    int32_t count = -1;
    if (file.size() == sizeof(PreferencesBlock)) std::memcpy(&count, file.data() + 86364, sizeof(count));
    return count;
  };
  const auto keptPrivateAndLinked = [&] {
    return std::filesystem::is_symlink(dir_ / "VQXSU_Prefs.cfg") &&
           std::filesystem::status(target).permissions() ==
               (std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  };

  StartDemo();
  ASSERT_TRUE(WaitForUnitIdle());
  // While it runs, vqxctl can tell that the file is in use.
  EXPECT_TRUE(CreateSystemFileStore(dir_.string())->HeldByAnotherProgram("VQXSU_Prefs.cfg"));

  Click(ids::kAddCurrent);
  EXPECT_EQ(countInFile(), 2);
  EXPECT_TRUE(keptPrivateAndLinked());
  auto* list = Control<QListWidget>(ids::kHistoryList);
  ASSERT_EQ(list->count(), 3);
  list->setCurrentRow(1);
  Click(ids::kRemove);
  EXPECT_EQ(countInFile(), 1) << "a removal is saved at once";
  EXPECT_TRUE(keptPrivateAndLinked());
  program_->Window().MenuAction(ids::kMenuReset)->trigger();
  EXPECT_TRUE(keptPrivateAndLinked());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(CreateSystemFileStore(dir_.string())->HeldByAnotherProgram("VQXSU_Prefs.cfg"))
      << "held again after its own saves";
}

TEST_F(DesktopTest, UpdateSettingsSendsTheFormSavesWaitsForTheRebootAndReadsAgain) {
  StartDemo(1000);
  ASSERT_TRUE(WaitForUnitIdle());

  TypeInto(ids::kName, "Relay-7");
  Choose(ids::kVocoder, "ADPCM 32Kbps");
  TypeInto(ids::kIp4, "41");
  TypeInto(ids::kTxDelay, "150");
  Click(ids::kAllowTelnet);
  const size_t mark = LinesReceived();
  Click(ids::kUpdateSettings);
  ASSERT_TRUE(WaitFor([&] { return program_->Logic().GetStatusState() == kStatusRebootWait; }, 5s));
  EXPECT_EQ(program_->Logic().StatusSentence(), "Waiting for VQX-2 to reboot (please wait)");
  const auto sent = LinesSince(mark);
  EXPECT_THAT(sent, Contains("NAME Relay-7"));
  EXPECT_THAT(sent, Contains("VOCODER 4"));
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), "SAVE");
  // vqxsu.exe must send these same lines for this change (its suite under Wine reads the
  // file too): the file holds what this program sends.
  std::vector<std::string> expected;
  std::istringstream wireLines(ReadFile(VQX_UPDATE_WIRE_LINES));
  for (std::string line; std::getline(wireLines, line);) expected.push_back(line);
  EXPECT_EQ(sent, expected);

  // Timer 2 ends the wait after ten seconds; then the unit is read anew.
  ASSERT_TRUE(WaitFor([&] { return program_->Logic().GetStatusState() != kStatusRebootWait; }, 12s));
  ASSERT_TRUE(WaitForUnitIdle(20s));
  EXPECT_EQ(Text(ids::kName), "Relay-7");
  EXPECT_EQ(Text(ids::kVocoder), "ADPCM 32Kbps");
  EXPECT_EQ(Text(ids::kIp4), "41");
  EXPECT_EQ(Text(ids::kTxDelay), "150");
  EXPECT_EQ(program_->DemoUnit()->SavedSettings().TextOf("NAME"), "Relay-7");
}

TEST_F(DesktopTest, SerialPortDialogStaysOpenOnABadPortAndCancelStoresNothing) {
  StartDemo();
  const std::string demoPort = program_->DemoUnit()->SlavePath();
  bool checked = false;
  QTimer::singleShot(0, [&] {
    QDialog* dialog = program_->OpenSerialPortDialog();
    ASSERT_NE(dialog, nullptr);
    auto* name = qobject_cast<QLineEdit*>(program_->Dialogs().Control(ids::kSerialPortName));
    EXPECT_EQ(name->text().toStdString(), demoPort);
    // What the template cannot say: the ports found, offered as the user types and shown
    // as the box's tip, and the name's length the preferences file holds.
    EXPECT_EQ(name->maxLength(), kPortNameCapacity);
    EXPECT_EQ(name->toolTip(), "Serial ports found:\n/dev/ttyUSB0\n/dev/ttyS0");
    ASSERT_NE(name->completer(), nullptr);
    EXPECT_EQ(name->completer()->model()->rowCount(), 2);
    EXPECT_EQ(name->completer()->caseSensitivity(), Qt::CaseInsensitive);
    EXPECT_TRUE(qobject_cast<QPushButton*>(program_->Dialogs().Control(ids::kDialogOk))->isDefault());
    EXPECT_FALSE(qobject_cast<QPushButton*>(program_->Dialogs().Control(ids::kSerialDetect))->autoDefault())
        << "Enter is OK's, never Detect's";
    EXPECT_EQ(qobject_cast<QComboBox*>(program_->Dialogs().Control(ids::kSerialBaudRate))->currentText(), "9600");
    EXPECT_EQ(qobject_cast<QComboBox*>(program_->Dialogs().Control(ids::kSerialDataBits))->currentText(), "8");
    EXPECT_EQ(qobject_cast<QComboBox*>(program_->Dialogs().Control(ids::kSerialStopBits))->currentText(), "1");
    EXPECT_EQ(qobject_cast<QComboBox*>(program_->Dialogs().Control(ids::kSerialParity))->currentText(), "None");

    program_->ShowSerialPortDialog();  // the menu item again while open: nothing happens
    EXPECT_EQ(program_->OpenSerialPortDialog(), dialog);

    const std::string badPort = "/dev/serial/by-id/usb-VQX_no_such_adapter-if00-port0";
    name->setText(QString::fromStdString(badPort));
    auto* parity = qobject_cast<QComboBox*>(program_->Dialogs().Control(ids::kSerialParity));
    parity->setCurrentIndex(parity->findText("Odd"));
    QTest::mouseClick(qobject_cast<QAbstractButton*>(program_->Dialogs().Control(ids::kDialogOk)), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible()) << "a port that did not open keeps the dialog open";
    const std::string saved = ReadFile(dir_ / "VQXSU_Prefs.cfg");
    EXPECT_EQ(saved.size(), sizeof(PreferencesBlock));
    EXPECT_EQ(std::string(saved.c_str() + offsetof(PreferencesBlock, portName)), badPort);
    EXPECT_EQ(saved[offsetof(PreferencesBlock, parity)], 'O');
    QTest::mouseClick(qobject_cast<QAbstractButton*>(program_->Dialogs().Control(ids::kDialogCancel)), Qt::LeftButton);
    checked = true;
  });
  program_->Window().MenuAction(ids::kMenuSelectSerialPort)->trigger();
  ASSERT_TRUE(checked);
  EXPECT_EQ(program_->OpenSerialPortDialog(), nullptr);
  EXPECT_EQ(program_->Link().GetState(), LinkState::Closed);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, MessageOwner::Dialog);
  EXPECT_THAT(boxes[0].text, StartsWith("The serial port could not be opened\r"));
  EXPECT_THAT(boxes[0].text, HasSubstr("exist"));

  // The port is closed after the failed choice: the panel says so, Update and Attention
  // say why they cannot act, and no reboot wait starts.
  EXPECT_EQ(program_->Logic().StatusSentence(), "Serial port not open");
  TypeInto(ids::kName, "Relay-7");
  program_->Logic().OnCommand(ids::kUpdateSettings, kBnClicked);
  program_->Logic().OnCommand(ids::kAttention, kBnClicked);
  const char* notOpen = "The serial port is not open. Choose a port with File, Select Serial Port...";
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[1].text, notOpen);
  EXPECT_EQ(Boxes()[2].text, notOpen);
  EXPECT_EQ(program_->Logic().GetStatusState(), kStatusPortNotOpen);

  // Cancel right away stores nothing.
  const std::string before = ReadFile(dir_ / "VQXSU_Prefs.cfg");
  QTimer::singleShot(0, [&] {
    QDialog* dialog = program_->OpenSerialPortDialog();
    ASSERT_NE(dialog, nullptr);
    qobject_cast<QLineEdit*>(program_->Dialogs().Control(ids::kSerialPortName))->setText("/dev/ttyS7");
    dialog->reject();
  });
  program_->Window().MenuAction(ids::kMenuSelectSerialPort)->trigger();
  EXPECT_EQ(ReadFile(dir_ / "VQXSU_Prefs.cfg"), before);
}

TEST_F(DesktopTest, PortThatCannotBeOpenedWarnsBeforeTheWindowAppearsAndStaysInStatus1) {
  PreferencesBlock prefs{};
  prefs.formatMark = 17;
  prefs.view = kViewTerminal;
  prefs.baudRate = 9600;
  prefs.dataBits = 8;
  prefs.stopBits = 1;
  prefs.parity = 'N';
  std::strcpy(prefs.portName, "/dev/vqx-test-missing-port");
  {
    std::ofstream out(dir_ / "VQXSU_Prefs.cfg", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&prefs), sizeof prefs);
  }
  ProgramOptions options;
  options.dataDirectory = dir_.string();
  Start(std::move(options));

  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, MessageOwner::None);
  EXPECT_EQ(boxes[0].caption, "VQX Setup Utility");
  EXPECT_THAT(boxes[0].text, StartsWith("The serial port could not be opened\r"));
  EXPECT_FALSE(windowVisibleAtBox_[0]) << "the warning comes before the main window";
  EXPECT_TRUE(program_->Window().isVisible());
  EXPECT_EQ(program_->Logic().StatusSentence(), "Serial port not open");
  EXPECT_EQ(program_->Logic().StatusNameLine(), "");
  EXPECT_TRUE(Control<QAbstractButton>(ids::kViewTerminal)->isChecked()) << "the stored view";
  EXPECT_TRUE(Visible(ids::kOutputWindow));
  EXPECT_EQ(program_->Window().focusWidget(), Control(ids::kCommandEntry));

  // The menus: About shows its three lines over the main window; Manual is greyed.
  program_->Window().MenuAction(ids::kMenuAbout)->trigger();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].owner, MessageOwner::MainWindow);
  EXPECT_THAT(Boxes()[1].text, StartsWith("VQX Setup Utility\rVersion 1.3 (Build 7)\r"));
  EXPECT_THAT(Boxes()[1].text, EndsWith("\rPreferences file:\r" + (dir_ / "VQXSU_Prefs.cfg").string()));
  EXPECT_EQ(Boxes()[1].icon, MessageIcon::Information);
  EXPECT_FALSE(program_->Window().MenuAction(ids::kMenuManual)->isEnabled());

  program_->Window().close();
  EXPECT_TRUE(program_->IsShutDown());
}

TEST_F(DesktopTest, ClosingWhileTheUnitIsBeingReadEndsAtOnceWithThePortClosed) {
  // The unit's replies at 9600 baud, as on a real line: the read lasts long enough to be
  // caught in the middle (an unpaced unit is read between two looks of this thread).
  ProgramOptions options;
  options.demo = true;
  options.dataDirectory = dir_.string();
  options.tuneDemoUnit = [](sim::SimConfig& config) {
    config.faults.pace = true;
    config.hostBaud = 9600;
  };
  Start(std::move(options));
  ASSERT_TRUE(WaitFor([&] { return program_->Logic().GetStatusState() == kStatusQuerying; }, 15s));
  QTest::qWait(30);  // in the middle of the read, the worker filling the form
  const auto start = std::chrono::steady_clock::now();
  program_->Window().close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(program_->IsShutDown());
  EXPECT_EQ(program_->Link().GetState(), LinkState::Closed);
  EXPECT_EQ(program_->Queue().Pending(), 0u) << "every call of the worker was served";
  // The query in flight was answered first, then ECHO ON and TRAN, and nothing after.
  EXPECT_EQ(program_->DemoUnit()->Mode(), sim::SimMode::Transparent);
  const auto lines = program_->DemoUnit()->ReceivedLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "ECHO ON");
  EXPECT_EQ(lines.back(), "TRAN");
  EXPECT_EQ(program_->DemoUnit()->WithUnit([](const sim::SimUnit& u) { return u.ForwardedBytes(); }), "");
}

TEST_F(DesktopTest, FileExitEndsTheProgramLikeTheCloseBox) {
  StartDemo();
  ASSERT_TRUE(WaitForUnitIdle());
  const size_t mark = LinesReceived();
  program_->Window().MenuAction(ids::kMenuExit)->trigger();
  EXPECT_TRUE(program_->IsShutDown());
  EXPECT_FALSE(program_->Window().isVisible());
  ASSERT_TRUE(program_->DemoUnit()->WaitFor(
      [](const sim::SimUnit& unit) { return unit.Mode() == sim::SimMode::Transparent; }, 3s));
  const auto sent = LinesSince(mark);
  ASSERT_EQ(sent.size(), 2u) << "Shutdown runs once";
  EXPECT_EQ(sent[0], "ECHO ON");
  EXPECT_EQ(sent[1], "TRAN");
}

TEST_F(DesktopTest, AnAdapterPulledOutMidReadShowsPortNotOpenAndWarnsThatThePortWasLost) {
  StartDemo();
  // The event loop runs meanwhile: the worker fills the form through it.
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto lines = LinesSince(0);
        return std::find(lines.begin(), lines.end(), "MAC") != lines.end();
      },
      std::chrono::milliseconds(2 * kEscapeGuardMs + 2 * kReplyTimeoutMs)));
  program_->DemoUnit()->CloseLine();
  // The loss is seen at the next poll; the warning comes from the user-interface thread.
  ASSERT_TRUE(WaitFor([&] { return !Boxes().empty(); }, std::chrono::milliseconds(kReplyTimeoutMs)));
  EXPECT_EQ(program_->Logic().GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(program_->Logic().StatusSentence(), "Serial port not open");
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("was lost"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  // No "not responding" follows, however long one waits.
  QTest::qWait(static_cast<int>(kReplyTimeoutMs) + 500);
  EXPECT_EQ(program_->Logic().GetStatusState(), kStatusPortNotOpen);
  EXPECT_EQ(Boxes().size(), 1u);
}

// A unit that talks without pause and without line breaks (relayed data, another baud
// rate): the window stays bounded and answers, the close still sends ECHO ON and TRAN in
// case the unit heard the escape, and it takes no longer than the leave's bound.
// ThreadSanitizer slows the laying out of a flooded text window several times over.
#if defined(__SANITIZE_THREAD__)
constexpr int kLayoutSlowdown = 4;
#else
constexpr int kLayoutSlowdown = 1;
#endif
TEST_F(DesktopTest, AUnitTalkingWithoutLineBreaksNeitherFreezesTheWindowNorKeepsItFromClosing) {
  ProgramOptions options;
  options.demo = true;
  options.dataDirectory = dir_.string();
  options.tuneDemoUnit = [](sim::SimConfig& config) { config.faults.babble = true; };
  Start(std::move(options));
  // The escape, both probes unanswered: "not responding", with the stream still going.
  ASSERT_TRUE(WaitFor([&] { return program_->Logic().GetStatusState() == kStatusNotResponding; },
                      std::chrono::milliseconds(2 * kEscapeGuardMs + 3 * kReplyTimeoutMs)));
  QTest::qWait(2000);
  auto* output = Control<QPlainTextEdit>(ids::kOutputWindow);
  ASSERT_NE(output, nullptr);
  EXPECT_GT(output->document()->characterCount(), 10000);
  EXPECT_LE(output->blockCount(), kOutputLines);
  EXPECT_LE(static_cast<size_t>(output->document()->characterCount()),
            static_cast<size_t>(kOutputLines) * (kOutputColumns + 1));
  EXPECT_FALSE(output->document()->isUndoRedoEnabled()) << "an undo history would keep every append";

  // The window still answers, well within what the unit itself may take for a reply
  // (a frozen window took minutes; a ThreadSanitizer build on a busy machine nearly four
  // seconds).
  const auto clickStart = std::chrono::steady_clock::now();
  Control<QAbstractButton>(ids::kViewTerminal)->click();
  QTest::qWait(1);
  EXPECT_LT(std::chrono::steady_clock::now() - clickStart,
            std::chrono::milliseconds(kLayoutSlowdown * kReplyTimeoutMs));

  const size_t mark = LinesReceived();
  const auto start = std::chrono::steady_clock::now();
  program_->Window().close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(CAppWindow::LeaveLimitMs()));
  const auto sent = LinesSince(mark);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2], "ECHO ON");
  EXPECT_EQ(sent.back(), "TRAN");
  EXPECT_TRUE(Boxes().empty()) << "a unit that never answered is not guessed to be in command mode";
}

}  // namespace
}  // namespace vqx::desktop::testing
