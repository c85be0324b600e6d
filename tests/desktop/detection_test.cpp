// vqxsu finding the unit's line settings: the Detect button of the serial port dialog,
// and the offer after a read that the unit did not answer. The simulated unit sits at
// 19200 baud while the program starts at its default 9600, so every byte of the first
// read reaches it garbled, in real time.

#include <gmock/gmock.h>

#include <QTimer>

#include <cstring>
#include <fstream>

#include "app/preferences_block.h"
#include "desktop/desktop_fixture.h"
#include "link/serial_comm.h"

namespace vqx::desktop::testing {
namespace {

using namespace std::chrono_literals;

// The escape at the wrong rate (two quiet times and two probe time-outs), the search's
// two tries and the read at the rate found, with room for a loaded machine.
constexpr auto kEscapeFailsWithin = std::chrono::milliseconds(2 * kEscapeGuardMs + 2 * kReplyTimeoutMs + 5000);
constexpr auto kSearchEndsWithin = std::chrono::milliseconds(2 * (2 * kEscapeGuardMs + kReplyTimeoutMs) + 10000);

class DetectionTest : public DesktopTest {
 protected:
  void StartDemoAt19200(bool answerOfferYes) {
    ProgramOptions options;
    options.demo = true;
    options.dataDirectory = dir_.string();
    options.tuneDemoUnit = [](sim::SimConfig& config) {
      config.rebootMs = 1500;
      config.line = sim::SerialFrame{19200, 8, 'N', 1};
      config.settings.Load(*sim::SettingsModel::Find("NAME"), "Tower 2");
    };
    options.listPorts = [] { return std::vector<std::string>{}; };
    Start(std::move(options));
    program_->Surface().SetMessageBoxAnswerer([this, answerOfferYes](const QtWindowSurface::MessageBoxRecord& box) {
      std::lock_guard lock(boxMutex_);
      boxes_.push_back(box);
      return answerOfferYes && box.text.rfind("The VQX-2 is not responding on ", 0) == 0 ? kAnswerYes : 1;
    });
  }

  // From inside the dialog's own event loop: once the search has found the unit, OK.
  void PressOkOnceFound(bool* found) {
    auto* poll = new QTimer(&program_->Window());
    QObject::connect(poll, &QTimer::timeout, [this, found, poll] {
      QDialog* dialog = program_->OpenSerialPortDialog();
      if (dialog == nullptr || program_->SerialDialogLogic()->Detecting()) return;
      const QString status = qobject_cast<QLabel*>(program_->Dialogs().Control(ids::kSerialDetectStatus))->text();
      if (!status.startsWith("Found")) return;
      *found = true;
      EXPECT_EQ(status.toStdString(), "Found at 19200 8N1. OK stores it.");
      EXPECT_EQ(qobject_cast<QComboBox*>(program_->Dialogs().Control(ids::kSerialBaudRate))->currentText(), "19200");
      poll->stop();
      QTest::mouseClick(qobject_cast<QAbstractButton*>(program_->Dialogs().Control(ids::kDialogOk)), Qt::LeftButton);
    });
    poll->start(50);
  }

  int32_t StoredBaudRate() {
    const std::string saved = ReadFile(dir_ / "VQXSU_Prefs.cfg");
    if (saved.size() != sizeof(PreferencesBlock)) return 0;
    int32_t baud = 0;
    std::memcpy(&baud, saved.data() + offsetof(PreferencesBlock, baudRate), sizeof baud);
    return baud;
  }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(DetectionTest, DetectFillsInTheUnitsRateAndOkStoresItAndReadsTheUnit) {
  StartDemoAt19200(false);
  bool found = false;
  PressOkOnceFound(&found);
  QTimer::singleShot(0, [&] {
    QDialog* dialog = program_->OpenSerialPortDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(qobject_cast<QAbstractButton*>(program_->Dialogs().Control(ids::kSerialDetect)), Qt::LeftButton);
    EXPECT_TRUE(program_->SerialDialogLogic()->Detecting());
    EXPECT_FALSE(program_->Dialogs().Control(ids::kDialogOk)->isEnabled()) << "the search holds the port";
  });
  program_->Window().MenuAction(ids::kMenuSelectSerialPort)->trigger();
  EXPECT_TRUE(found);
  EXPECT_EQ(program_->OpenSerialPortDialog(), nullptr);
  EXPECT_EQ(StoredBaudRate(), 19200);
  ASSERT_TRUE(WaitForUnitIdle(std::chrono::duration_cast<std::chrono::milliseconds>(kEscapeFailsWithin)));
  EXPECT_EQ(Text(ids::kName), "Tower 2");
}

TEST_F(DetectionTest, CancelStopsTheSearchAndTheStoredPortComesBack) {
  StartDemoAt19200(false);
  bool stopped = false;
  QTimer::singleShot(0, [&] {
    QDialog* dialog = program_->OpenSerialPortDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(qobject_cast<QAbstractButton*>(program_->Dialogs().Control(ids::kSerialDetect)), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] {
      return qobject_cast<QLabel*>(program_->Dialogs().Control(ids::kSerialDetectStatus))->text().startsWith("Trying 9600 8N1");
    }, 10s));
    // After the first "+++" has gone out: the escape the unit may be finishing is undone.
    QTest::qWait(static_cast<int>(kEscapeGuardMs) + 500);
    dialog->reject();  // Cancel while searching: the search stops, the dialog stays
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !program_->SerialDialogLogic()->Detecting(); }, std::chrono::milliseconds(3 * kReplyTimeoutMs)));
    stopped = qobject_cast<QLabel*>(program_->Dialogs().Control(ids::kSerialDetectStatus))->text().startsWith("Search stopped");
    dialog->reject();
  });
  program_->Window().MenuAction(ids::kMenuSelectSerialPort)->trigger();
  EXPECT_TRUE(stopped);
  EXPECT_NE(program_->Link().GetState(), LinkState::Closed) << "the stored port is open again";
  EXPECT_EQ(program_->DemoUnit()->Mode(), sim::SimMode::Transparent);
}

TEST_F(DetectionTest, UnansweredReadOffersTheSearchAndYesRunsIt) {
  StartDemoAt19200(true);
  bool found = false;
  PressOkOnceFound(&found);
  // The offer opens the dialog (and its loop) from the program's own timer.
  ASSERT_TRUE(WaitFor([&] { return found; }, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  kEscapeFailsWithin + kSearchEndsWithin)));
  const auto boxes = Boxes();
  ASSERT_FALSE(boxes.empty());
  // The offer names the port the read went out on (the demo unit's line).
  EXPECT_EQ(boxes[0].text, OfferDetectionText(program_->Logic().PortNameInUse()));
  EXPECT_NE(boxes[0].text.find(program_->DemoUnit()->SlavePath()), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(StoredBaudRate(), 19200);
  ASSERT_TRUE(WaitForUnitIdle(std::chrono::duration_cast<std::chrono::milliseconds>(kEscapeFailsWithin)));
  EXPECT_EQ(Text(ids::kName), "Tower 2");
}

}  // namespace
}  // namespace vqx::desktop::testing
