#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "posix/posix_serial_port.h"
#include "posix/pty_pair.h"
#include "pty_helpers.h"

namespace vqx::posix {
namespace {

using testing::OpenDescriptorCount;
using testing::ReadFd;
using testing::ReadPort;
using testing::WriteAll;

std::vector<uint8_t> AllByteValues() {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i));
  return bytes;
}

// Another descriptor on the same tty, for reading back what the port set.
termios AttributesOf(const std::string& path) {
  termios t{};
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(fd, 0) << path;
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  ::close(fd);
  return t;
}

class PtySerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(pty.Create(&error)) << error;
  }
  void OpenPort(PosixSerialPort& p, const LineSettings& settings = LineSettings{}) {
    const PortOpenResult result = p.Open(pty.SlavePath().c_str(), settings);
    ASSERT_TRUE(result.ok) << "errno " << result.systemError;
  }

  PtyPair pty;
  PosixSerialPort port;
};

TEST_F(PtySerialPortTest, EveryByteValueFromUnitArrivesUnchangedAndIsNotEchoed) {
  OpenPort(port);
  const std::vector<uint8_t> sent = AllByteValues();
  WriteAll(pty.MasterFd(), sent);

  EXPECT_EQ(ReadPort(port, sent.size(), 2000), sent);
  EXPECT_TRUE(ReadFd(pty.MasterFd(), 1, 100).empty()) << "the port echoed input back";
}

TEST_F(PtySerialPortTest, WrittenBytesArriveAtUnitUnchanged) {
  OpenPort(port);
  const std::vector<uint8_t> line = {'E', 'C', 'H', 'O', ' ', 'O', 'F', 'F', '\r', '\n'};
  EXPECT_EQ(port.Write(line.data(), line.size()), line.size());
  EXPECT_EQ(ReadFd(pty.MasterFd(), line.size(), 1000), line) << "CR or LF was translated";

  const std::vector<uint8_t> all = AllByteValues();
  EXPECT_EQ(port.Write(all.data(), all.size()), all.size());
  EXPECT_EQ(ReadFd(pty.MasterFd(), all.size(), 1000), all);
}

TEST_F(PtySerialPortTest, XoffFromUnitIsDataAndDoesNotStopOutput) {
  OpenPort(port);
  WriteAll(pty.MasterFd(), {0x13});
  EXPECT_EQ(ReadPort(port, 1, 1000), std::vector<uint8_t>{0x13});

  const std::vector<uint8_t> line = {'S', 'T', 'A', 'T', '\r'};
  EXPECT_EQ(port.Write(line.data(), line.size()), line.size());
  EXPECT_EQ(ReadFd(pty.MasterFd(), line.size(), 1000), line);
}

TEST_F(PtySerialPortTest, EmptyQueueReportsZeroAtOnce) {
  OpenPort(port);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(port.QueuedBytes(), 0);
  }
  uint8_t byte = 0;
  EXPECT_FALSE(port.ReadByte(byte));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(PtySerialPortTest, SecondOpenOfSamePortFailsAsBusyUntilFirstCloses) {
  OpenPort(port);
  PosixSerialPort other;
  const PortOpenResult busy = other.Open(pty.SlavePath().c_str(), LineSettings{});
  EXPECT_FALSE(busy.ok);
  EXPECT_EQ(busy.error, PortOpenError::Busy);
  EXPECT_NE(busy.systemError, 0);
  EXPECT_FALSE(other.IsOpen());

  port.Close();
  EXPECT_TRUE(other.Open(pty.SlavePath().c_str(), LineSettings{}).ok);
}

// The tty's exclusive flag as any descriptor of it reads it (as root, open() gets past it).
int ExclusiveFlag(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == EBUSY ? 1 : -1;  // not root: refused because it is set
  int flag = -1;
  if (::ioctl(fd, TIOCGEXCL, &flag) != 0) flag = -1;
  ::close(fd);
  return flag;
}

