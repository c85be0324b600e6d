// The shared host over the headless surface and a recording front-end, with the worker on
// its own thread, against the simulated unit, in real time. The test thread plays the
// user-interface thread: the worker's reads and writes of controls come to it through the
// call queue, as they do in both programs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop_host.h"
#include "runner/sim_runner.h"
#include "support/memory_files.h"
#include "support/scripted_dialog_host.h"
#include "system_port.h"
#include "ui_call_queue.h"
#include "window/control_ids.h"
#include "window/forwarding_surface.h"
#include "window/headless_surface.h"

namespace vqx::desktop {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::StartsWith;

// Reads and writes of controls from the worker wait for the user-interface thread, as
// the Qt and Win32 surfaces make them: a stop that does not serve them never ends.
class QueuedSurface final : public ForwardingSurface {
 public:
  QueuedSurface(UiCallQueue& queue, IWindowSurface& inner) : ForwardingSurface(inner), queue_(queue) {}
  void SetText(int id, const char* text) override {
    const std::string copy = text;
    Marshal([&] { ForwardingSurface::SetText(id, copy.c_str()); });
  }
  size_t GetText(int id, char* buffer, size_t size) override {
    size_t length = 0;
    Marshal([&] { length = ForwardingSurface::GetText(id, buffer, size); });
    return length;
  }
  int served() const { return served_.load(); }

 private:
  void Marshal(const std::function<void()>& fn) {
    if (queue_.OnOwnerThread()) {
      fn();
      return;
    }
    queue_.Call([&] {
      ++served_;
      fn();
    });
  }
  UiCallQueue& queue_;
  std::atomic<int> served_{0};
};

class RecordingView final : public ISerialPortDialogView {
 public:
  void ShowDetectionProgress(const std::string& text) override { progress.push_back(text); }
  void DetectionEnded(const HostSerialChoice* choice, const std::string& text) override {
    if (choice != nullptr) found = *choice;
    ended = text;
  }
  std::vector<std::string> progress;
  std::optional<HostSerialChoice> found;
  std::optional<std::string> ended;
};

class RecordingFrontEnd final : public IDesktopFrontEnd {
 public:
  std::unique_ptr<IWindowSurface> CreateSurface(UiCallQueue& queue) override {
    events.push_back("surface");
    auto made = std::make_unique<QueuedSurface>(queue, headless);
    surface = made.get();
    return made;
  }
  std::unique_ptr<IDialogHost> CreateDialogHost(IWindowSurface&) override {
    events.push_back("dialog host");
    return std::make_unique<testing::ScriptedDialogHost>();
  }
  void ShowMainWindow() override { events.push_back("shown"); }
  void MainWindowFilled() override { events.push_back("filled"); }
  void CloseMainWindow() override {
    events.push_back("closed");
    if (onClose) onClose();
  }
  void StartPeriodicTimer(std::chrono::milliseconds period, std::function<void()> onTick) override {
    events.push_back("timer " + std::to_string(period.count()));
    tick = std::move(onTick);
  }
  void StopPeriodicTimer() override { events.push_back("timer stopped"); }
  void RunSerialPortDialog(SerialPortDialogRun& run) override {
    events.push_back("serial port dialog");
    if (dialog) dialog(run);
  }
  bool OtherDialogOpen() const override { return otherDialogOpen; }

  HeadlessSurface headless;
  QueuedSurface* surface = nullptr;
  std::vector<std::string> events;
  std::function<void()> tick;
  std::function<void()> onClose;
  std::function<void(SerialPortDialogRun&)> dialog;
  bool otherDialogOpen = false;
};

class DesktopHostTest : public ::testing::Test {
 protected:
  DesktopHostTest() {
    sim::SimConfig config;
    config.rebootMs = 1500;
    sim_ = std::make_unique<sim::SimRunner>(std::move(config));
    std::string error;
    started_ = sim_->Start(&error);
    EXPECT_TRUE(started_) << error;
    frontEnd_.headless.SetMessageBoxAnswerer([](const HeadlessSurface::MessageBoxRecord&) { return kAnswerOk; });
  }
  ~DesktopHostTest() override {
    host_.reset();
    if (sim_) sim_->Stop();
  }

