#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "faulty_sys_calls.h"
#include "posix/posix_serial_port.h"
#include "posix/pty_pair.h"
#include "posix/termios_setup.h"
#include "pty_helpers.h"

namespace vqx::posix {
namespace {

using testing::FaultySysCalls;
using testing::OpenDescriptorCount;
using testing::ReadFd;
using testing::ReadPort;
using testing::WriteAll;

// A real pty behind the port, with failures injected in front of the system calls.
class SerialPortFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(pty.Create(&error)) << error;
  }
  PortOpenResult OpenPort() { return port.Open(pty.SlavePath().c_str(), LineSettings{}); }

  PtyPair pty;
  FaultySysCalls sys;
  PosixSerialPort port{sys, 500};
};

// tcsetattr reports success when the driver took any part of the request: only the
// attributes read back tell whether the speed was among it.
TEST_F(SerialPortFaultTest, ASpeedTheDriverDidNotTakeIsReportedThoughTcsetattrSucceeded) {
  sys.keepsSpeed = true;
  ASSERT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{9600, 'N', 8, 1}).ok);
  EXPECT_FALSE(sys.setRequests.empty());
  const PortOpenResult result = port.Open(pty.SlavePath().c_str(), LineSettings{230400, 'N', 8, 1});
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(port.IsOpen());
  ASSERT_TRUE(result.settingsRefused);
  EXPECT_NE(result.lineInEffect.baudRate, 230400) << "the pty's own speed";
  EXPECT_EQ(DescribeRefusedLineSettings("/dev/ttyUSB0", LineSettings{230400, 'N', 8, 1},
                                        LineSettings{9600, 'N', 8, 1}),
            "/dev/ttyUSB0 is open, but its driver refused 230400 baud; the line runs at 9600 baud");

  sys.keepsSpeed = false;
  const PortOpenResult taken = port.Open(pty.SlavePath().c_str(), LineSettings{230400, 'N', 8, 1});
  ASSERT_TRUE(taken.ok);
  EXPECT_FALSE(taken.settingsRefused);
}

TEST_F(SerialPortFaultTest, OpenFlushesBothQueuesOfWhatAnEarlierProgramLeft) {
  WriteAll(pty.MasterFd(), {'O', 'K', '\n', '\r'});
  sys.outputQueued = {6};  // and six bytes it left unsent
  ASSERT_TRUE(OpenPort().ok);
  ASSERT_FALSE(sys.flushes.empty());
  EXPECT_EQ(sys.flushes.back(), TCIOFLUSH);
  EXPECT_EQ(port.QueuedBytes(), 0) << "a stale OK is never taken for a reply";
}

// A pseudo-terminal hands written bytes to its other side at once. Reopening the port (at
// the unit's new line settings after an update) must not throw away the lines the unit
// has not read yet, SAVE among them; stale input is still dropped.
TEST_F(SerialPortFaultTest, ReopeningKeepsWrittenBytesTheOtherSideHasNotReadYet) {
  ASSERT_TRUE(OpenPort().ok);
  const std::string line = "SAVE\r";
  ASSERT_EQ(port.Write(reinterpret_cast<const uint8_t*>(line.data()), line.size()), line.size());
  WriteAll(pty.MasterFd(), {'O', 'K', '\n', '\r'});
  port.Close();
  ASSERT_TRUE(OpenPort().ok);
  EXPECT_EQ(sys.flushes.back(), TCIFLUSH);
  EXPECT_EQ(port.QueuedBytes(), 0) << "a stale OK is never taken for a reply";
  pollfd ready{pty.MasterFd(), POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 2000), 1) << "SAVE never reached the other side";
  char got[16] = {};
  const ssize_t n = read(pty.MasterFd(), got, sizeof got);
  EXPECT_EQ(std::string(got, n > 0 ? static_cast<size_t>(n) : 0), line);
}

TEST_F(SerialPortFaultTest, InterruptedReadsAreRetried) {
  ASSERT_TRUE(OpenPort().ok);
  WriteAll(pty.MasterFd(), {'O', 'K'});
  usleep(20000);  // let the pty deliver
  sys.readFaults = {EINTR, EINTR, EINTR};
  EXPECT_EQ(port.QueuedBytes(), 2);
  EXPECT_EQ(sys.readCalls, 4);
}

TEST_F(SerialPortFaultTest, ReadErrorsAndHangUpReportThePortGoneUntilReopened) {
  for (const int fault : {EIO, ENXIO, FaultySysCalls::kHangUp, EBADF}) {
    SCOPED_TRACE(fault);
    ASSERT_TRUE(OpenPort().ok);
    sys.readFaults = {fault};
    EXPECT_LT(port.QueuedBytes(), 0);
    WriteAll(pty.MasterFd(), {'X'});  // the real read would now succeed
    usleep(20000);
    const int callsBefore = sys.readCalls;
    EXPECT_LT(port.QueuedBytes(), 0);
    uint8_t byte = 0;
    EXPECT_FALSE(port.ReadByte(byte));
    EXPECT_EQ(sys.readCalls, callsBefore) << "a gone port is not read again";

    ASSERT_TRUE(OpenPort().ok);
    EXPECT_EQ(port.QueuedBytes(), 0) << "what came before the open is flushed";
    WriteAll(pty.MasterFd(), {'X'});
    usleep(20000);
    EXPECT_EQ(port.QueuedBytes(), 1) << "reopening clears the loss";
    EXPECT_TRUE(port.ReadByte(byte));
    EXPECT_EQ(byte, 'X');
    port.Close();
  }
}