TEST_F(PtySerialPortTest, RefusedOpenOfAPortHeldByAnotherProgramLeavesItsExclusiveHold) {
  OpenPort(port);  // the other program: lock and exclusive flag
  ASSERT_EQ(ExclusiveFlag(pty.SlavePath()), 1);
  PosixSerialPort other;
  const PortOpenResult busy = other.Open(pty.SlavePath().c_str(), LineSettings{});
  EXPECT_FALSE(busy.ok);
  EXPECT_EQ(busy.error, PortOpenError::Busy);
  EXPECT_EQ(ExclusiveFlag(pty.SlavePath()), 1) << "the holder's hold was taken away";
  port.Close();
  EXPECT_EQ(ExclusiveFlag(pty.SlavePath()), 0) << "the holder clears its own flag";
}

TEST_F(PtySerialPortTest, PortHeldExclusivelyWithoutALockIsBusyAndKeepsItsFlag) {
  // A terminal program that sets TIOCEXCL but takes no lock: root's open() gets in, the
  // port is the other program's all the same.
  const int holder = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
  const PortOpenResult busy = port.Open(pty.SlavePath().c_str(), LineSettings{});
  EXPECT_FALSE(busy.ok);
  EXPECT_EQ(busy.error, PortOpenError::Busy);
  int flag = 0;
  ASSERT_EQ(::ioctl(holder, TIOCGEXCL, &flag), 0);
  EXPECT_EQ(flag, 1);
  ::ioctl(holder, TIOCNXCL);
  ::close(holder);
  EXPECT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{}).ok);
}

TEST_F(PtySerialPortTest, NonexistentNameFailsAsNotFoundAndLeavesPortClosed) {
  const int before = OpenDescriptorCount();
  const PortOpenResult result = port.Open("/dev/ttyVQXnone", LineSettings{});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, PortOpenError::NotFound);
  EXPECT_EQ(result.systemError, ENOENT);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_LT(port.QueuedBytes(), 0);
  const uint8_t byte = 'x';
  EXPECT_EQ(port.Write(&byte, 1), 0u);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(PtySerialPortTest, OverlongOrEmptyNameFailsAsNotFound) {
  const std::string longName(300, 'a');
  const PortOpenResult tooLong = port.Open(longName.c_str(), LineSettings{});
  EXPECT_EQ(tooLong.error, PortOpenError::NotFound);
  EXPECT_EQ(tooLong.systemError, ENAMETOOLONG);
  EXPECT_EQ(port.Open("", LineSettings{}).error, PortOpenError::NotFound);
  EXPECT_EQ(port.Open(nullptr, LineSettings{}).error, PortOpenError::NotFound);
}

TEST_F(PtySerialPortTest, RegularFileFailsAsNotASerialPortWithoutLeakingDescriptor) {
  char path[] = "/tmp/vqx-not-a-port-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  const int before = OpenDescriptorCount();

  const PortOpenResult result = port.Open(path, LineSettings{});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, PortOpenError::NotASerialPort);
  EXPECT_EQ(result.systemError, ENOTTY);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(OpenDescriptorCount(), before);
  ::unlink(path);
}

TEST_F(PtySerialPortTest, FailedReopenReleasesThePreviousPort) {
  OpenPort(port);
  EXPECT_FALSE(port.Open("/dev/ttyVQXnone", LineSettings{}).ok);
  EXPECT_FALSE(port.IsOpen());
  PosixSerialPort other;
  EXPECT_TRUE(other.Open(pty.SlavePath().c_str(), LineSettings{}).ok) << "old port still held";
}

TEST_F(PtySerialPortTest, UnitGoneMidReadMakesQueueNegativeAndKeepsItSo) {
  OpenPort(port);
  WriteAll(pty.MasterFd(), {'O', 'K', '\r', '\n'});
  ASSERT_EQ(ReadPort(port, 2, 1000).size(), 2u);

  pty.Close();
  const auto start = std::chrono::steady_clock::now();
  int32_t queued = 0;
  for (int i = 0; i < 10 && queued >= 0; ++i) {
    queued = port.QueuedBytes();
    uint8_t byte = 0;
    if (queued > 0) port.ReadByte(byte);  // bytes the driver still delivers come first
  }
  EXPECT_LT(queued, 0);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_LT(port.QueuedBytes(), 0);
  }
  uint8_t byte = 0;
  EXPECT_FALSE(port.ReadByte(byte));
  EXPECT_EQ(port.Write(&byte, 1), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  port.Close();
  EXPECT_LT(port.QueuedBytes(), 0) << "a closed port has nothing to read";
}

