#pragma once

// The window logic on the headless surface, driven in one thread: the worker's passes
// are run by the test, the clock moves only when the test or the pacing sleep moves it.
//   AppScriptedTest: the link over a scripted port; the test writes the unit's bytes.
//   AppSimTest: the link over a port wired to the simulated unit.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/app_window.h"
#include "app/application.h"
#include "link/serial_comm.h"
#include "support/fake_link_parts.h"
#include "support/memory_files.h"
#include "support/scripted_dialog_host.h"
#include "support/sim_wired_port.h"
#include "window/control_ids.h"
#include "window/headless_surface.h"

namespace vqx::testing {

template <class Port>
class AppFixture : public ::testing::Test {
 protected:
  template <class... PortArgs>
  explicit AppFixture(PortArgs&&... portArgs) : port(std::forward<PortArgs>(portArgs)...) {
    comm.AttachHost(&window);
  }

  // Worker passes: Poll on every second one, Step on each.
  void Passes(int n) {
    for (int i = 0; i < n; ++i) app.WorkerPass();
  }

  // Runs passes until pred holds, moving the clock 1 ms every 50 passes so that time
  // goes on while the unit talks (the pacing sleep moves it when the line is quiet).
  // Fails the test after simulatedMsLimit of clock time.
  bool RunUntil(const std::function<bool()>& pred, uint32_t simulatedMsLimit = 60000) {
    const uint32_t start = clock.now;
    while (ElapsedMs(clock.now, start) < simulatedMsLimit) {
      for (int i = 0; i < 50; ++i) {
        app.WorkerPass();
        if (pred()) return true;
      }
      clock.Advance(1);
    }
    ADD_FAILURE() << "condition not reached within " << simulatedMsLimit << " ms of clock time; status "
                  << int{window.GetStatusState()};
    return false;
  }

  bool RunUntilStatus(int8_t status, uint32_t simulatedMsLimit = 60000) {
    return RunUntil([&] { return window.GetStatusState() == status; }, simulatedMsLimit);
  }
  bool RunUntilUnitIdle(uint32_t simulatedMsLimit = 60000) {
    return RunUntil([&] { return window.IsUnitIdle(); }, simulatedMsLimit);
  }

  // Clicks a button or chooses a menu item.
  CommandOutcome Click(int id) { return window.OnCommand(id, kBnClicked); }
  // Types into an edit as a user does: the text changes, then the change notification.
  void Type(int id, const std::string& text) {
    surface.UserSetText(id, text);
    window.OnCommand(id, kEnChange);
  }
  void Choose(int listId, const std::string& itemText) {
    const auto items = surface.Items(listId);
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] == itemText) {
        surface.UserSelectItem(listId, static_cast<int>(i));
        return;
      }
    }
    ADD_FAILURE() << "list " << listId << " has no item " << itemText;
  }

  FakeClock clock;
  Port port;
  HeadlessSurface surface;
  MemoryFileStore files;
  FixedWallClock wallClock;
  ScriptedDialogHost dialogs;
  CSerialComm comm{port, clock};
  AppServices services{clock, files, wallClock, nullptr, &dialogs};
  CAppWindow window{comm, surface, services};
  CApplication app{comm, window};
};

class AppScriptedTest : public AppFixture<FakeSerialPort> {
 protected:
  // The unit's bytes arrive; passes run until they are all read and handled.
  void UnitSays(const std::string& bytes) {
    port.Receive(bytes);
    for (int i = 0; i < 10000 && !port.incoming.empty(); ++i) app.WorkerPass();
    Passes(4);
  }
  // Create with an open port, then take the link through the escape to the probe.
  void CreateAndEscape() {
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(RunUntil([&] { return comm.GetState() == LinkState::ProbeSent; }));
    ASSERT_EQ(port.TakeWritten(), "+++\r");
  }
};

inline sim::SimConfig DefaultSimConfig() {
  sim::SimConfig config;
  config.rebootMs = 3000;
  return config;
}

class AppSimTest : public AppFixture<SimWiredPort> {
 protected:
  AppSimTest() : AppFixture<SimWiredPort>(clock, DefaultSimConfig()) {}
  explicit AppSimTest(sim::SimConfig config) : AppFixture<SimWiredPort>(clock, std::move(config)) {}

  // Start, escape, full read, status reply.
  void CreateAndRead() {
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(RunUntilUnitIdle());
  }
};

}  // namespace vqx::testing
