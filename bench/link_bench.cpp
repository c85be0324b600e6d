// How fast the link turns received bytes into replies, against the bare cost of
// fetching the same bytes through the port interface, measured in the same run.
// The serial line itself delivers at most 11,520 bytes/s at 115200 baud.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/serial_comm.h"

namespace {

using namespace vqx;

class MemoryPort final : public ISerialPort {
 public:
  PortOpenResult Open(const char*, const LineSettings&) override { return {true, PortOpenError::None, 0, false, {}, {}, {}}; }
  void Close() override {}
  int32_t QueuedBytes() override { return pos < data.size() ? 1 : 0; }
  bool ReadByte(uint8_t& b) override {
    b = static_cast<uint8_t>(data[pos++]);
    return true;
  }
  size_t Write(const uint8_t*, size_t n) override { return n; }
  bool Drain(uint32_t) override { return true; }
  std::string data;
  size_t pos = 0;
};

class StillClock final : public IClock {
 public:
  uint32_t NowMs() override { return 0; }
  void SleepMs(uint32_t) override {}
};

// Appends to a fixed ring, as a terminal window keeps its text.
class RingHost final : public ILinkHost {
 public:
  void AppendOutput(const char* text) override {
    for (; *text; ++text) ring[n++ % sizeof ring] = *text;
  }
  void SetStatusState(StatusState) override {}
  void NoteLinkActivity() override { ++activity; }
  bool AcceptTypedCommand(const char*, const char*) override { return true; }
  char ring[1200] = {};
  size_t n = 0;
  long activity = 0;
};

std::string ReplyStream(size_t minBytes) {
  const char* lines[] = {
      "BAUD 9600\n\r", "BCAST 0\n\r", "MYIP 192.168.001.020 (DHCP)\n\r", "NAME Tower 2 North\n\r",
      "CON 010.001.002.003:5000\n\r", "VER VQX-2 v1.00\n\r", "ECHO OFF\n\r", "OK\n\r", "garbage line\n\r",
  };
  std::string s;
  while (s.size() < minBytes) {
    for (const char* l : lines) s += l;
  }
  return s;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
  const std::string stream = ReplyStream(8u << 20);
  StillClock clock;

  // Baseline: the port interface alone, byte by byte.
  MemoryPort bare;
  bare.data = stream;
  unsigned checksum = 0;
  auto t0 = std::chrono::steady_clock::now();
  ISerialPort& iface = bare;
  for (;;) {
    if (iface.QueuedBytes() <= 0) break;
    uint8_t b = 0;
    iface.ReadByte(b);
    checksum += b;
  }
  const double baseline = Seconds(std::chrono::steady_clock::now() - t0);

  // The link: Poll, line building, recognition, reply hand-over.
  MemoryPort port;
  port.data = stream;
  RingHost host;
  CSerialComm comm(port, clock);
  comm.AttachHost(&host);
  comm.Open("mem", 115200, 'N', 8, 1);
  long replies = 0;
  t0 = std::chrono::steady_clock::now();
  while (port.pos < port.data.size()) {
    comm.Poll();
    if (comm.GetState() == LinkState::ReplyReady) {
      if (comm.TakeReply()) ++replies;
    } else if (comm.GetState() == LinkState::Failed) {
      comm.ResetLink();
    }
  }
  const double link = Seconds(std::chrono::steady_clock::now() - t0);

  const double bytes = static_cast<double>(stream.size());
  std::printf("bytes: %.0f  replies: %ld  (checksum %u)\n", bytes, replies, checksum);
  std::printf("baseline (port interface only): %8.2f ns/byte\n", baseline / bytes * 1e9);
  std::printf("link (Poll + recognition):      %8.2f ns/byte  = %.1fx baseline\n", link / bytes * 1e9,
              link / baseline);
  std::printf("link throughput: %.1f MB/s  = %.0fx what 115200 baud can deliver\n", bytes / link / 1e6,
              bytes / link / 11520.0);
  return 0;
}
