#pragma once

// Deterministic stand-ins for the platform: a scripted serial port, a clock that moves
// only when told, and a window host that records what the link showed and asked.

#include <cstdint>
#include <functional>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/link_host.h"
#include "port/clock.h"
#include "port/serial_port.h"

namespace vqx::testing {

class FakeClock final : public IClock {
 public:
  uint32_t NowMs() override { return now; }
  void SleepMs(uint32_t ms) override {
    now += ms;
    if (onSleep) onSleep();
  }
  void Advance(uint32_t ms) { now += ms; }
  uint32_t now = 1000;
  // What another thread does while the code under test sleeps.
  std::function<void()> onSleep;
};

// A port's output queue on the fake clock. Without a clock the output leaves at once.
// With one, it has left once the clock reaches drainedAt (never while stuck); waiting
// moves the clock, as a real wait would.
struct FakeDrain {
  bool Wait(uint32_t limitMs) {
    ++calls;
    limits.push_back(limitMs);
    if (clock == nullptr) return true;
    if (!stuck && Left()) return true;
    const uint32_t left = stuck ? limitMs : drainedAt - clock->now;
    clock->Advance(left < limitMs ? left : limitMs);
    if (!stuck && Left()) {
      doneTimes.push_back(clock->now);
      return true;
    }
    return false;
  }
  bool Left() const { return static_cast<int32_t>(drainedAt - clock->now) <= 0; }

  FakeClock* clock = nullptr;
  uint32_t drainedAt = 0;
  bool stuck = false;
  int calls = 0;
  std::vector<uint32_t> limits;     // every limit asked for
  std::vector<uint32_t> doneTimes;  // clock times at which a wait saw the output leave
};

// What every fake port does on Open and Close: it remembers what it was asked and opens
// unless told not to (then the port is not found). A port with more to do on opening
// (a refused line setting, the time of the open) adds it in Opened.
class FakePortBase : public ISerialPort {
 public:
  PortOpenResult Open(const char* name, const LineSettings& settings) override {
    openedName = name;
    openedSettings = settings;
    ++openCount;
    isOpen = openSucceeds;
    PortOpenResult r;
    r.ok = openSucceeds;
    r.error = openSucceeds ? PortOpenError::None : PortOpenError::NotFound;
    Opened(settings, r);
    return r;
  }
  void Close() override { isOpen = false; }

  bool openSucceeds = true;
  bool isOpen = false;
  int openCount = 0;
  std::string openedName;
  LineSettings openedSettings;

 protected:
  virtual void Opened(const LineSettings&, PortOpenResult&) {}
};

class FakeSerialPort final : public FakePortBase {
 public:
  int32_t QueuedBytes() override {
    ++queueQueries;
    if (lost) return -1;
    if (!heldBack.empty() && drain.clock != nullptr) {
      // A read that waits heldBackMs for bytes the system held back, then has them.
      drain.clock->Advance(heldBackMs);
      Receive(std::exchange(heldBack, {}));
    }
    return static_cast<int32_t>(incoming.size());
  }
  bool ReadByte(uint8_t& byte) override {
    ++reads;
    if (incoming.empty()) return false;
    byte = incoming.front();
    incoming.pop_front();
    return true;
  }
  size_t Write(const uint8_t* data, size_t size) override {
    if (failWrites) return 0;
    // A driver whose time-out cut the line: only the first writeLimit bytes went out.
    const size_t taken = size < writeLimit ? size : writeLimit;
    written.append(reinterpret_cast<const char*>(data), taken);
    return taken;
  }
  bool Drain(uint32_t limitMs) override { return drain.Wait(limitMs); }

  void Receive(const std::string& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }
  // Everything written since the last call.
  std::string TakeWritten() {
    std::string w;
    w.swap(written);
    return w;
  }

  bool lost = false;
  bool failWrites = false;
  // Bytes the next QueuedBytes waits for (on drain.clock) before it sees them.
  std::string heldBack;
  uint32_t heldBackMs = 0;
  size_t writeLimit = SIZE_MAX;
  // A driver that keeps these settings whatever it is asked (the port still opens).
  std::optional<LineSettings> refusesTo;
  FakeDrain drain;
  std::vector<uint32_t> openTimes;  // clock times of the opens, once drain has a clock
  int queueQueries = 0;
  int reads = 0;
  std::deque<uint8_t> incoming;
  std::string written;

 private:
  void Opened(const LineSettings& settings, PortOpenResult& r) override {
    if (drain.clock != nullptr) openTimes.push_back(drain.clock->now);
    lost = false;
    if (openSucceeds && refusesTo.has_value() && !SameLine(*refusesTo, settings)) {
      r.settingsRefused = true;
      r.lineInEffect = *refusesTo;
    }
  }
};

class RecordingHost final : public ILinkHost {
 public:
  void AppendOutput(const char* text) override { output += text; }
  void SetStatusState(StatusState state) override { statusStates.push_back(state); }
  void NoteLinkActivity() override { ++activity; }
  bool AcceptTypedCommand(const char* keyword, const char* argument) override {
    typedKeywords.emplace_back(keyword);
    typedArguments.emplace_back(argument ? argument : "<no argument>");
    return acceptTyped;
  }

  std::string output;
  std::vector<StatusState> statusStates;
  int activity = 0;
  bool acceptTyped = true;
  std::vector<std::string> typedKeywords;
  std::vector<std::string> typedArguments;
};

}  // namespace vqx::testing
