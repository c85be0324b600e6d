// What the window logic costs on top of the link, each against a baseline measured in
// the same run:
//   1. a full read of the unit (escape, ECHO OFF, 28 queries, STAT) through CAppWindow and
//      the headless surface, against the same exchanges through CSerialComm alone; both
//      against the simulated unit wired in-process on a clock that moves only when told,
//      so the figures are CPU, not the seconds of the escape guard;
//   2. the worker's CPU on a quiet line (real pseudo-terminal, real clock and port), against
//      the same loop without its pacing sleep;
//   3. AppendOutput with the 1199-character log full, one character per call as the link
//      shows received bytes, against appending to a std::string under a mutex.
//
// Measured on an AMD EPYC virtual machine (2 cores, Linux 6.18), RelWithDebInfo, quiet machine:
//   1. full read 98 us, of which Create 33 us (baseline 34 us: 2.9x); on a busy machine
//      146 us against 67 us (2.2x);
//   2. quiet worker 0.7 % of a core at 195 passes/s (the loop without its sleep: 100 %,
//      about 2.6 million passes/s; 0.007x); the full read over the pseudo-terminal took 6.2 s;
//   3. AppendOutput 66-71 ns per character (baseline 16 ns: 4.1-4.5x), about 1,300 times
//      what 115200 baud delivers.

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_window.h"
#include "port/memory_file_store.h"
#include "app/application.h"
#include "app/preferences_block.h"
#include "link/serial_comm.h"
#include "protocol/command_table.h"
#include "runner/sim_runner.h"
#include "system_port.h"
#include "unit/sim_unit.h"
#include "window/control_ids.h"
#include "window/headless_surface.h"

namespace {

using namespace vqx;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// ---- Platform stand-ins kept in memory --------------------------------------------

class StepClock final : public IClock {
 public:
  uint32_t NowMs() override { return now; }
  void SleepMs(uint32_t ms) override { now += ms; }
  uint32_t now = 1000;
};

// The system clock, counting the worker's pacing sleeps (one per quiet pass).
class CountingClock final : public IClock {
 public:
  explicit CountingClock(IClock& inner) : inner_(inner) {}
  uint32_t NowMs() override { return inner_.NowMs(); }
  void SleepMs(uint32_t ms) override {
    sleeps.fetch_add(1, std::memory_order_relaxed);
    inner_.SleepMs(ms);
  }
  std::atomic<uint64_t> sleeps{0};

 private:
  IClock& inner_;
};


class FixedWallClock final : public IWallClock {
 public:
  int64_t UtcSecondsNow() override { return 1796595004; }
};

// Preferences that name the port, so that Create opens it at once.
void StorePreferencesNaming(IFileStore& files, const std::string& portName) {
  auto block = std::make_unique<PreferencesBlock>();
  std::memset(block.get(), 0, sizeof(PreferencesBlock));
  block->formatMark = kPreferencesFormatMark;
  block->view = kViewSettings;
  block->baudRate = 9600;
  block->dataBits = 8;
  block->stopBits = 1;
  block->parity = 'N';
  std::strncpy(block->portName, portName.c_str(), sizeof(block->portName) - 1);
  files.ReplaceFile(kPreferencesFileName, block.get(), sizeof(PreferencesBlock));
}

// A serial port wired to a simulated unit in the same thread: what is written reaches the
// unit at the clock's time; what the unit sends is readable once the clock reaches it.
class WiredPort final : public ISerialPort {
 public:
  WiredPort(StepClock& clock, sim::SimConfig config) : unit(std::move(config), clock.now), clock_(clock) {}

  PortOpenResult Open(const char*, const LineSettings&) override { return {true, PortOpenError::None, 0, false, {}, {}, {}}; }
  void Close() override {}
  int32_t QueuedBytes() override {
    unit.Tick(clock_.now);
    incoming_ += unit.TakeOutput(clock_.now);
    return static_cast<int32_t>(incoming_.size() - readPos_);
  }
  bool ReadByte(uint8_t& byte) override {
    if (readPos_ >= incoming_.size()) return false;
    byte = static_cast<uint8_t>(incoming_[readPos_++]);
    if (readPos_ == incoming_.size()) {
      incoming_.clear();
      readPos_ = 0;
    }
    return true;
  }
  size_t Write(const uint8_t* data, size_t size) override {
    unit.OnBytes(data, size, clock_.now);
    return size;
  }
  bool Drain(uint32_t) override { return true; }

  sim::SimUnit unit;

