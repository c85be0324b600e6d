// The port survey on Windows: names, and what a technician is told.

#include <gtest/gtest.h>

#include "fake_win32_calls.h"
#include "win32/port_survey.h"

namespace vqx::win32 {
namespace {

using testing::FakeWin32Calls;

TEST(Win32PortSurvey, OnlyComOneToTwoHundredFiftySixAreComPorts) {
  EXPECT_EQ(ComPortNumber("COM1"), 1u);
  EXPECT_EQ(ComPortNumber("cOm256"), 256u);
  EXPECT_EQ(ComPortNumber("COM257"), 0u);
  EXPECT_EQ(ComPortNumber("COM0"), 0u);
  EXPECT_EQ(ComPortNumber("COM"), 0u);
  EXPECT_EQ(ComPortNumber("LPT1"), 0u);
  EXPECT_EQ(ComPortNumber("COM1 "), 0u);
}

// A machine with many devices (virtual port pairs, Bluetooth) overflows the first buffer;
// QueryDosDevice then fails outright, and no port of the list may be lost for that.
TEST(Win32PortSurvey, ADeviceListLargerThanTheBufferIsReadWhole) {
  FakeWin32Calls calls;
  for (int i = 0; i < 5000; ++i) {
    calls.dosDevices += L"HarddiskVolumeShadowCopy" + std::to_wstring(i);
    calls.dosDevices += L'\0';
  }
  calls.dosDevices += L"COM7";
  calls.dosDevices += L'\0';
  calls.dosDevices += L"com12";
  calls.dosDevices += L'\0';
  calls.dosDevices += L"LPT1";
  const std::vector<std::string> names = DosDeviceComPorts(calls);
  EXPECT_EQ(names, (std::vector<std::string>{"COM7", "COM12"}));
  EXPECT_GE(calls.dosBufferSizes.size(), 2u) << "the first buffer was too small";
}

TEST(Win32PortSurvey, WithoutTryingNoPortIsTouched) {
  FakeWin32Calls calls;
  const auto entries = ListSerialPorts({"COM1", "COM3"}, false, calls);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].device, "COM3");
  EXPECT_TRUE(calls.opened.empty());
}

TEST(Win32PortSurvey, ABusyPortIsListedWithItsReasonAndAFreeOneAsUsable) {
  FakeWin32Calls calls;
  calls.openError = ERROR_ACCESS_DENIED;
  auto entries = ListSerialPorts({"COM3"}, true, calls);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].canOpen);
  EXPECT_EQ(entries[0].problem, "COM3 is in use by another program.");

  calls.openError = 0;
  entries = ListSerialPorts({"COM4"}, true, calls);
  EXPECT_TRUE(entries[0].canOpen);
  EXPECT_EQ(entries[0].problem, "");
  EXPECT_EQ(calls.closes, 1) << "the port is let go at once";
}

TEST(Win32PortSurvey, OtherFailuresGiveTheSystemsReasonOnOneLine) {
  PortOpenResult result;
  result.error = PortOpenError::Other;
  result.systemError = ERROR_GEN_FAILURE;
  const std::string text = win32::DescribePortOpenFailure("COM5", result);
  EXPECT_EQ(text.rfind("COM5 could not be opened: ", 0), 0u) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.find("Too many links"), std::string::npos) << "the C library's words for errno 31: " << text;
  // Windows' words for ERROR_GEN_FAILURE ("A device attached to the system is not
  // functioning"; Wine says "General failure").
  EXPECT_TRUE(text.find("not functioning") != std::string::npos || text.find("General failure") != std::string::npos)
      << text;
  result.error = PortOpenError::NotFound;
  EXPECT_EQ(win32::DescribePortOpenFailure("\\\\.\\CNCA0", result),
            "There is no port \\\\.\\CNCA0 on this computer: check the port name and that the adapter is plugged in.");
}

}  // namespace
}  // namespace vqx::win32