TEST_F(SerialPortFaultTest, EmptyQueueCostsOneReadPerQuery) {
  ASSERT_TRUE(OpenPort().ok);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(port.QueuedBytes(), 0);
  EXPECT_EQ(sys.readCalls, 100);
}

TEST_F(SerialPortFaultTest, BufferedBytesAreCountedWithoutFurtherReads) {
  ASSERT_TRUE(OpenPort().ok);
  WriteAll(pty.MasterFd(), {'1', '2', '3'});
  usleep(20000);
  ASSERT_EQ(port.QueuedBytes(), 3);
  uint8_t byte = 0;
  ASSERT_TRUE(port.ReadByte(byte));
  EXPECT_EQ(byte, '1');
  EXPECT_EQ(port.QueuedBytes(), 2);
  ASSERT_TRUE(port.ReadByte(byte));
  EXPECT_EQ(port.QueuedBytes(), 1);
  ASSERT_TRUE(port.ReadByte(byte));
  EXPECT_EQ(byte, '3');
  EXPECT_EQ(sys.readCalls, 1);
}

TEST_F(SerialPortFaultTest, ShortAndInterruptedWritesAreContinuedToTheEnd) {
  ASSERT_TRUE(OpenPort().ok);
  const std::string text = "ECHO OFF\r\n";
  const std::vector<uint8_t> line(text.begin(), text.end());
  sys.writeFaults = {FaultySysCalls::ShortWrite(1), EINTR, FaultySysCalls::ShortWrite(2),
                     EAGAIN, FaultySysCalls::ShortWrite(3)};
  EXPECT_EQ(port.Write(line.data(), line.size()), line.size());
  EXPECT_EQ(ReadFd(pty.MasterFd(), line.size(), 1000), line);
  EXPECT_GE(sys.pollCalls, 1) << "a full queue is waited for, not spun on";
}

TEST_F(SerialPortFaultTest, WriteErrorReturnsWhatWentOut) {
  ASSERT_TRUE(OpenPort().ok);
  const std::vector<uint8_t> line = {'S', 'A', 'V', 'E', '\r', '\n'};
  sys.writeFaults = {FaultySysCalls::ShortWrite(3), EIO};
  EXPECT_EQ(port.Write(line.data(), line.size()), 3u);
  EXPECT_EQ(ReadFd(pty.MasterFd(), 6, 200), (std::vector<uint8_t>{'S', 'A', 'V'}));
  EXPECT_LT(port.QueuedBytes(), 0) << "EIO on write is a lost device too";

  ASSERT_TRUE(OpenPort().ok);
  sys.writeFaults = {EBADF};
  EXPECT_EQ(port.Write(line.data(), line.size()), 0u);
}

TEST_F(SerialPortFaultTest, OpenErrorsMapToReasons) {
  struct Case {
    int err;
    PortOpenError expected;
  };
  const Case cases[] = {
      {ENOENT, PortOpenError::NotFound},         {ENODEV, PortOpenError::NotFound},
      {ENXIO, PortOpenError::NotFound},          {EBUSY, PortOpenError::Busy},
      {EACCES, PortOpenError::PermissionDenied}, {EPERM, PortOpenError::PermissionDenied},
      {EMFILE, PortOpenError::Other},
  };
  for (const Case& c : cases) {
    sys.openFaults = {c.err};
    const PortOpenResult result = OpenPort();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.expected) << "errno " << c.err;
    EXPECT_EQ(result.systemError, c.err);
  }
  sys.openFaults = {EINTR};
  EXPECT_TRUE(OpenPort().ok) << "an interrupted open is retried";
}

