// The port survey and the diagnosis of a port that will not open, on a machine made of
// injected system calls: no test depends on this machine's devices or user.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "posix/port_survey.h"
#include "support/vqxctl_runner.h"

namespace vqx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Directories, links, small files and device nodes that exist only in the test.
class FakeMachine : public posix::SysCalls {
 public:
  std::map<std::string, std::vector<std::string>> directories;
  std::map<std::string, std::string> links;
  std::map<std::string, std::string> files;
  std::map<std::string, int> openErrors;   // device path -> errno of open()
  std::map<std::string, int> lockErrors;   // device path -> errno of flock()
  std::set<std::string> exclusive;          // device paths held with TIOCEXCL
  std::map<std::string, gid_t> groups;
  std::vector<std::string> opened;
  int openCount = 0;
  int closeCount = 0;

  int Open(const char* path, int /*flags*/) override {
    const std::string p = path;
    if (const auto e = openErrors.find(p); e != openErrors.end()) return Fail(e->second);
    if (files.count(p) == 0 && !IsDevice(p)) return Fail(ENOENT);
    opened.push_back(p);
    ++openCount;
    return static_cast<int>(1000 + opened.size() - 1);
  }
  int Close(int /*fd*/) override {
    ++closeCount;
    return 0;
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    const std::string& content = files[opened[static_cast<size_t>(fd - 1000)]];
    const size_t n = std::min(size, content.size());
    std::memcpy(buffer, content.data(), n);
    return static_cast<ssize_t>(n);
  }
  int TcGetAttr(int /*fd*/, termios* attributes) override {
    *attributes = termios{};
    return 0;
  }
  // TIOCGEXCL: 1 for the devices another program holds with TIOCEXCL (which root's open()
  // gets past).
  int IoctlInt(int fd, unsigned long request, int* value) override {
    if (request != TIOCGEXCL) return Fail(ENOTTY);
    *value = exclusive.count(opened[static_cast<size_t>(fd - 1000)]) != 0 ? 1 : 0;
    return 0;
  }
  int Flock(int fd, int operation) override {
    if ((operation & LOCK_UN) != 0) return 0;
    const auto e = lockErrors.find(opened[static_cast<size_t>(fd - 1000)]);
    return e != lockErrors.end() ? Fail(e->second) : 0;
  }
  int Stat(const char* path, struct stat* info) override {
    const auto g = groups.find(path);
    if (g == groups.end()) return Fail(ENOENT);
    *info = {};
    info->st_gid = g->second;
    return 0;
  }
  ssize_t ReadLink(const char* path, char* buffer, size_t size) override {
    const auto l = links.find(path);
    if (l == links.end()) return Fail(EINVAL);
    const size_t n = std::min(size, l->second.size());
    std::memcpy(buffer, l->second.data(), n);
    return static_cast<ssize_t>(n);
  }
  int ListDirectory(const char* path, std::vector<std::string>* names) override {
    const auto d = directories.find(path);
    if (d == directories.end()) return Fail(ENOENT);
    *names = d->second;
    return 0;
  }
  pid_t GetPid() override { return 77; }

  // A process with the device open on descriptor 5.
  void Holds(const std::string& pid, const std::string& command, const std::string& device) {
    directories["/proc"].push_back(pid);
    directories["/proc/" + pid + "/fd"] = {"0", "1", "5"};
    links["/proc/" + pid + "/fd/0"] = "/dev/null";
    links["/proc/" + pid + "/fd/5"] = device;
    files["/proc/" + pid + "/comm"] = command + "\n";
  }

 private:
  bool IsDevice(const std::string& path) const {
    const auto& dev = directories.find("/dev");
    if (dev == directories.end()) return false;
    for (const std::string& name : dev->second) {
      if ("/dev/" + name == path) return true;
    }
    return false;
  }
  static int Fail(int err) {
    errno = err;
    return -1;
  }
};

