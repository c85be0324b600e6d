// vqxctl.exe's console handler, with the events delivered here as Windows delivers them
// (on a thread of their own; Wine never sends the close, logoff or shutdown events): a
// closing console interrupts the session and holds the process until the unit is
// released, but never for ever. The event stays set once released, so the case that needs
// it unset comes first (each case runs in its own process under ctest).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "console.h"
#include "console_events_win32.h"

namespace vqx::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::atomic<bool> interrupted{false};
std::atomic<bool> hungUp{false};

void Reset() {
  InstallInterruptHandler(&interrupted, &hungUp);
  interrupted.store(false);
  hungUp.store(false);
}

bool WaitUntil(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!flag.load() && Clock::now() < end) std::this_thread::sleep_for(5ms);
  return flag.load();
}

TEST(ConsoleEvents, CtrlCAndCtrlBreakInterruptAndReturnAtOnceWithoutAHangUp) {
  for (const DWORD event : {static_cast<DWORD>(CTRL_C_EVENT), static_cast<DWORD>(CTRL_BREAK_EVENT)}) {
    Reset();
    auto handled = std::async(std::launch::async, [event] { return OnConsoleEvent(event); });
    ASSERT_EQ(handled.wait_for(2s), std::future_status::ready) << "event " << event;
    EXPECT_TRUE(handled.get());
    EXPECT_TRUE(interrupted.load());
    EXPECT_FALSE(hungUp.load());
  }
}

TEST(ConsoleEvents, AClosingConsoleWhoseUnitIsNeverReleasedLetsWindowsEndTheProcessAfterTheBound) {
  Reset();
  const auto start = Clock::now();
  auto handled = std::async(std::launch::async, [] { return OnConsoleEvent(CTRL_CLOSE_EVENT); });
  ASSERT_TRUE(WaitUntil(interrupted, 2s));
  EXPECT_TRUE(hungUp.load());
  const auto bound = std::chrono::milliseconds(kClosingConsoleWaitMs);
  ASSERT_EQ(handled.wait_for(bound + 5s), std::future_status::ready) << "the handler waits for ever";
  EXPECT_TRUE(handled.get());
  EXPECT_GE(Clock::now() - start, bound - 100ms) << "it gave up before the leave could end";
}

TEST(ConsoleEvents, AClosingConsoleLogoffOrShutdownHoldsTheProcessUntilTheUnitIsReleased) {
  Reset();
  std::vector<std::future<BOOL>> handlers;
  for (const DWORD event : {static_cast<DWORD>(CTRL_CLOSE_EVENT), static_cast<DWORD>(CTRL_LOGOFF_EVENT),
                            static_cast<DWORD>(CTRL_SHUTDOWN_EVENT)}) {
    handlers.push_back(std::async(std::launch::async, [event] { return OnConsoleEvent(event); }));
  }
  ASSERT_TRUE(WaitUntil(interrupted, 2s));
  EXPECT_TRUE(hungUp.load());
  // The session is still sending ECHO ON and TRAN: Windows must not end the process yet.
  std::this_thread::sleep_for(500ms);
  for (auto& handler : handlers) EXPECT_EQ(handler.wait_for(0ms), std::future_status::timeout);
  UnitReleased();
  for (auto& handler : handlers) {
    ASSERT_EQ(handler.wait_for(2s), std::future_status::ready) << "the release did not let the process end";
    EXPECT_TRUE(handler.get());
  }
}

}  // namespace
}  // namespace vqx::cli