 private:
  StepClock& clock_;
  std::string incoming_;
  size_t readPos_ = 0;
};

// ---- 1. Full read -------------------------------------------------------------------

// Just past the link's quiet time around "+++": the escape costs the passes the link
// needs to notice the time, not thousands of empty ones.
constexpr uint32_t kEscapeJumpMs = kEscapeGuardMs + 100;
constexpr long kPassLimit = 10'000'000;

// Moves the clock over the escape's quiet times, once per state entered.
class EscapeTimer {
 public:
  void After(const CSerialComm& comm, StepClock& clock) {
    const LinkState s = comm.GetState();
    if (s == seen_) return;
    seen_ = s;
    if (s == LinkState::EscapeWait || s == LinkState::EscapeSent) clock.now += kEscapeJumpMs;
  }

 private:
  LinkState seen_ = LinkState::Closed;
};

const std::vector<std::string>& ExpectedLines() {
  static const std::vector<std::string> lines = {
      "",        "ECHO OFF", "BAUD",     "BCAST",  "BOOST",    "CMDPORT", "CONMODE", "COR",
      "CORINH",  "DATA",     "DSCP",     "DUPLEX", "GATEIP",   "HANGTM",  "MAC",     "MYIP",
      "NAME",    "PARITY",   "PASS",     "PORT",   "RXDELAY",  "SECURITY", "SRVRIP", "SRVRPORT",
      "STOP",    "SUBNET",   "TXDELAY",  "VER",    "VOCODER",  "VSENSE",  "STAT"};
  return lines;
}

// One full read through the window logic; seconds, or -1 when it went wrong. createSeconds
// receives the share of Create (preferences, port, lists).
double FullReadThroughWindow(double& createSeconds) {
  StepClock clock;
  WiredPort port(clock, sim::SimConfig{});
  CSerialComm comm(port, clock);
  HeadlessSurface surface;
  MemoryFileStore files;
  FixedWallClock wall;
  AppServices services{clock, files, wall};
  CAppWindow window(comm, surface, services);
  CApplication app(comm, window);
  comm.AttachHost(&window);
  EscapeTimer escape;

  const auto t0 = Clock::now();
  if (!window.Create()) return -1;
  createSeconds = Seconds(Clock::now() - t0);
  long passes = 0;
  while (!window.IsUnitIdle()) {
    app.WorkerPass();
    escape.After(comm, clock);
    if (++passes > kPassLimit) return -1;
  }
  const double s = Seconds(Clock::now() - t0);
  if (port.unit.ReceivedLines() != ExpectedLines() || surface.Text(ids::kName).empty()) return -1;
  return s;
}

// The same exchanges through the link alone: each command, then Poll and TakeReply until
// the unit has said all it will say about it.
double FullReadThroughLink() {
  StepClock clock;
  WiredPort port(clock, sim::SimConfig{});
  CSerialComm comm(port, clock);
  EscapeTimer escape;
  long passes = 0;
  long replies = 0;
  const auto untilQuiet = [&] {
    for (;;) {
      comm.Poll();
      escape.After(comm, clock);
      const LinkState s = comm.GetState();
      if (s == LinkState::ReplyReady) {
        if (comm.TakeReply() != nullptr) ++replies;
      } else if (s == LinkState::Idle && !comm.AwaitingReply() && port.QueuedBytes() == 0) {
        return true;
      } else if (s == LinkState::Failed || ++passes > kPassLimit) {
        return false;
      }
    }
  };

  const auto t0 = Clock::now();
  if (!comm.Open("wired", 9600, 'N', 8, 1) || !comm.StartCommandMode() || !untilQuiet()) return -1;
  CommandRecord record;
  record.commandId = kCmdEcho;
  record.value = 0;
  if (!comm.SendCommand(record) || !untilQuiet()) return -1;
  record.value = -1;
  for (const int32_t id : kFullReadOrder) {
    record.commandId = id;
    if (!comm.SendCommand(record) || !untilQuiet()) return -1;
  }
  record.commandId = kCmdStat;
  if (!comm.SendCommand(record) || !untilQuiet()) return -1;
  const double s = Seconds(Clock::now() - t0);
  if (port.unit.ReceivedLines() != ExpectedLines() || replies < 31) return -1;
  return s;
}

bool MeasureFullRead() {
  constexpr int kWarmUp = 30;
  constexpr int kReads = 301;
  std::vector<double> window, link, create;
  for (int i = 0; i < kWarmUp + kReads; ++i) {
    // Interleaved, so that a slower moment of the machine hits both alike.
    double c = 0;
    const double w = FullReadThroughWindow(c);
    const double l = FullReadThroughLink();
    if (w < 0 || l < 0) {
      std::fprintf(stderr, "full read did not complete as expected (window %s, link %s)\n",
                   w < 0 ? "failed" : "ok", l < 0 ? "failed" : "ok");
      return false;
    }
    if (i >= kWarmUp) {
      window.push_back(w);
      link.push_back(l);
      create.push_back(c);
    }
  }
  const double wm = Median(window) * 1e6;
  const double lm = Median(link) * 1e6;
  std::printf("1. full read through the window logic: %.1f us per read (%.2fx baseline), of which Create %.1f us\n",
              wm, wm / lm, Median(create) * 1e6);
  std::printf("   baseline, the escape and the same 30 commands through CSerialComm alone: %.1f us per read\n", lm);
  std::printf("   (median of %d reads after %d warm-up; both include the simulated unit's own work)\n", kReads,
              kWarmUp);
  return true;
}

// ---- 2. Worker on a quiet line -------------------------------------------------------

constexpr auto kQuietWindow = std::chrono::seconds(3);
constexpr int kQuietRepetitions = 3;

struct CpuSample {
  double fraction;       // process CPU seconds per wall second
  double passesPerSecond;
};

// Process CPU over kQuietWindow while this thread sleeps; count() reads a pass counter.
template <class Count>
CpuSample SampleQuiet(Count count) {
  const uint64_t p0 = count();
  const double c0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(kQuietWindow);
  const double wall = Seconds(Clock::now() - t0);
  const double cpu = ProcessCpuSeconds() - c0;
  const uint64_t p1 = count();
  return {cpu / wall, static_cast<double>(p1 - p0) / wall};
}

CpuSample MedianSample(const std::vector<CpuSample>& samples) {
  std::vector<double> f, p;
  for (const auto& s : samples) {
    f.push_back(s.fraction);
    p.push_back(s.passesPerSecond);
  }
  return {Median(f), Median(p)};
}

bool MeasureQuietWorker() {
  sim::SimRunner sim{sim::SimConfig{}};
  std::string error;
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "no pseudo-terminal: %s\n", error.c_str());
    return false;
  }
  CountingClock clock(SystemClock());
  auto port = CreateSystemSerialPort();
  CSerialComm comm(*port, clock);
  HeadlessSurface surface;
  MemoryFileStore files;
  FixedWallClock wall;
  StorePreferencesNaming(files, sim.SlavePath());
  AppServices services{clock, files, wall};
  CAppWindow window(comm, surface, services);
  CApplication app(comm, window);
  comm.AttachHost(&window);

  if (!window.Create() || !app.StartWorker()) {
    std::fprintf(stderr, "could not open %s\n", sim.SlavePath().c_str());
    return false;
  }
  const auto readStart = Clock::now();
  while (!window.IsUnitIdle() && Clock::now() - readStart < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!window.IsUnitIdle()) {
    std::fprintf(stderr, "the full read did not finish (status %d)\n", int{window.GetStatusState()});
    app.Shutdown();
    return false;
  }
  const double readSeconds = Seconds(Clock::now() - readStart);
  // Past the unpaused passes that follow the last reply.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  const auto sleeps = [&] { return clock.sleeps.load(std::memory_order_relaxed); };
  std::vector<CpuSample> worker;
  for (int i = 0; i < kQuietRepetitions; ++i) worker.push_back(SampleQuiet(sleeps));
  app.StopWorker();

  // What the process uses with no worker at all: the simulated unit's serving thread.
  std::vector<CpuSample> idle;
  for (int i = 0; i < kQuietRepetitions; ++i) idle.push_back(SampleQuiet([] { return uint64_t{0}; }));

  // The worker loop without its pacing sleep: Poll on every second pass, a Step-like no-op.
  std::vector<CpuSample> spin;
  for (int i = 0; i < kQuietRepetitions; ++i) {
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> passes{0};
    std::atomic<int32_t> noteCounter{0};
    std::thread spinner([&] {
      bool toggle = true;
      while (!stop.load(std::memory_order_relaxed)) {
        toggle = !toggle;
        if (toggle) comm.Poll();
        noteCounter.fetch_add(1);
        passes.fetch_add(1, std::memory_order_relaxed);
      }
    });
    spin.push_back(SampleQuiet([&] { return passes.load(std::memory_order_relaxed); }));
    stop = true;
    spinner.join();
  }
  app.Shutdown();

  const CpuSample w = MedianSample(worker);
  const CpuSample n = MedianSample(idle);
  const CpuSample s = MedianSample(spin);
  const double workerOnly = w.fraction - n.fraction;
  const double spinOnly = s.fraction - n.fraction;
  std::printf("2. worker on a quiet line: %.2f %% of a core (%.4fx baseline), %.0f passes/s\n", workerOnly * 100,
              workerOnly / spinOnly, w.passesPerSecond);
  std::printf("   baseline, the same loop without the pacing sleep: %.1f %% of a core, %.0f passes/s\n",
              spinOnly * 100, s.passesPerSecond);
  std::printf("   (process CPU over %d x %.0f s windows, medians; the simulated unit's thread alone, %.2f %%,\n",
              kQuietRepetitions, std::chrono::duration<double>(kQuietWindow).count(), n.fraction * 100);
  std::printf("    is subtracted from both; process with the worker %.2f %%; the full read took %.2f s)\n",
              w.fraction * 100, readSeconds);
  return true;
}

