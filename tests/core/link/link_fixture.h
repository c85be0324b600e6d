#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "link/serial_comm.h"
#include "support/fake_link_parts.h"

namespace vqx::testing {

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() { comm.AttachHost(&host); }

  void OpenPort() { ASSERT_TRUE(comm.Open("COM1", 9600, 'N', 8, 1)); }

  void PollTimes(int n) {
    for (int i = 0; i < n; ++i) comm.Poll();
  }
  // Time checks run on every 100th eligible Poll: this many calls always include one.
  void PollThroughTimeCheck() { PollTimes(100); }
  void AdvanceAndCheck(uint32_t ms) {
    clock.Advance(ms);
    PollThroughTimeCheck();
  }
  // Polls until the link leaves the reading flow or the bytes run out.
  void PollUntilDrained(int limit = 10000) {
    for (int i = 0; i < limit && !port.incoming.empty(); ++i) comm.Poll();
  }

  // Runs the escape to ProbeSent; returns with "+++" and the probe CR taken from the port.
  void EscapeToProbe() {
    ASSERT_TRUE(comm.StartCommandMode());
    AdvanceAndCheck(kEscapeGuardMs + 1);
    ASSERT_EQ(comm.GetState(), LinkState::EscapeSent);
    AdvanceAndCheck(kEscapeGuardMs + 1);
    ASSERT_EQ(comm.GetState(), LinkState::ProbeSent);
    ASSERT_EQ(port.TakeWritten(), "+++\r");
  }

  CommandRecord Query(int32_t id) {
    CommandRecord r;
    r.commandId = id;
    r.value = -1;
    return r;
  }

  FakeSerialPort port;
  FakeClock clock;
  RecordingHost host;
  CSerialComm comm{port, clock};
};

}  // namespace vqx::testing