TEST_F(PtySerialPortTest, SpeedAndStopBitsLandInTheTerminalAttributes) {
  OpenPort(port, LineSettings{115200, 'N', 8, 2});
  termios t = AttributesOf(pty.SlavePath());
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));

  port.Close();
  OpenPort(port, LineSettings{9600, 'N', 8, 1});
  t = AttributesOf(pty.SlavePath());
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
}

// A pty keeps 8 bits and no parity whatever it is asked, and refuses a request that
// changes nothing else: like a USB adapter without 7-bit support, the port still opens.
TEST_F(PtySerialPortTest, ParityAndDataBitsTheDriverIgnoresStillOpen) {
  OpenPort(port, LineSettings{9600, 'N', 8, 1});
  port.Close();
  const PortOpenResult kept = port.Open(pty.SlavePath().c_str(), LineSettings{9600, 'E', 7, 1});
  ASSERT_TRUE(kept.ok);
  EXPECT_TRUE(kept.settingsRefused) << "the pty runs 8 bits without parity, and says so when asked";
  EXPECT_EQ(kept.lineInEffect.dataBits, 8);
  EXPECT_EQ(kept.lineInEffect.parity, 'N');
  port.Close();
  OpenPort(port, LineSettings{9600, 'O', 8, 1});
  const std::vector<uint8_t> line = {'O', 'K', '\r'};
  WriteAll(pty.MasterFd(), line);
  EXPECT_EQ(ReadPort(port, line.size(), 1000), line);
}

// A tty given back its echo while the unit still talks on it (its other end held open)
// would echo the unit's output back into the unit: the line stays raw after the close.
TEST_F(PtySerialPortTest, CloseLeavesTheLineRawSoTheUnitIsNeverEchoedBack) {
  termios before = AttributesOf(pty.SlavePath());
  before.c_lflag |= ECHO | ICANON;
  {
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &before), 0);
    ::close(fd);
  }
  OpenPort(port, LineSettings{19200, 'N', 8, 1});
  port.Close();
  const termios after = AttributesOf(pty.SlavePath());
  EXPECT_EQ(after.c_lflag & (ECHO | ICANON), 0u);
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B19200));
}

TEST_F(PtySerialPortTest, LineIsRawWithModemLinesIgnoredAndNoFlowControl) {
  OpenPort(port);
  const termios t = AttributesOf(pty.SlavePath());
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | PARMRK), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
}

TEST_F(PtySerialPortTest, RateWithoutDriverConstantOpensAndKeepsPreviousSpeed) {
  OpenPort(port, LineSettings{57600, 'N', 8, 1});
  port.Close();
  // A rate without a constant keeps the speed the line had, and the open says so.
  const PortOpenResult result = port.Open(pty.SlavePath().c_str(), LineSettings{12345, 'N', 8, 2});
  ASSERT_TRUE(result.ok);
  const termios t = AttributesOf(pty.SlavePath());
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u) << "the other settings still apply";
  EXPECT_TRUE(result.settingsRefused);
  EXPECT_EQ(result.lineInEffect.stopBits, 2);
}