TEST_F(SerialPortFaultTest, FailuresAfterOpenCloseTheDescriptor) {
  const int before = OpenDescriptorCount();
  sys.flockFaults = {EWOULDBLOCK};
  PortOpenResult result = OpenPort();
  EXPECT_EQ(result.error, PortOpenError::Busy);
  EXPECT_EQ(OpenDescriptorCount(), before);

  sys.flockFaults = {ENOLCK};
  EXPECT_EQ(OpenPort().error, PortOpenError::Other);
  EXPECT_EQ(OpenDescriptorCount(), before);

  sys.tcGetAttrFaults = {ENOTTY};
  result = OpenPort();
  EXPECT_EQ(result.error, PortOpenError::NotASerialPort);
  EXPECT_EQ(result.systemError, ENOTTY);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(SerialPortFaultTest, LineThatCannotBeMadeRawFailsToOpen) {
  const int probe = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  termios cooked{};
  ASSERT_EQ(::tcgetattr(probe, &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO;
  cooked.c_iflag |= ICRNL;
  ASSERT_EQ(::tcsetattr(probe, TCSANOW, &cooked), 0);
  ::close(probe);
  const int before = OpenDescriptorCount();

  sys.tcSetAttrFaults = {EINVAL, EINVAL};
  const PortOpenResult result = OpenPort();
  EXPECT_EQ(result.error, PortOpenError::Other);
  EXPECT_EQ(result.systemError, EINVAL);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(OpenDescriptorCount(), before);

  EXPECT_TRUE(OpenPort().ok) << "without the fault the same line is made raw";
}

TEST_F(SerialPortFaultTest, RequestedLineSettingsReachTheDriver) {
  ASSERT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{115200, 'E', 7, 2}).ok);
  ASSERT_FALSE(sys.setRequests.empty());
  const termios& asked = sys.setRequests.front();
  EXPECT_EQ(asked.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  EXPECT_EQ(asked.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB));
  EXPECT_NE(asked.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(cfgetospeed(&asked), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetispeed(&asked), static_cast<speed_t>(B115200));
  EXPECT_TRUE(IsRaw(asked));
}

TEST_F(SerialPortFaultTest, RefusedSpeedIsRetriedWithTheDriversSpeed) {
  ASSERT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{9600, 'N', 8, 1}).ok);
  port.Close();
  // Closing gave the device its own speed back: that is the driver's speed now.
  termios own{};
  ASSERT_EQ(::tcgetattr(pty.MasterFd(), &own), 0);  // a pty master reads the slave's settings
  sys.setRequests.clear();
  sys.tcSetAttrFaults = {EINVAL};
  const PortOpenResult result = port.Open(pty.SlavePath().c_str(), LineSettings{230400, 'N', 8, 2});
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(sys.setRequests.size(), 2u);
  EXPECT_EQ(cfgetospeed(&sys.setRequests[1]), cfgetospeed(&own));
  EXPECT_TRUE(result.settingsRefused);
  EXPECT_NE(sys.setRequests[1].c_cflag & CSTOPB, 0u) << "the other settings are kept";
}

TEST_F(SerialPortFaultTest, DrainWaitsWhileTheDriverHoldsBytesThenWaitsOutTheHardwareThroughInterrupts) {
  ASSERT_TRUE(OpenPort().ok);
  sys.fixedTime = true;
  sys.sleepMovesTime = true;
  sys.outputQueued = {40, 12, 3, 0};
  sys.tcDrainFaults = {EINTR, EINTR};
  EXPECT_TRUE(port.Drain(1000));
  EXPECT_EQ(sys.tcDrainCalls, 3) << "tcdrain only once the queue is empty, retried when interrupted";
  EXPECT_EQ(sys.sleepRequests.size(), 3u);
  for (const timespec& request : sys.sleepRequests) EXPECT_LE(request.tv_nsec, 2000000L);
}

TEST_F(SerialPortFaultTest, DrainOfALineThatStandsStillGivesUpAtItsLimitWithoutBlockingInTcdrain) {
  ASSERT_TRUE(OpenPort().ok);
  sys.fixedTime = true;
  sys.sleepMovesTime = true;
  sys.stuckOutputQueue = 17;  // flow control held: the driver never sends
  EXPECT_FALSE(port.Drain(20));
  EXPECT_EQ(sys.tcDrainCalls, 0);
  EXPECT_EQ(sys.now.tv_sec * 1000 + sys.now.tv_nsec / 1000000, 20);
  // The port is still usable: the line may move again.
  sys.stuckOutputQueue = -1;
  EXPECT_TRUE(port.Drain(20));
}

TEST_F(SerialPortFaultTest, DrainOnAHungUpLineReportsThePortGone) {
  ASSERT_TRUE(OpenPort().ok);
  sys.outputQueued = {0};
  sys.tcDrainFaults = {EIO};
  EXPECT_FALSE(port.Drain(100));
  EXPECT_LT(port.QueuedBytes(), 0);
  port.Close();
  EXPECT_FALSE(port.Drain(100)) << "nothing open";
}

TEST_F(SerialPortFaultTest, LineSettingsTheDriverRefusesLeaveThePortAsItWas) {
  ASSERT_TRUE(OpenPort().ok);
  LineSettings settings;
  settings.baudRate = 19200;
  sys.tcSetAttrFaults = {EINVAL};
  EXPECT_FALSE(port.ChangeLineSettings(settings));
  termios now{};
  ASSERT_EQ(::tcgetattr(pty.MasterFd(), &now), 0);
  EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B9600));
  // Interrupted calls are retried: the change goes through.
  sys.tcSetAttrFaults = {EINTR, EINTR};
  EXPECT_TRUE(port.ChangeLineSettings(settings));
  ASSERT_EQ(::tcgetattr(pty.MasterFd(), &now), 0);
  EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B19200));
  EXPECT_TRUE(port.IsOpen());
}

}  // namespace
}  // namespace vqx::posix
