// The remote connection dialogs in the desktop program against the simulated unit: the
// status panel's shortcut names the unconnected peer, the File menu's list edits it, and
// every change reaches the preferences file at once and the panel at its next paint.

#include <gmock/gmock.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include <QImage>
#include <QTimer>

#include "app/preferences_block.h"
#include "desktop/desktop_fixture.h"
#include "qt_dialog_host.h"

namespace vqx::desktop::testing {
namespace {

using namespace std::chrono_literals;

std::string ReadPrefs(const std::filesystem::path& dir) {
  std::ifstream in(dir / "VQXSU_Prefs.cfg", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ConnectionsDialogTest : public DesktopTest {
 protected:
  // The simulated unit reports that it is connected to 10.1.2.3.
  void StartConnectedDemo() {
    ProgramOptions options;
    options.demo = true;
    options.dataDirectory = dir_.string();
    options.tuneDemoUnit = [](sim::SimConfig& config) {
      config.peer.status = sim::PeerStatus::Connected;
      config.peer.address = {10, 1, 2, 3};
    };
    Start(std::move(options));
  }
  QtDialogHost& Host() { return program_->Dialogs(); }
  template <typename W = QWidget>
  W* DialogControl(int id) {
    return qobject_cast<W*>(Host().Control(id));
  }
  void TypeInDialog(int id, const QString& text) {
    auto* edit = DialogControl<QLineEdit>(id);
    ASSERT_NE(edit, nullptr) << id;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  void ClickInDialog(int id) {
    auto* button = DialogControl<QAbstractButton>(id);
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QImage StatusUpperHalf() {
    QTest::qWait(50);
    return program_->Window().Client()->grab().toImage().copy(program_->Window().Status().upper);
  }
};

TEST_F(ConnectionsDialogTest, DoubleClickOnThePanelNamesThePeerAndAnEditFromTheFileMenuRenamesIt) {
  StartConnectedDemo();
  ASSERT_TRUE(WaitForUnitIdle());
  ASSERT_EQ(program_->Logic().StatusSentence(), "VQX-2 connected to 10.1.2.3");
  ASSERT_EQ(program_->Window().StatusMenuItems().size(), 2u);
  EXPECT_EQ(program_->Window().StatusMenuItems()[0].text, "Name this unit...");
  const QImage unnamed = StatusUpperHalf();

  // Double-click on the panel: the Add Connection dialog with the peer's address.
  bool named = false;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(Host().OpenDialog(), nullptr);
    EXPECT_EQ(Host().OpenDialog()->windowTitle(), "Add Connection");
    EXPECT_EQ(DialogControl<QLineEdit>(ids::kConnectionIp1)->text(), "10");
    EXPECT_EQ(DialogControl<QLineEdit>(ids::kConnectionIp4)->text(), "3");
    TypeInDialog(ids::kConnectionDescription, "Relay North");
    ClickInDialog(ids::kDialogOk);
    named = true;
  });
  QWidget* statusBox = program_->Window().Controls().at(ids::kStatusGroup);
  const QPoint onPanel = statusBox->mapFrom(program_->Window().Client(), program_->Window().Status().area.center());
  QTest::mouseDClick(statusBox, Qt::LeftButton, Qt::NoModifier, onPanel);
  ASSERT_TRUE(named);
  EXPECT_EQ(Host().OpenDialog(), nullptr);
  EXPECT_EQ(program_->Logic().StatusSentence(), "VQX-2 connected to Relay North");
  EXPECT_EQ(program_->Window().StatusMenuItems().size(), 1u) << "a named peer is not offered again";
  std::string saved = ReadPrefs(dir_);
  ASSERT_EQ(saved.size(), sizeof(PreferencesBlock));
  EXPECT_EQ(saved.substr(277, 9), std::string("10.1.2.3\0", 9));
  EXPECT_EQ(saved.substr(4373, 12), std::string("Relay North\0", 12));
  int32_t count;
  std::memcpy(&count, saved.data() + 20760, 4);
  EXPECT_EQ(count, 1);
  const QImage named1 = StatusUpperHalf();
  EXPECT_NE(named1, unnamed) << "the panel was redrawn with the name";

  // File, Remote Connections...: double-click the entry, change its description.
  bool edited = false;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(Host().OpenDialog(), nullptr);
    EXPECT_EQ(Host().OpenDialog()->windowTitle(), "Remote Connections");
    auto* list = DialogControl<QListWidget>(ids::kConnectionList);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "10.1.2.3  Relay North");
    EXPECT_FALSE(DialogControl(ids::kConnectionEdit)->isEnabled());
    QTimer::singleShot(0, [&] {
      EXPECT_EQ(Host().OpenDialog()->windowTitle(), "Edit Connection");
      EXPECT_EQ(DialogControl<QLineEdit>(ids::kConnectionDescription)->text(), "Relay North");
      TypeInDialog(ids::kConnectionDescription, "Relay North (mast 2)");
      QTest::keyClick(DialogControl(ids::kConnectionDescription), Qt::Key_Return);  // the default button
      edited = true;
    });
    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    EXPECT_EQ(Host().OpenDialog()->windowTitle(), "Remote Connections");
    EXPECT_EQ(list->item(0)->text(), "10.1.2.3  Relay North (mast 2)");
    QTest::keyClick(Host().OpenDialog(), Qt::Key_Escape);  // Esc closes the list
  });
  program_->Window().MenuAction(ids::kMenuRemoteConnections)->trigger();
  ASSERT_TRUE(edited);
  EXPECT_EQ(Host().OpenDialog(), nullptr);
  EXPECT_EQ(program_->Logic().StatusSentence(), "VQX-2 connected to Relay North (mast 2)");
  saved = ReadPrefs(dir_);
  EXPECT_EQ(saved.substr(4373, 21), std::string("Relay North (mast 2)\0", 21));
  EXPECT_NE(StatusUpperHalf(), named1);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ConnectionsDialogTest, AnInvalidEntryKeepsTheDialogOpenWithAWarningOverIt) {
  StartConnectedDemo();
  bool checked = false;
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] {
      EXPECT_EQ(Host().OpenDialog()->windowTitle(), "Add Connection");
      TypeInDialog(ids::kConnectionIp1, "300");
      EXPECT_EQ(Host().OpenDialog()->focusWidget(), DialogControl(ids::kConnectionIp2)) << "the third digit moves on";
      TypeInDialog(ids::kConnectionIp2, "0");
      TypeInDialog(ids::kConnectionIp3, "0");
      TypeInDialog(ids::kConnectionIp4, "1");
      TypeInDialog(ids::kConnectionDescription, "Bad");
      ClickInDialog(ids::kDialogOk);
      EXPECT_EQ(Host().OpenDialog()->windowTitle(), "Add Connection") << "still open";
      ClickInDialog(ids::kDialogCancel);
      checked = true;
    });
    ClickInDialog(ids::kConnectionAdd);
    ClickInDialog(ids::kDialogClose);
  });
  program_->Window().MenuAction(ids::kMenuRemoteConnections)->trigger();
  ASSERT_TRUE(checked);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, MessageOwner::Dialog);
  EXPECT_EQ(boxes[0].text, "The first number of the IP address, 300, is not a number from 0 to 255.");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "VQXSU_Prefs.cfg")) << "nothing stored, nothing saved";
}

}  // namespace
}  // namespace vqx::desktop::testing