TEST_F(PtySerialPortTest, LargeWriteIsCompleteWhileUnitReadsSlowly) {
  OpenPort(port);
  std::vector<uint8_t> data(256 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);

  std::vector<uint8_t> received;
  std::thread unit([&] { received = ReadFd(pty.MasterFd(), data.size(), 2000); });
  const size_t written = port.Write(data.data(), data.size());
  unit.join();
  EXPECT_EQ(written, data.size());
  EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

TEST(PtySerialPortTimeoutTest, WriteToUnitThatNeverReadsGivesUpWithPartialCount) {
  PtyPair pty;
  std::string error;
  ASSERT_TRUE(pty.Create(&error)) << error;
  PosixSerialPort port(RealSysCalls(), 200);
  ASSERT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{}).ok);

  const std::vector<uint8_t> data(4 * 1024 * 1024, 'x');
  const auto start = std::chrono::steady_clock::now();
  const size_t written = port.Write(data.data(), data.size());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, data.size());
  EXPECT_GE(took, std::chrono::milliseconds(150));
  EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST_F(PtySerialPortTest, CloseAndReopenWhilePollingOnAnotherThreadIsSafe) {
  OpenPort(port);
  std::atomic<bool> stop{false};
  std::atomic<int> bytesSeen{0};
  std::thread worker([&] {
    while (!stop.load()) {
      const int32_t queued = port.QueuedBytes();
      uint8_t byte = 0;
      if (queued > 0 && port.ReadByte(byte)) bytesSeen.fetch_add(1);
      const uint8_t probe = '\r';
      port.Write(&probe, 1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    WriteAll(pty.MasterFd(), {'O', 'K'});
    port.Close();
    ASSERT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{}).ok);
    ReadFd(pty.MasterFd(), 1u << 20, 0);  // keep the unit's side from filling up
  }
  // After all that churn the port still delivers to the polling thread.
  const int before = bytesSeen.load();
  WriteAll(pty.MasterFd(), {'O', 'K'});
  for (int i = 0; i < 2000 && bytesSeen.load() == before; ++i) {
    ReadFd(pty.MasterFd(), 1u << 20, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop.store(true);
  worker.join();
  EXPECT_GT(bytesSeen.load(), before);
}

TEST(PtyPairTest, MovedPairKeepsDescriptorsAndSourceOwnsNothing) {
  PtyPair first;
  std::string error;
  ASSERT_TRUE(first.Create(&error)) << error;
  const int master = first.MasterFd();
  const std::string path = first.SlavePath();

  PtyPair second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.MasterFd(), master);
  EXPECT_EQ(second.SlavePath(), path);

  PtyPair third;
  ASSERT_TRUE(third.Create(&error)) << error;
  third = std::move(second);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(third.MasterFd(), master);
  EXPECT_GE(::fcntl(master, F_GETFD), 0);
  EXPECT_NE(::fcntl(master, F_GETFD) & FD_CLOEXEC, 0);
}

TEST(PtyPairTest, UnitSurvivesUtilityClosingAndReopeningThePort) {
  PtyPair pty;
  std::string error;
  ASSERT_TRUE(pty.Create(&error)) << error;
  PosixSerialPort port;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(port.Open(pty.SlavePath().c_str(), LineSettings{}).ok);
    const uint8_t ask[] = {'V', 'E', 'R', '\r'};
    ASSERT_EQ(port.Write(ask, sizeof ask), sizeof ask);
    port.Close();
    EXPECT_EQ(ReadFd(pty.MasterFd(), sizeof ask, 1000).size(), sizeof ask) << "round " << round;
  }
  EXPECT_EQ(::write(pty.MasterFd(), "OK\r\n", 4), 4) << "master saw a hang-up";
}

// The line detection moves from setting to setting on the open port: no close, so no DTR
// drop and no moment in which another program could take the port.
TEST_F(PtySerialPortTest, LineSettingsChangeOnTheOpenPortAndDropWhatWasReadAhead) {
  OpenPort(port);
  WriteAll(pty.MasterFd(), std::vector<uint8_t>{'x', 'y'});
  ASSERT_EQ(ReadPort(port, 1, 2000), std::vector<uint8_t>{'x'});  // 'y' waits in the port's buffer
  LineSettings settings;
  settings.baudRate = 57600;
  settings.stopBits = 2;
  settings.parity = 'O';
  ASSERT_TRUE(port.ChangeLineSettings(settings));
  EXPECT_TRUE(port.IsOpen());
  termios master{};
  ASSERT_EQ(::tcgetattr(pty.MasterFd(), &master), 0);
  EXPECT_EQ(cfgetospeed(&master), static_cast<speed_t>(B57600));
  EXPECT_NE(master.c_cflag & CSTOPB, 0u);
  EXPECT_NE(master.c_cflag & PARODD, 0u);
  EXPECT_EQ(port.QueuedBytes(), 0) << "what came at the old settings is gone";

  const std::vector<uint8_t> line = {'+', '+', '+'};
  EXPECT_EQ(port.Write(line.data(), line.size()), line.size());
  EXPECT_EQ(ReadFd(pty.MasterFd(), line.size(), 2000), line);
  settings.baudRate = 12345;  // no speed the system names: unchanged, the caller reopens
  EXPECT_FALSE(port.ChangeLineSettings(settings));
  port.Close();
  EXPECT_FALSE(port.ChangeLineSettings(LineSettings{}));
}

}  // namespace
}  // namespace vqx::posix