std::string GroupName(gid_t gid) {
  const group* g = ::getgrgid(gid);
  return g != nullptr ? g->gr_name : std::to_string(gid);
}

class PortSurveyTest : public ::testing::Test {
 protected:
  PortSurveyTest() {
    machine.directories["/dev"] = {"null", "tty", "ttyS0", "ttyS1", "ttyUSB0", "ttyUSB1", "ttyACM0", "ttyUSBx"};
    machine.directories["/proc"] = {"self", "1"};
    machine.directories["/proc/1/fd"] = {};
    // The 8250 driver's node without a UART behind it.
    machine.files["/sys/class/tty/ttyS1/type"] = "0\n";
    machine.files["/sys/class/tty/ttyS0/type"] = "4\n";
    machine.directories["/dev/serial/by-id"] = {"usb-FTDI_FT232R_A1B2-if00-port0"};
    machine.links["/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0"] = "../../ttyUSB0";
  }
  // vqxctl ports on the fake machine.
  testing::VqxctlOutcome SurveyPorts() {
    return testing::RunVqxctlWith({"ports"}, [this](cli::CliEnvironment& env) {
      env.listPorts = [this] { return posix::ListSerialPorts(machine); };
    });
  }
  FakeMachine machine;
};

TEST_F(PortSurveyTest, ListsSerialDevicesWithStableNamesAndSkipsUartsThatAreNotThere) {
  const std::vector<SerialPortEntry> ports = posix::ListSerialPorts(machine);
  std::vector<std::string> devices;
  for (const SerialPortEntry& p : ports) devices.push_back(p.device);
  EXPECT_THAT(devices, ElementsAre("/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"));
  EXPECT_THAT(ports[2].stableNames, ElementsAre("/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0"));
  for (const SerialPortEntry& p : ports) {
    EXPECT_TRUE(p.canOpen) << p.device;
    EXPECT_EQ(p.problem, "") << p.device;
  }
  // Every probe is released again.
  EXPECT_EQ(machine.closeCount, machine.openCount);

  // Names only (the desktop program's dialog): the same ports, none of them opened.
  machine.opened.clear();
  const std::vector<SerialPortEntry> named = posix::ListSerialPorts(machine, false);
  ASSERT_EQ(named.size(), ports.size());
  EXPECT_THAT(named[2].stableNames, ElementsAre("/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0"));
  for (const std::string& path : machine.opened) EXPECT_EQ(path.rfind("/dev/", 0), std::string::npos) << path;
}

TEST_F(PortSurveyTest, BusyPortNamesTheProcessHoldingItAndDeniedPortNamesTheGroupToJoin) {
  machine.openErrors["/dev/ttyUSB0"] = EBUSY;
  machine.Holds("4242", "picocom", "/dev/ttyUSB0");
  machine.openErrors["/dev/ttyUSB1"] = EACCES;
  machine.groups["/dev/ttyUSB1"] = 20;
  machine.lockErrors["/dev/ttyACM0"] = EWOULDBLOCK;  // held by a program that locks it
  machine.Holds("99", "vqxsu", "/dev/ttyACM0");

  const testing::VqxctlOutcome run = SurveyPorts();
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string group = GroupName(20);
  EXPECT_EQ(run.out,
            "/dev/ttyACM0: cannot be opened\n"
            "    /dev/ttyACM0 is in use by another program: vqxsu (PID 99). Close it and try again.\n"
            "/dev/ttyS0: can be opened\n"
            "/dev/ttyUSB0: cannot be opened\n"
            "    stable name: /dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0\n"
            "    /dev/ttyUSB0 is in use by another program: picocom (PID 4242). Close it and try again.\n"
            "/dev/ttyUSB1: cannot be opened\n"
            "    Permission denied on /dev/ttyUSB1: add your user to the group '" + group +
                "' (sudo usermod -aG " + group + " $USER) and log in again.\n"
                "Ports of serial device servers (rfc2217://HOST:PORT, socket://HOST:PORT) cannot be listed; name one "
                "with --port.\n");
}