// ---- 3. AppendOutput with the log full -------------------------------------------------

class NullPort final : public ISerialPort {
 public:
  PortOpenResult Open(const char*, const LineSettings&) override { return {true, PortOpenError::None, 0, false, {}, {}, {}}; }
  void Close() override {}
  int32_t QueuedBytes() override { return 0; }
  bool ReadByte(uint8_t&) override { return false; }
  size_t Write(const uint8_t*, size_t size) override { return size; }
  bool Drain(uint32_t) override { return true; }
};

// The baseline: the same call through the link's host interface, into a string.
class StringHost final : public ILinkHost {
 public:
  void AppendOutput(const char* text) override {
    std::lock_guard lock(mutex);
    text_ += text;
  }
  void SetStatusState(StatusState) override {}
  void NoteLinkActivity() override {}
  bool AcceptTypedCommand(const char*, const char*) override { return true; }
  void Clear() {
    std::lock_guard lock(mutex);
    text_.clear();
  }
  size_t Size() {
    std::lock_guard lock(mutex);
    return text_.size();
  }
  std::mutex mutex;

 private:
  std::string text_;
};

std::string ReplyText(size_t length) {
  const char* lines[] = {"BAUD 9600\n\r", "MYIP 192.168.001.020 (DHCP)\n\r", "NAME Tower 2 North\n\r",
                         "CON 010.001.002.003:5000\n\r", "VER VQX-2 v1.00\n\r", "OK\n\r"};
  std::string s;
  while (s.size() < length) {
    for (const char* l : lines) s += l;
  }
  s.resize(length);
  return s;
}

