#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "faulty_sys_calls.h"
#include "posix/monotonic_clock.h"
#include "posix/posix_serial_port.h"
#include "posix/termios_setup.h"
#include "system_port.h"

namespace vqx {
namespace {

using posix::testing::FaultySysCalls;

TEST(ResolvePortNameTest, WindowsNamesMapToSerialDevicesAndOthersToDev) {
  EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortName("COM2"), "/dev/ttyS1");
  EXPECT_EQ(ResolvePortName("COM10"), "/dev/ttyS9");
  EXPECT_EQ(ResolvePortName("com3"), "/dev/ttyS2");
  EXPECT_EQ(ResolvePortName("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortName("/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(ResolvePortName("/tmp/x"), "/tmp/x");
  // Not a port number: taken as a device name.
  EXPECT_EQ(ResolvePortName("COM0"), "/dev/COM0");
  EXPECT_EQ(ResolvePortName("COM"), "/dev/COM");
  EXPECT_EQ(ResolvePortName("COM1x"), "/dev/COM1x");
  EXPECT_EQ(ResolvePortName("COMPORT"), "/dev/COMPORT");
}

PortOpenResult Failure(PortOpenError error, int systemError) {
  PortOpenResult result;
  result.error = error;
  result.systemError = systemError;
  return result;
}

TEST(DescribePortOpenFailureTest, EachReasonNamesTheDeviceOnOneLine) {
  const std::string busy = DescribePortOpenFailure("ttyUSB0", Failure(PortOpenError::Busy, EBUSY));
  EXPECT_EQ(busy, "/dev/ttyUSB0 is in use by another program.");
  const std::string missing =
      DescribePortOpenFailure("COM10", Failure(PortOpenError::NotFound, ENOENT));
  EXPECT_EQ(missing.rfind("/dev/ttyS9 does not exist", 0), 0u) << missing;
  EXPECT_EQ(DescribePortOpenFailure("/tmp/f", Failure(PortOpenError::NotASerialPort, ENOTTY)),
            "/tmp/f is not a serial port.");
  const std::string other =
      DescribePortOpenFailure("ttyUSB0", Failure(PortOpenError::Other, EMFILE));
  EXPECT_NE(other.find("/dev/ttyUSB0 could not be opened: "), std::string::npos) << other;
  EXPECT_GT(other.size(), std::string("/dev/ttyUSB0 could not be opened: .").size());

  const std::string hostile =
      DescribePortOpenFailure("tty\nUSB0\x1b[2J", Failure(PortOpenError::NotFound, ENOENT));
  EXPECT_EQ(hostile.find('\n'), std::string::npos);
  EXPECT_EQ(hostile.find('\x1b'), std::string::npos);
  EXPECT_TRUE(DescribePortOpenFailure("ttyS0", PortOpenResult{true, PortOpenError::None, 0, false, {}, {}, {}})
                  .empty());
}

class PermissionDeniedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(::chmod(path, 0660), 0);
  }
  void TearDown() override { ::unlink(path); }
  char path[32] = "/tmp/vqx-port-XXXXXX";
};

TEST_F(PermissionDeniedTest, RefusedOpenNamesTheDevicesGroupToJoin) {
  ASSERT_EQ(::chown(path, 0, 20), 0);  // gid 20 is "dialout" on Debian
  FaultySysCalls sys;
  sys.openFaults = {EACCES};
  posix::PosixSerialPort port(sys);
  const PortOpenResult result = port.Open(path, LineSettings{});
  ASSERT_EQ(result.error, PortOpenError::PermissionDenied);
  EXPECT_EQ(DescribePortOpenFailure(path, result),
            "Permission denied on " + std::string(path) +
                ": add your user to the group 'dialout' (sudo usermod -aG dialout $USER) and "
                "log in again.");
}

TEST_F(PermissionDeniedTest, RootOwnedDeviceSendsTheUserToTheAdministrator) {
  ASSERT_EQ(::chown(path, 0, 0), 0);
  const std::string text =
      DescribePortOpenFailure(path, Failure(PortOpenError::PermissionDenied, EACCES));
  EXPECT_EQ(text.find("usermod"), std::string::npos) << text;
  EXPECT_NE(text.find("administrator"), std::string::npos) << text;
}

TEST(LineSettingsTest, UnsupportedValuesFallBackToEightNoneOne) {
  struct Case {
    LineSettings settings;
    tcflag_t size;
    tcflag_t parity;
    tcflag_t stop;
  };
  const Case cases[] = {
      {{9600, 'N', 5, 1}, CS8, 0, 0},        {{9600, 'N', 6, 0}, CS8, 0, 0},
      {{9600, 'M', 7, 3}, CS7, 0, 0},        {{9600, 'S', 8, 2}, CS8, 0, CSTOPB},
      {{9600, 'e', 8, 1}, CS8, 0, 0},        {{9600, 'E', 8, 1}, CS8, PARENB, 0},
      {{9600, 'O', 7, 2}, CS7, PARENB | PARODD, CSTOPB},
  };
  for (const Case& c : cases) {
    termios t{};
    t.c_cflag = CS7 | PARENB | PARODD | CSTOPB;  // whatever the driver had before
    posix::ApplyLineSettings(t, c.settings);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size) << c.settings.dataBits;
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), c.parity) << c.settings.parity;
    EXPECT_EQ(t.c_cflag & CSTOPB, c.stop) << c.settings.stopBits;
  }
}