TEST_F(PortSurveyTest, APortOtherProgramsHaveOpenWithoutLockingOpensWithANote) {
  machine.Holds("4242", "cat", "/dev/ttyUSB0");
  machine.Holds("77", "vqxctl", "/dev/ttyUSB0");  // this process: not worth a note
  const std::vector<SerialPortEntry> ports = posix::ListSerialPorts(machine);
  ASSERT_EQ(ports[2].device, "/dev/ttyUSB0");
  EXPECT_TRUE(ports[2].canOpen);
  EXPECT_EQ(ports[2].note, "also open in cat (PID 4242)");
  EXPECT_EQ(ports[1].note, "");
}

TEST_F(PortSurveyTest, APortHeldExclusivelyWithoutALockIsBusyEvenWhereOpenGetsIn) {
  machine.exclusive.insert("/dev/ttyUSB1");  // a terminal program's TIOCEXCL, no flock
  machine.Holds("4242", "minicom", "/dev/ttyUSB1");
  const std::vector<SerialPortEntry> ports = posix::ListSerialPorts(machine);
  ASSERT_EQ(ports[3].device, "/dev/ttyUSB1");
  EXPECT_FALSE(ports[3].canOpen);
  EXPECT_EQ(ports[3].problem, "/dev/ttyUSB1 is in use by another program: minicom (PID 4242). Close it and try again.");
  EXPECT_TRUE(ports[2].canOpen);
  EXPECT_EQ(machine.closeCount, machine.openCount);
}

TEST_F(PortSurveyTest, BusyDiagnosisFollowsTheStableNameToTheDeviceAndKeepsTheOldSentenceWhenNobodyIsFound) {
  PortOpenResult busy;
  busy.error = PortOpenError::Busy;
  busy.systemError = EBUSY;
  const std::string stable = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";
  EXPECT_EQ(posix::DescribePortOpenFailure(stable, busy, machine), stable + " is in use by another program.");
  machine.Holds("4242", "minicom\x1b[2J", "/dev/ttyUSB0");
  machine.Holds("4300", "", "/dev/ttyUSB0");
  EXPECT_EQ(posix::DescribePortOpenFailure(stable, busy, machine),
            stable + " is in use by another program: minicom?[2J (PID 4242), process (PID 4300). Close it and try "
                     "again.");
  // A port the system cannot look into (no /proc) keeps the plain sentence.
  machine.directories.erase("/proc");
  EXPECT_EQ(posix::DescribePortOpenFailure("ttyUSB0", busy, machine), "/dev/ttyUSB0 is in use by another program.");
}

TEST_F(PortSurveyTest, CanonicalPathFollowsRelativeAndAbsoluteLinksAndStopsOnALoop) {
  machine.links["/dev/a"] = "b";
  machine.links["/dev/b"] = "/dev/./serial/../ttyUSB1";
  EXPECT_EQ(posix::CanonicalPath("/dev/a", machine), "/dev/ttyUSB1");
  machine.links["/dev/loop1"] = "loop2";
  machine.links["/dev/loop2"] = "loop1";
  const std::string end = posix::CanonicalPath("/dev/loop1", machine);
  EXPECT_TRUE(end == "/dev/loop1" || end == "/dev/loop2") << end;
}

TEST_F(PortSurveyTest, NoPortsAtAllSaysSo) {
  machine.directories.erase("/dev");
  machine.directories.erase("/dev/serial/by-id");
  const testing::VqxctlOutcome run = SurveyPorts();
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out,
            "No serial ports found.\nPorts of serial device servers (rfc2217://HOST:PORT, socket://HOST:PORT) cannot "
            "be listed; name one with --port.\n");
}

}  // namespace
}  // namespace vqx
