// Poll, SendCommand and reply recognition run thousands of times a second on the
// worker thread: they must not touch the heap.

#include <gtest/gtest.h>

#include <cstring>

#include "link/serial_comm.h"
#include "protocol/command_table.h"
#include "support/allocation_counter.h"

namespace vqx {
namespace {

// A port with fixed buffers, so the only allocations counted are the link's.
class StaticPort final : public ISerialPort {
 public:
  PortOpenResult Open(const char*, const LineSettings&) override { return {true, PortOpenError::None, 0, false, {}, {}, {}}; }
  void Close() override {}
  int32_t QueuedBytes() override { return static_cast<int32_t>(inLength - inPos); }
  bool ReadByte(uint8_t& b) override {
    b = static_cast<uint8_t>(in[inPos++]);
    return true;
  }
  size_t Write(const uint8_t*, size_t size) override { return size; }
  bool Drain(uint32_t) override { return true; }
  void Load(const char* text) {
    std::strcpy(in, text);
    inLength = std::strlen(text);
    inPos = 0;
  }
  char in[512] = {};
  size_t inLength = 0;
  size_t inPos = 0;
};

class TickClock final : public IClock {
 public:
  uint32_t NowMs() override { return now += 500; }  // fast enough to cross the guard times
  void SleepMs(uint32_t ms) override { now += ms; }
  uint32_t now = 0;
};

TEST(NoAllocation, EscapeSendAndRecognitionStayOffTheHeap) {
  StaticPort port;
  TickClock clock;
  CSerialComm comm(port, clock);
  ASSERT_TRUE(comm.Open("x", 9600, 'N', 8, 1));

  const long before = testing::allocationCount.load();
  ASSERT_TRUE(comm.StartCommandMode());
  for (int i = 0; i < 2000 && comm.GetState() != LinkState::ProbeSent; ++i) comm.Poll();
  ASSERT_EQ(comm.GetState(), LinkState::ProbeSent);
  port.Load("OK\n\rMYIP 192.168.001.020 (DHCP)\n\rCON 10.1.2.3:5000\n\rNAME Tower 2\n\rECHO OFF\n\r");
  int replies = 0;
  for (int i = 0; i < 1000; ++i) {
    comm.Poll();
    if (comm.TakeReply() != nullptr) ++replies;
  }
  CommandRecord r;
  r.commandId = kCmdName;
  r.value = 0;
  std::strcpy(r.text, "North");
  EXPECT_TRUE(comm.SendCommand(r));
  r.commandId = kCmdMyip;
  EXPECT_TRUE(comm.SendCommand(r));
  EXPECT_TRUE(comm.SendTypedLine("ver\r\n"));
  const long after = testing::allocationCount.load();

  EXPECT_EQ(replies, 5);
  EXPECT_EQ(after - before, 0);
}

}  // namespace
}  // namespace vqx
