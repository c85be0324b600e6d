// The serial link as the worker drives it, fed whatever a unit or a noisy cable may send:
// the line assembler and the reply recognizer through CSerialComm on a scripted port.
//
// Input: bytes the port receives, one taken per Poll. 0xFF starts a step of the host
// instead: 0xFF 0xFF is the byte 0xFF itself; 0xFF then N (N < 0xFF) does step N % 7.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/serial_comm.h"
#include "protocol/command_table.h"
#include "support/fake_link_parts.h"

namespace {

using vqx::testing::FakeClock;
using vqx::testing::FakeSerialPort;
using vqx::testing::RecordingHost;

// A reply's texts must end inside their fields, whatever came down the line.
void CheckReply(const vqx::ResponseRecord& reply) {
  if (std::memchr(reply.line, '\0', sizeof(reply.line)) == nullptr) __builtin_trap();
  if (std::memchr(reply.text, '\0', sizeof(reply.text)) == nullptr) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FakeSerialPort port;
  FakeClock clock;
  RecordingHost host;
  vqx::CSerialComm comm(port, clock);
  comm.AttachHost(&host);
  if (!comm.Open("COM1", 9600, 'N', 8, 1)) return 0;

  int32_t nextCommand = 1;
  for (size_t i = 0; i < size; ++i) {
    uint8_t byte = data[i];
    if (byte == 0xFF && i + 1 < size) {
      byte = data[++i];
      if (byte != 0xFF) {
        switch (byte % 7) {
          case 0: comm.StartCommandMode(); break;
          case 1: {
            vqx::CommandRecord query;
            query.commandId = nextCommand;
            nextCommand = nextCommand % (vqx::kCommandCount - 1) + 1;
            comm.SendCommand(query);
            break;
          }
          case 2: clock.Advance(vqx::kEscapeGuardMs + 1); break;
          case 3: clock.Advance(vqx::kReplyTimeoutMs + 1); break;
          case 4:
            if (const vqx::ResponseRecord* reply = comm.TakeReply()) CheckReply(*reply);
            break;
          case 5: comm.ResetLink(); break;
          case 6: comm.SendTypedLine("NAME"); break;
        }
        // Time checks run on every 100th eligible Poll.
        for (int k = 0; k < 100; ++k) comm.Poll();
        continue;
      }
    }
    port.Receive(std::string(1, static_cast<char>(byte)));
    comm.Poll();
    if (const vqx::ResponseRecord* reply = comm.TakeReply()) CheckReply(*reply);
  }
  for (int k = 0; k < 200; ++k) comm.Poll();
  if (const vqx::ResponseRecord* reply = comm.TakeReply()) CheckReply(*reply);
  comm.Close();
  return 0;
}
