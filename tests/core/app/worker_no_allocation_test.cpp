// The worker runs Poll and Step hundreds of times a second for as long as the program
// runs: a whole read of the unit must not touch the heap.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/app_window.h"
#include "app/application.h"
#include "link/serial_comm.h"
#include "support/allocation_counter.h"

namespace vqx {
namespace {

// Replies in a fixed buffer; what the link writes is dropped.
class ScriptPort final : public ISerialPort {
 public:
  PortOpenResult Open(const char*, const LineSettings&) override { return {true, PortOpenError::None, 0, false, {}, {}, {}}; }
  void Close() override {}
  int32_t QueuedBytes() override { return static_cast<int32_t>(length - pos); }
  bool ReadByte(uint8_t& b) override {
    b = static_cast<uint8_t>(script[pos++]);
    return true;
  }
  size_t Write(const uint8_t*, size_t size) override { return size; }
  bool Drain(uint32_t) override { return true; }
  char script[4096] = {};
  size_t length = 0;
  size_t pos = 0;
};

class TickClock final : public IClock {
 public:
  uint32_t NowMs() override { return now += 50; }
  void SleepMs(uint32_t ms) override { now += ms; }
  uint32_t now = 0;
};

// A window that keeps nothing: the only allocations counted are the logic's.
class NullSurface final : public IWindowSurface {
 public:
  void SetText(int, const char*) override {}
  size_t GetText(int, char* buffer, size_t size) override {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  int LineCount(int) override { return 1; }
  size_t GetLine(int, int, char* buffer, size_t size) override { return GetText(0, buffer, size); }
  std::vector<std::string> GetLines(int) override { return {}; }
  void AppendToOutput(int, const char*) override {}
  void SelectAllText(int) override {}
  int AddItem(int, const char*) override { return 0; }
  int DeleteItem(int, int) override { return -1; }
  int ItemCount(int) override { return 0; }
  int CurrentSelection(int) override { return -1; }
  void SetCurrentSelection(int, int) override {}
  bool SelectItemByPrefix(int, const char*) override { return false; }
  void SetChecked(int, bool) override {}
  bool IsChecked(int) override { return false; }
  void EnableControl(int, bool) override {}
  void ShowControl(int, bool) override {}
  void SetFocus(int) override {}
  void Invalidate(bool) override {}
  void UpdateNow() override {}
  int ShowMessageBox(MessageOwner, const char*, const char*, MessageIcon, MessageButtons) override { return 1; }
  void StartTimer(int, uint32_t) override {}
  void KillTimer(int) override {}
};

class NoFiles final : public IFileStore {
 public:
  int64_t ReadFile(const char*, void*, size_t, FileResult*) override { return -1; }
  FileResult ReplaceFile(const char*, const void*, size_t, NewFileAccess) override {
    return {FileProblem::Other, 0};
  }
  ChangeLockResult LockForChange(const char*, const char*, uint32_t) override { return {}; }
  void HoldWhileRunning(const char*) override {}
  bool HeldByAnotherProgram(const char*) override { return false; }
  const char* TextLineBreak() const override { return "\n"; }
};

class NoCalendar final : public IWallClock {
 public:
  int64_t UtcSecondsNow() override { return 0; }
};

TEST(WorkerNoAllocation, AFullReadOfTheUnitStaysOffTheHeap) {
  ScriptPort port;
  TickClock clock;
  NullSurface surface;
  NoFiles files;
  NoCalendar calendar;
  CSerialComm comm(port, clock);
  const AppServices services{clock, files, calendar};
  CAppWindow window(comm, surface, services);
  CApplication app(comm, window);
  comm.AttachHost(&window);
  ASSERT_TRUE(window.Create());

  // The probe's OK, ECHO OFF's OK, one reply per setting in query order, the status.
  std::string script = "OK\n\rOK\n\r";
  for (const char* reply :
       {"BAUD 9600", "BCAST 0", "BOOST 0", "CMDPORT 23", "CONMODE 0", "COR 1", "CORINH 500", "DATA 8", "DSCP 46",
        "DUPLEX 0", "GATEIP 192.168.001.001", "HANGTM 1000", "MAC 00:50:C2:12:34:56", "MYIP 192.168.001.020 (DHCP)",
        "NAME Tower 2", "PARITY N", "PASS admin", "PORT 1221", "RXDELAY 0", "SECURITY 16", "SRVRIP 010.001.002.003",
        "SRVRPORT 1221", "STOP 1", "SUBNET 255.255.255.000", "TXDELAY 0", "VER 2.1", "VOCODER 3", "VSENSE 1",
        "CON 10.1.2.3:5000"}) {
    script += reply;
    script += "\n\r";
  }
  ASSERT_LT(script.size(), sizeof(port.script));
  std::memcpy(port.script, script.data(), script.size());

  const long before = testing::allocationCount.load();
  for (int i = 0; i < 200000 && !window.IsUnitIdle(); ++i) {
    app.WorkerPass();
    // The replies become readable once the escape's probe is out.
    if (comm.GetState() == LinkState::ProbeSent && port.length == 0) port.length = script.size();
  }
  const long after = testing::allocationCount.load();

  ASSERT_EQ(window.GetStatusState(), kStatusConnected);
  for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(window.GetSettingReadState(i), ReadMark::Read) << i;
  EXPECT_EQ(after - before, 0);
}

}  // namespace
}  // namespace vqx