  void StartHost() {
    ASSERT_TRUE(started_);
    HostServices services{SystemClock(), files_, wallClock_, nullptr,
                          [this] { return sim_->CreateHostPort(); },
                          [this] { return std::vector<std::string>{sim_->SlavePath()}; }};
    host_ = std::make_unique<DesktopHost>(frontEnd_, queue_, std::move(services));
    host_->Build(sim_->CreateHostPort());
    host_->Logic().SetPortOverride(sim_->SlavePath().c_str());
    host_->Start();
  }

  // Serves the worker's calls, as the message loop does, until done or the limit.
  bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      queue_.Drain();
      queue_.WaitForWork(5ms);
    }
    return done();
  }
  bool ReadToTheEnd() { return Serve([&] { return host_->Logic().IsUnitIdle(); }, 20s); }
  bool UnitTransparent() {
    return sim_->WaitFor([](const sim::SimUnit& unit) { return unit.Mode() == sim::SimMode::Transparent; }, 5s);
  }
  std::vector<std::string> LinesSince(size_t mark) const {
    const auto all = sim_->ReceivedLines();
    return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
  }

  UiCallQueue queue_{[] {}};
  testing::MemoryFileStore files_;
  testing::FixedWallClock wallClock_;
  RecordingFrontEnd frontEnd_;
  std::unique_ptr<sim::SimRunner> sim_;
  bool started_ = false;
  std::unique_ptr<DesktopHost> host_;
};

// File/Exit: the worker is out with its calls served, the unit is told ECHO ON and TRAN
// from this thread, the port is closed, and only then does the window go.
TEST_F(DesktopHostTest, ExitReturnsTheUnitToTransparentModeBeforeTheWindowGoes) {
  StartHost();
  ASSERT_TRUE(ReadToTheEnd());
  EXPECT_GT(frontEnd_.surface->served(), 0) << "the read's control updates came through the queue";
  EXPECT_TRUE(host_->Worker().Running());

  bool workerRanAtClose = true;
  LinkState linkAtClose = LinkState::Idle;
  size_t linesAtClose = 0;
  frontEnd_.onClose = [&] {
    workerRanAtClose = host_->Worker().Running();
    linkAtClose = host_->Link().GetState();
    linesAtClose = sim_->ReceivedLines().size();
  };
  const size_t mark = sim_->ReceivedLines().size();
  host_->OnCommand(ids::kMenuExit, kBnClicked);

  EXPECT_TRUE(host_->IsShutDown());
  EXPECT_FALSE(workerRanAtClose);
  EXPECT_EQ(linkAtClose, LinkState::Closed);
  EXPECT_TRUE(UnitTransparent());
  const auto lines = LinesSince(mark);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()), ElementsAre("ECHO ON", "TRAN"));
  EXPECT_GE(linesAtClose, mark + 2) << "the window went before the unit was returned";
  EXPECT_THAT(frontEnd_.events, ElementsAre("surface", "dialog host", "shown", "filled", "timer 250",
                                            "timer stopped", "closed"));

  // Nothing after the stop reaches the logic or the unit again.
  host_->OnCommand(ids::kMenuSelectSerialPort, kBnClicked);
  host_->Shutdown();
  EXPECT_EQ(frontEnd_.events.back(), "closed");
  EXPECT_EQ(sim_->ReceivedLines().size(), lines.size() + mark);
}

