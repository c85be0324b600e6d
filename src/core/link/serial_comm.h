#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

#include "link/link_host.h"
#include "link/link_state.h"
#include "link/link_state_word.h"
#include "port/clock.h"
#include "port/serial_port.h"
#include "protocol/line_assembler.h"
#include "protocol/records.h"

namespace vqx {

inline constexpr uint32_t kEscapeGuardMs = 2100;  // quiet time before and after "+++"
inline constexpr uint32_t kReplyTimeoutMs = 3000; // for each probe and each reply
// The longest a drain waits for output to leave a line that does not move (flow control
// held, a dead adapter); a drain that long would take 1,200 bytes at 1200 baud.
inline constexpr uint32_t kDrainLimitMs = 10000;

// The serial line to the unit: writes one command line at a time, escapes the unit into
// command mode, reads one byte per Poll and holds one recognised reply until it is taken.
// Poll, SendCommand and reply recognition never allocate and never wait for the unit.
//
// Threads: the worker calls Poll and, through the window logic, StartCommandMode,
// SendCommand, TakeReply and ResetLink; the user-interface thread calls Open, Close,
// SendCommand and SendTypedLine. The state word makes Idle -> Sending one atomic step;
// the port lock keeps a read or write from using a port that Open or Close replaces.
class CSerialComm {
 public:
  CSerialComm(ISerialPort& port, IClock& clock);
  CSerialComm(const CSerialComm&) = delete;
  CSerialComm& operator=(const CSerialComm&) = delete;

  // Set once, before the worker thread starts.
  void AttachHost(ILinkHost* host);

  bool Open(const char* portName, int32_t baudRate, char parity, int32_t dataBits, int32_t stopBits);
  void Close();
  // Why the last Open failed (user-interface thread only).
  PortOpenResult LastOpenResult() const { return lastOpenResult_; }

  LinkState GetState() const { return state_.Load(); }
  bool StartCommandMode();
  bool SendCommand(const CommandRecord& record);
  const ResponseRecord* TakeReply();
  void ResetLink();
  void Poll();
  bool SendTypedLine(const char* text);
  // Waits until what was written has left the line, bounded by the time those bytes need
  // at the open baud rate (at most kDrainLimitMs); true when drained. Timings the unit
  // measures on the wire (the escape's quiet times, its reboot) start after this. Holds
  // the port lock only in short slices, so Open and Close never wait long behind it.
  bool DrainOutput();

  bool AwaitingReply() const { return awaitingReply_.load(); }
  // The longest the unit took to answer one of the program's own commands since the port
  // was opened (escape probes not counted: their time runs from the "+++").
  uint32_t SlowestReplyMs() const { return slowestReplyMs_.load(); }
  bool SuppressParse() const { return suppressParse_.load(); }
  // The port reported itself gone (and was released); stays so until the next Open.
  bool PortLost() const { return portLost_.load(); }
  // The last record SendCommand accepted (read it while no send is running).
  const CommandRecord& LastCommand() const { return lastCommand_; }

 private:
  bool TimeCheckDue();
  uint32_t DrainBoundMs() const;
  void HandleByte(char c, bool timedOutThisPoll);
  void DiscardStaleInput();
  size_t WriteToPort(const char* data, size_t size);
  void Show(const char* text) { host_->AppendOutput(text); }

  ISerialPort& port_;
  IClock& clock_;
  ILinkHost* host_;

  std::atomic<uint32_t> lastSendTime_{0};
  std::atomic<uint32_t> guardStart_{0};
  std::atomic<bool> awaitingReply_{false};
  // The awaited reply answers the program's own command or escape probe, not a typed line.
  std::atomic<bool> ownCommandAwaited_{false};
  std::atomic<uint32_t> slowestReplyMs_{0};
  std::atomic<bool> suppressParse_{false};
  std::atomic<bool> portLost_{false};
  std::atomic<int32_t> baudRate_{9600};
  std::atomic<uint32_t> undrainedBytes_{0};  // written since the last drain
  LinkStateWord state_;

  // Worker thread only.
  LineAssembler assembler_;
  ResponseRecord reply_;
  int8_t pollDivider_ = 0;

  // Written by whichever thread holds Sending.
  CommandRecord lastCommand_;

  // Shared by reads and writes, exclusive for Open and Close. Never held while calling
  // the host, which may wait for the user-interface thread.
  std::shared_mutex portMutex_;
  PortOpenResult lastOpenResult_;
};

}  // namespace vqx