// One character per call, as the link shows each received byte.
double AppendEach(ILinkHost& host, const std::string& text) {
  char one[2] = {0, 0};
  const auto t0 = Clock::now();
  for (const char c : text) {
    one[0] = c;
    host.AppendOutput(one);
  }
  return Seconds(Clock::now() - t0);
}

bool MeasureAppendOutput() {
  constexpr size_t kChars = 1'000'000;
  constexpr int kWarmUp = 2;
  constexpr int kRepetitions = 11;
  const std::string text = ReplyText(kChars);

  StepClock clock;
  NullPort port;
  CSerialComm comm(port, clock);
  HeadlessSurface surface;
  MemoryFileStore files;
  FixedWallClock wall;
  AppServices services{clock, files, wall};
  CAppWindow window(comm, surface, services);
  window.Create();
  StringHost baseline;

  std::vector<double> w, b;
  for (int i = 0; i < kWarmUp + kRepetitions; ++i) {
    // The surface's copy of the output grows with every call: start each run empty,
    // outside the timing, as the baseline's string does.
    surface.SetText(ids::kOutputWindow, "");
    baseline.Clear();
    AppendEach(window, text.substr(0, kOutputLogSize));  // the log is full from here on
    const double ws = AppendEach(window, text);
    const double bs = AppendEach(baseline, text);
    if (window.GetOutputLog().size() != kOutputLogSize - 1 || baseline.Size() != kChars) {
      std::fprintf(stderr, "AppendOutput kept %zu characters, expected %zu\n", window.GetOutputLog().size(),
                   kOutputLogSize - 1);
      return false;
    }
    if (i >= kWarmUp) {
      w.push_back(ws);
      b.push_back(bs);
    }
  }
  const double chars = static_cast<double>(kChars);
  const double wn = Median(w) / chars * 1e9;
  const double bn = Median(b) / chars * 1e9;
  std::printf("3. AppendOutput, log full, one character per call: %.1f ns/char (%.2fx baseline),\n", wn, wn / bn);
  std::printf("   %.0f times what 115200 baud delivers (11,520 characters/s)\n", 1e9 / wn / 11520.0);
  std::printf("   baseline, a std::string under a mutex through the same interface: %.1f ns/char\n", bn);
  std::printf("   (median of %d runs of %zu characters after %d warm-up)\n", kRepetitions, kChars, kWarmUp);
  return true;
}

}  // namespace

int main() {
  std::printf("The window logic against baselines measured in this run; each line: what: value (ratio).\n");
  std::printf("1 = CPU of one full read (escape, ECHO OFF, 28 queries, STAT) on a simulated clock;\n");
  std::printf("2 = worker CPU on a quiet pseudo-terminal line in real time (takes about 35 s);\n");
  std::printf("3 = AppendOutput per received character once the 1199-character log is full.\n\n");
  std::fflush(stdout);
  if (!MeasureFullRead()) return 1;
  std::fflush(stdout);
  if (!MeasureQuietWorker()) return 1;
  std::fflush(stdout);
  if (!MeasureAppendOutput()) return 1;
  return 0;
}