// Detect in the serial port dialog: the worker hands the port over, the search finds the
// unit and says so in the dialog, OK stores it, and the worker reads the unit again.
TEST_F(DesktopHostTest, DetectFindsTheUnitAndTheWorkerReadsItAgainAfterOk) {
  StartHost();
  ASSERT_TRUE(ReadToTheEnd());
  RecordingView view;
  bool applied = false;
  bool workerRanDuringSearch = true;
  frontEnd_.dialog = [&](SerialPortDialogRun& run) {
    EXPECT_EQ(run.stored.portName, sim_->SlavePath());
    EXPECT_THAT(run.portsFound, ElementsAre(sim_->SlavePath()));
    EXPECT_FALSE(run.detectAtOnce);
    run.viewChanged(&view);
    run.startDetection(run.stored.portName);
    workerRanDuringSearch = host_->Worker().Running();
    EXPECT_TRUE(Serve([&] { return view.ended.has_value(); }, 30s));
    if (view.found) applied = run.apply(*view.found);
    run.viewChanged(nullptr);
  };
  host_->OnCommand(ids::kMenuSelectSerialPort, kBnClicked);

  EXPECT_FALSE(workerRanDuringSearch);
  ASSERT_FALSE(view.progress.empty());
  EXPECT_THAT(view.progress.front(), StartsWith("Trying "));
  ASSERT_TRUE(view.ended.has_value());
  EXPECT_EQ(*view.ended, "Found at 9600 8N1. OK stores it.");
  ASSERT_TRUE(view.found.has_value());
  EXPECT_EQ(view.found->portName, sim_->SlavePath());
  EXPECT_EQ(view.found->baudRate, 9600);
  EXPECT_TRUE(applied);
  EXPECT_FALSE(host_->SerialPortDialogOpen());
  EXPECT_TRUE(host_->Worker().Running());
  EXPECT_TRUE(ReadToTheEnd());

  const size_t mark = sim_->ReceivedLines().size();
  host_->Shutdown();
  EXPECT_TRUE(UnitTransparent());
  EXPECT_THAT(LinesSince(mark), ::testing::Contains("TRAN"));
}

// A dialog closed while its search runs: the search is stopped and has ended before the
// dialog is gone, its end reaches the dialog, and the stored port and the worker return.
TEST_F(DesktopHostTest, ClosingTheDialogStopsTheSearchAndTheStoredPortComesBack) {
  StartHost();
  ASSERT_TRUE(ReadToTheEnd());
  RecordingView view;
  bool searchingAfterClose = true;
  frontEnd_.dialog = [&](SerialPortDialogRun& run) {
    run.viewChanged(&view);
    run.startDetection(run.stored.portName);
    EXPECT_TRUE(host_->Detecting());
    run.viewChanged(nullptr);
    searchingAfterClose = host_->Detecting();
  };
  host_->ShowSerialPortDialog();

  EXPECT_FALSE(searchingAfterClose);
  ASSERT_TRUE(view.ended.has_value());
  EXPECT_EQ(*view.ended, "Search stopped.");
  EXPECT_FALSE(view.found.has_value());
  EXPECT_TRUE(host_->Worker().Running());
  EXPECT_NE(host_->Link().GetState(), LinkState::Closed);
  EXPECT_TRUE(ReadToTheEnd());
  host_->Shutdown();
  EXPECT_TRUE(UnitTransparent());
}

// The offer of a search never opens the serial port dialog over another dialog or over
// itself, nor after the stop; the status panel's menu offers only the list after the stop.
TEST_F(DesktopHostTest, TheOfferWaitsForOtherDialogsAndTheMenuFollowsTheStop) {
  StartHost();
  ASSERT_TRUE(ReadToTheEnd());
  ASSERT_TRUE(frontEnd_.tick);
  frontEnd_.otherDialogOpen = true;
  frontEnd_.tick();
  frontEnd_.otherDialogOpen = false;
  frontEnd_.tick();  // a unit that answered offers nothing
  EXPECT_EQ(std::count(frontEnd_.events.begin(), frontEnd_.events.end(), "serial port dialog"), 0);

  const auto menu = host_->StatusPanelMenu();
  ASSERT_FALSE(menu.empty());
  EXPECT_EQ(menu.back().id, ids::kMenuRemoteConnections);
  host_->Shutdown();
  const auto after = host_->StatusPanelMenu();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_STREQ(after[0].text, "Remote Connections...");
  host_->OnStatusPanelDoubleClick();
  frontEnd_.tick();
  EXPECT_EQ(frontEnd_.events.back(), "timer stopped");
}

}  // namespace
}  // namespace vqx::desktop
