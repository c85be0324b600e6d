// An Update burst at 1200 baud on a synchronous COM handle, as real Windows serves it:
// while the window thread's WriteFile puts a line on the wire, the worker's queued-byte
// query waits behind it. The question is whether that wait costs anything: a reply read
// late, a byte lost, a slower burst. Measured against a driver that serves requests side
// by side (as Wine does), in the same run.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_comm.h"
#include "serialising_driver.h"
#include "win32/win32_serial_port.h"

namespace vqx::win32 {
namespace {

using testing::SerialisingDriver;
using Clock = SerialisingDriver::Clock;
using std::chrono::milliseconds;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct BurstFigures {
  double burstMs = 0;             // the first write to the last reply read
  double longestQueryMs = 0;      // the worker's longest queued-byte query
  double slowestReplyReadMs = 0;  // a reply's last byte in the driver to the worker's read
  int repliesRead = 0;
  std::string unasked;            // what the worker read besides the replies
};

// The lines of an Update that changes the texts and a few numbers, longest first.
std::vector<std::string> BurstLines() {
  return {"NAME Relay site 7 on the northern ridge, east cabinet, rack 2 slot",
          "DESC Repeater link to the valley dispatch console, channel 4",
          "WEBPW correct-horse-battery", "VPORT 2000", "CPORT 2001", "CORT 250", "GWIP 10.20.30.1"};
}

BurstFigures RunBurst(bool serialises, bool unitTalksMidWrite) {
  SerialisingDriver driver(serialises, 1200);
  Win32SerialPort port(driver);
  LineSettings line;
  line.baudRate = 1200;
  EXPECT_TRUE(port.Open("COM3", line).ok);

  BurstFigures figures;
  std::atomic<bool> stop{false};
  std::atomic<int> replies{0};
  std::vector<Clock::time_point> replyRead;
  std::thread worker([&] {  // as the link's worker: look, read what is there, nap
    std::string current;
    while (!stop.load()) {
      const auto before = Clock::now();
      const int32_t queued = port.QueuedBytes();
      figures.longestQueryMs = std::max(figures.longestQueryMs, Ms(Clock::now() - before));
      if (queued <= 0) {
        std::this_thread::sleep_for(milliseconds(1));
        continue;
      }
      for (uint8_t byte = 0; port.ReadByte(byte);) {
        current += static_cast<char>(byte);
        if (byte != '\n') continue;
        if (current == "OK\r\n") {
          replyRead.push_back(Clock::now());
          replies.fetch_add(1);
        } else {
          figures.unasked += current;
        }
        current.clear();
      }
    }
  });

  const std::vector<std::string> lines = BurstLines();
  const auto start = Clock::now();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string wire = lines[i] + "\r\n";
    // Something the unit says on its own while the longest line is on its way.
    if (unitTalksMidWrite && i == 0) driver.UnitSays("RING\r\n");
    EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>(wire.data()), wire.size()), wire.size());
    // The next line goes once the reply is in, as the burst does.
    const auto deadline = Clock::now() + milliseconds(kReplyTimeoutMs);
    while (replies.load() < static_cast<int>(i + 1) && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(replies.load(), static_cast<int>(i + 1)) << "no reply to " << lines[i];
  }
  figures.burstMs = Ms(Clock::now() - start);
  stop = true;
  worker.join();
  port.Close();

  figures.repliesRead = replies.load();
  const std::vector<Clock::time_point> arrived = driver.AnswersArrived();
  for (size_t i = 0; i < arrived.size() && i < replyRead.size(); ++i) {
    figures.slowestReplyReadMs = std::max(figures.slowestReplyReadMs, Ms(replyRead[i] - arrived[i]));
  }
  return figures;
}

TEST(Win32WriteStall, AWriteHoldsTheWorkerOnlyWhileNoReplyCanComeAndCostsTheBurstNothing) {
  const BurstFigures sideBySide = RunBurst(false, true);
  const BurstFigures oneAtATime = RunBurst(true, true);
  const double longestLineMs = (BurstLines().front().size() + 2) * 10 * 1000.0 / 1200;
  std::printf("Update burst of %zu lines at 1200 baud (longest line %.0f ms on the wire):\n", BurstLines().size(),
              longestLineMs);
  for (const auto& [name, f] : {std::pair{"requests side by side (Wine)", sideBySide},
                                std::pair{"one request at a time (Windows)", oneAtATime}}) {
    std::printf("  %-32s burst %6.0f ms, longest queued-byte query %5.1f ms, slowest reply read %5.1f ms\n", name,
                f.burstMs, f.longestQueryMs, f.slowestReplyReadMs);
  }

  for (const BurstFigures* f : {&sideBySide, &oneAtATime}) {
    EXPECT_EQ(f->repliesRead, static_cast<int>(BurstLines().size()));
    EXPECT_EQ(f->unasked, "RING\r\n") << "what the unit said during a write is kept, whole";
    // A reply arrives after its line has been written, when no write holds the handle:
    // it is read on the worker's next look, far inside the reply time-out.
    EXPECT_LT(f->slowestReplyReadMs, kReplyTimeoutMs / 10.0);
  }
  // The serialised worker does wait behind a write, for about one line's wire time ...
  EXPECT_GT(oneAtATime.longestQueryMs, longestLineMs / 4);
  EXPECT_LT(oneAtATime.longestQueryMs, longestLineMs + kReplyTimeoutMs / 10.0);
  // ... but the burst, paced by the unit's replies, takes no longer for it (a wait that
  // delayed replies would cost about a line's wire time for each of the seven lines).
  EXPECT_LT(oneAtATime.burstMs, sideBySide.burstMs + kReplyTimeoutMs / 6.0);
}

}  // namespace
}  // namespace vqx::win32