TEST(LineSettingsTest, StandardRatesHaveSpeedsAndOthersLeaveTheSpeedAlone) {
  speed_t speed = 0;
  EXPECT_TRUE(posix::SpeedForBaud(9600, &speed));
  EXPECT_EQ(speed, static_cast<speed_t>(B9600));
  EXPECT_TRUE(posix::SpeedForBaud(230400, &speed));
  EXPECT_EQ(speed, static_cast<speed_t>(B230400));
  for (const int32_t odd : {0, -9600, 12345, 9601}) {
    termios t{};
    cfsetospeed(&t, B4800);
    EXPECT_FALSE(posix::ApplyLineSettings(t, LineSettings{odd, 'N', 8, 1})) << odd;
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800)) << odd;
  }
}

TEST(MonotonicClockTest, MillisecondsWrapAt32Bits) {
  FaultySysCalls sys;
  sys.fixedTime = true;
  posix::MonotonicClock clock(sys);
  sys.now = {4294967, 295999999};  // 4294967295.999 ms: the last value before the wrap
  const uint32_t before = clock.NowMs();
  EXPECT_EQ(before, 0xFFFFFFFFu);
  sys.now = {4294967, 305000000};
  const uint32_t after = clock.NowMs();
  EXPECT_EQ(after, 9u);
  EXPECT_EQ(ElapsedMs(after, before), 10u);
}

TEST(MonotonicClockTest, InterruptedSleepSleepsTheRemainder) {
  FaultySysCalls sys;
  posix::MonotonicClock clock(sys);
  sys.sleepInterruptions = {1500, 20};
  clock.SleepMs(2100);
  ASSERT_EQ(sys.sleepRequests.size(), 3u);
  EXPECT_EQ(sys.sleepRequests[0].tv_sec, 2);
  EXPECT_EQ(sys.sleepRequests[0].tv_nsec, 100000000L);
  EXPECT_EQ(sys.sleepRequests[1].tv_sec, 1);
  EXPECT_EQ(sys.sleepRequests[1].tv_nsec, 500000000L);
  EXPECT_EQ(sys.sleepRequests[2].tv_sec, 0);
  EXPECT_EQ(sys.sleepRequests[2].tv_nsec, 20000000L);
}

TEST(MonotonicClockTest, SystemClockAdvancesAcrossASleep) {
  IClock& clock = SystemClock();
  EXPECT_EQ(&clock, &SystemClock());
  const uint32_t start = clock.NowMs();
  clock.SleepMs(30);
  const uint32_t elapsed = ElapsedMs(clock.NowMs(), start);
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 1000u);
}

TEST(CreateSystemSerialPortTest, GivesAClosedPort) {
  const auto port = CreateSystemSerialPort();
  ASSERT_NE(port, nullptr);
  EXPECT_LT(port->QueuedBytes(), 0);
  port->Close();
  port->Close();
}

}  // namespace
}  // namespace vqx
