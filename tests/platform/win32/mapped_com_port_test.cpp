// The COM port against a real serial line: Wine maps the COM port named by VQX_TEST_COM
// to the pseudo-terminal of the Linux vqxsim (tests/windows/com_port_test.sh starts it,
// and pulls or plugs the "adapter" when this program asks through files in
// VQX_TEST_CONTROL).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "win32/win32_calls.h"
#include "win32/win32_serial_port.h"
#include "win32/windows_api.h"

namespace vqx::win32 {
namespace {

using namespace std::chrono_literals;

// The unit's guard time is set short by the script; the pauses stay far beyond it.
constexpr auto kPause = 400ms;
// The link's reply time-out: how long anything the unit says may take.
constexpr auto kReplyTimeout = 3000ms;
// vqxsim is stopped or started by a script that looks every 50 ms; a loaded machine may
// take seconds to start a process.
constexpr auto kPlugTimeout = 20s;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Remembers the handle the port opened, so the test can ask the driver what it set.
class RecordingCalls : public Win32Calls {
 public:
  HANDLE OpenDevice(const wchar_t* path) override {
    handle = Win32Calls::OpenDevice(path);
    return handle;
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
};

class MappedComPort : public ::testing::Test {
 protected:
  void SetUp() override {
    com_ = Env("VQX_TEST_COM");
    control_ = Env("VQX_TEST_CONTROL");
    ASSERT_FALSE(com_.empty()) << "run through tests/windows/com_port_test.sh";
    ASSERT_FALSE(control_.empty());
  }

  void Send(ISerialPort& port, const std::string& text) {
    ASSERT_EQ(port.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()), text.size());
  }

  std::string ReadUntil(ISerialPort& port, const std::string& end) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const int32_t queued = port.QueuedBytes();
      if (queued < 0) break;
      for (int32_t i = 0; i < queued; ++i) {
        uint8_t byte = 0;
        if (port.ReadByte(byte)) got += static_cast<char>(byte);
      }
      if (got.size() >= end.size() && got.compare(got.size() - end.size(), end.size(), end) == 0) break;
      if (queued == 0) std::this_thread::sleep_for(2ms);
    }
    return got;
  }

  std::string Escape(ISerialPort& port) {
    std::this_thread::sleep_for(kPause);
    Send(port, "+++");
    std::this_thread::sleep_for(kPause);
    Send(port, "\r");
    return ReadUntil(port, "OK\n\r");
  }

  // Asks the script to pull (or plug in) the adapter and waits until it has.
  bool Ask(const std::string& request, const std::string& done) {
    const std::wstring requestPath = std::wstring(control_.begin(), control_.end()) + L"\\" +
                                     std::wstring(request.begin(), request.end());
    const HANDLE file = ::CreateFileW(requestPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    const std::wstring donePath = std::wstring(control_.begin(), control_.end()) + L"\\" +
                                  std::wstring(done.begin(), done.end());
    const auto deadline = std::chrono::steady_clock::now() + kPlugTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::GetFileAttributesW(donePath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ::DeleteFileW(donePath.c_str());
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  std::string com_;
  std::string control_;
};

// Wine takes any DCB and reports what the pseudo-terminal behind the COM port really
// runs: 8 bits without parity. The open says so, and the port still works.
TEST_F(MappedComPort, SevenBitsAndParityThePseudoTerminalKeepsAreReportedAndThePortStaysOpen) {
  Win32SerialPort port;
  const PortOpenResult result = port.Open(com_.c_str(), LineSettings{9600, 'E', 7, 1});
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(result.settingsRefused);
  EXPECT_EQ(result.lineInEffect.dataBits, 8);
  EXPECT_EQ(result.lineInEffect.baudRate, 9600) << "the speed was taken";
  port.Close();
  const PortOpenResult plain = port.Open(com_.c_str(), LineSettings{9600, 'N', 8, 1});
  ASSERT_TRUE(plain.ok);
  EXPECT_FALSE(plain.settingsRefused);
}

TEST_F(MappedComPort, OpensAndTheDriverTakesTheSpeedAndStopBits) {
  RecordingCalls calls;
  Win32SerialPort port(calls);
  LineSettings settings;
  settings.baudRate = 19200;
  settings.stopBits = 2;
  ASSERT_TRUE(port.Open(com_.c_str(), settings).ok);
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  ASSERT_TRUE(::GetCommState(calls.handle, &dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_TRUE(dcb.fBinary);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
  EXPECT_FALSE(dcb.fInX);

  // A pseudo-terminal keeps 8 bits without parity; a line setting it cannot take is no
  // reason to refuse the port.
  settings.dataBits = 7;
  settings.parity = 'E';
  EXPECT_TRUE(port.Open(com_.c_str(), settings).ok);
}

TEST_F(MappedComPort, TheUnitIsEscapedAndAnswersThroughThePort) {
  Win32SerialPort port;
  ASSERT_TRUE(port.Open(com_.c_str(), LineSettings{}).ok);
  EXPECT_EQ(port.QueuedBytes(), 0);
  EXPECT_EQ(Escape(port), "\r\nOK\n\r");
  Send(port, "ECHO OFF\r\n");
  EXPECT_TRUE(port.Drain(static_cast<uint32_t>(kReplyTimeout.count())));
  EXPECT_EQ(ReadUntil(port, "OK\n\r"), "ECHO OFF\r\nOK\n\r");
  Send(port, "MYIP\r\n");
  EXPECT_EQ(ReadUntil(port, "\n\r"), "MYIP 192.168.001.020\n\r");
  Send(port, "ECHO ON\r\n");
  EXPECT_EQ(ReadUntil(port, "OK\n\r"), "OK\n\r");
  Send(port, "TRAN\r\n");
  EXPECT_EQ(ReadUntil(port, "OK\n\r"), "TRAN\r\nOK\n\r");
}

TEST_F(MappedComPort, AnAdapterPulledMidReadIsALostPortAndTheNextOneOpens) {
  Win32SerialPort port;
  ASSERT_TRUE(port.Open(com_.c_str(), LineSettings{}).ok);
  EXPECT_EQ(port.QueuedBytes(), 0);
  std::thread puller([&] { EXPECT_TRUE(Ask("unplug", "unplugged")); });
  // Reading all the while, as the link's worker does.
  int32_t queued = 0;
  const auto deadline = std::chrono::steady_clock::now() + kPlugTimeout;
  while (queued >= 0 && std::chrono::steady_clock::now() < deadline) {
    queued = port.QueuedBytes();
    std::this_thread::sleep_for(5ms);
  }
  puller.join();
  EXPECT_LT(queued, 0);
  EXPECT_LT(port.QueuedBytes(), 0) << "lost stays lost";
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0u);
  const PortOpenResult gone = port.Open(com_.c_str(), LineSettings{});
  EXPECT_FALSE(gone.ok);

  ASSERT_TRUE(Ask("replug", "replugged"));
  ASSERT_TRUE(port.Open(com_.c_str(), LineSettings{}).ok);
  EXPECT_EQ(port.QueuedBytes(), 0);
  EXPECT_EQ(Escape(port), "\r\nOK\n\r");
}

}  // namespace
}  // namespace vqx::win32
