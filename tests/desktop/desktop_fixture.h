#pragma once

// The desktop program against the simulated unit on a pseudo-terminal, with its data
// in a temporary directory and its message boxes answered and recorded.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include "desktop_program.h"
#include "runner/sim_runner.h"
#include "window/control_ids.h"

namespace vqx::desktop::testing {

class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest() {
    dir_ = std::filesystem::temp_directory_path() /
           ("vqxsu-gui-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
  }
  ~DesktopTest() override {
    // While program_ still points at the program: the stop may show a box, whose answerer
    // looks at the window.
    if (program_) program_->Shutdown();
    program_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Starts the program with the simulated unit inside it (as --demo does).
  void StartDemo(int rebootMs = 1500) {
    ProgramOptions options;
    options.demo = true;
    options.dataDirectory = dir_.string();
    options.tuneDemoUnit = [rebootMs](sim::SimConfig& config) {
      config.rebootMs = static_cast<uint32_t>(rebootMs);
      config.settings.Load(*sim::SettingsModel::Find("NAME"), "Tower 2");
    };
    options.listPorts = [] { return std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyS0"}; };
    Start(std::move(options));
  }

  void Start(ProgramOptions options) {
    program_ = std::make_unique<DesktopProgram>(std::move(options));
    program_->Surface().SetMessageBoxAnswerer([this](const QtWindowSurface::MessageBoxRecord& box) {
      std::lock_guard lock(boxMutex_);
      boxes_.push_back(box);
      windowVisibleAtBox_.push_back(program_->Window().isVisible());
      return 1;
    });
    std::string error;
    ASSERT_TRUE(program_->Start(&error)) << error;
  }

  // Lets the event loop run (the worker's calls, timers, painting) until done holds.
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
  }
  bool WaitForUnitIdle(std::chrono::milliseconds limit = std::chrono::seconds(25)) {
    return WaitFor([&] { return program_->Logic().IsUnitIdle(); }, limit);
  }

  template <typename W = QWidget>
  W* Control(int id) {
    return qobject_cast<W*>(program_->Window().Controls().at(id));
  }
  void Click(int id) {
    auto* button = Control<QAbstractButton>(id);
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void TypeInto(int id, const QString& text) {
    auto* edit = Control<QLineEdit>(id);
    ASSERT_NE(edit, nullptr) << id;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  void Choose(int id, const QString& item) {
    auto* combo = Control<QComboBox>(id);
    ASSERT_NE(combo, nullptr) << id;
    const int index = combo->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    combo->setCurrentIndex(index);
  }
  QString Text(int id) {
    QWidget* w = program_->Window().Controls().at(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->toPlainText();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    return {};
  }
  bool Visible(int id) { return program_->Window().Controls().at(id)->isVisible(); }

  std::vector<std::string> LinesSince(size_t mark) const {
    const auto all = program_->DemoUnit()->ReceivedLines();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(mark, all.size())), all.end()};
  }
  size_t LinesReceived() const { return program_->DemoUnit()->ReceivedLines().size(); }

  std::vector<QtWindowSurface::MessageBoxRecord> Boxes() {
    std::lock_guard lock(boxMutex_);
    return boxes_;
  }

  inline static int counter_ = 0;
  std::filesystem::path dir_;
  std::unique_ptr<DesktopProgram> program_;
  std::mutex boxMutex_;
  std::vector<QtWindowSurface::MessageBoxRecord> boxes_;
  std::vector<bool> windowVisibleAtBox_;
};

}  // namespace vqx::desktop::testing
