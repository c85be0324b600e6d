// The COM port against a scripted driver: what real adapters do that Wine cannot show.

#include <gtest/gtest.h>

#include "fake_win32_calls.h"
#include "system_port.h"
#include "win32/tick_clock.h"
#include "win32/win32_serial_port.h"

namespace vqx::win32 {
namespace {

using testing::FakeWin32Calls;

LineSettings Settings(int32_t baud, char parity, int32_t dataBits, int32_t stopBits) {
  LineSettings s;
  s.baudRate = baud;
  s.parity = parity;
  s.dataBits = dataBits;
  s.stopBits = stopBits;
  return s;
}

TEST(Win32PortNames, ComNamesInAnyCaseMeanTheDeviceNamespaceOthersAreUsedAsGiven) {
  EXPECT_EQ(ResolvePortName("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(ResolvePortName("com12"), "\\\\.\\COM12");
  EXPECT_EQ(ResolvePortName("Com256"), "\\\\.\\COM256");
  EXPECT_EQ(ResolvePortName("COM257"), "COM257");
  EXPECT_EQ(ResolvePortName("COM0"), "COM0");
  EXPECT_EQ(ResolvePortName("COM1x"), "COM1x");
  EXPECT_EQ(ResolvePortName("\\\\.\\CNCA0"), "\\\\.\\CNCA0");
  EXPECT_EQ(ResolvePortName("/dev/ttyS0"), "/dev/ttyS0");
}

TEST(Win32SerialPort, OpenSetsARawLineAndReadsThatReturnAtOnce) {
  FakeWin32Calls calls;
  calls.driverDcb.BaudRate = 9600;
  calls.driverDcb.fOutxCtsFlow = TRUE;
  calls.driverDcb.fOutX = TRUE;
  calls.driverDcb.fNull = TRUE;
  calls.driverDcb.fAbortOnError = TRUE;
  calls.driverDcb.fErrorChar = TRUE;
  Win32SerialPort port(calls);
  ASSERT_TRUE(port.Open("com3", Settings(19200, 'E', 7, 2)).ok);
  ASSERT_EQ(calls.opened.size(), 1u);
  EXPECT_EQ(calls.opened[0], L"\\\\.\\COM3");

  const DCB& dcb = calls.driverDcb;
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_TRUE(dcb.fParity);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_TRUE(dcb.fBinary);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
  EXPECT_FALSE(dcb.fInX);
  EXPECT_FALSE(dcb.fNull);
  EXPECT_FALSE(dcb.fErrorChar);
  EXPECT_FALSE(dcb.fAbortOnError);
  EXPECT_EQ(calls.timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(calls.timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(calls.timeouts.ReadTotalTimeoutConstant, 0u);

  ASSERT_TRUE(port.Open("COM3", Settings(9600, 'N', 8, 1)).ok);
  EXPECT_EQ(calls.driverDcb.Parity, NOPARITY);
  EXPECT_FALSE(calls.driverDcb.fParity) << "no parity checking without parity";
  EXPECT_EQ(calls.driverDcb.ByteSize, 8);
  EXPECT_EQ(calls.driverDcb.StopBits, ONESTOPBIT);
}

TEST(Win32SerialPort, ASpeedTheDriverRefusesKeepsItsOwnSpeed) {
  FakeWin32Calls calls;
  calls.driverDcb.BaudRate = 9600;
  calls.setStateFailures = 1;
  Win32SerialPort port(calls);
  const PortOpenResult result = port.Open("COM3", Settings(115200, 'N', 8, 1));
  ASSERT_TRUE(result.ok);
  ASSERT_GE(calls.setStates.size(), 2u);
  EXPECT_EQ(calls.setStates[0].BaudRate, 115200u);
  EXPECT_EQ(calls.setStates[1].BaudRate, 9600u);
  EXPECT_TRUE(result.settingsRefused) << "the port opens, but the speed it keeps is told";
  EXPECT_EQ(result.lineInEffect.baudRate, 9600);
}

TEST(Win32SerialPort, ARefusedSpeedIsReportedWithTheSpeedTheLineKeeps) {
  FakeWin32Calls calls;
  calls.driverDcb.BaudRate = 9600;
  calls.driverDcb.ByteSize = 8;
  calls.supportedBauds = {1200, 9600, 19200, 115200};
  Win32SerialPort port(calls);
  PortOpenResult result = port.Open("COM3", Settings(230400, 'N', 8, 1));
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(port.IsOpen());
  ASSERT_TRUE(result.settingsRefused);
  EXPECT_EQ(DescribeRefusedLineSettings("COM3", Settings(230400, 'N', 8, 1), result.lineInEffect),
            "COM3 is open, but its driver refused 230400 baud; the line runs at 9600 baud");

  result = port.Open("COM3", Settings(19200, 'N', 8, 1));
  ASSERT_TRUE(result.ok);
  EXPECT_FALSE(result.settingsRefused) << "a speed the driver has needs no word";
  EXPECT_EQ(result.lineInEffect.baudRate, 19200);
}

// An adapter without 7 data bits refuses the whole DCB; one driver says so, another (as
// Wine on a pseudo-terminal) takes it and keeps 8 bits without parity. Both are told.
TEST(Win32SerialPort, AFrameTheDriverRefusesOrQuietlyKeepsIsReportedAtTheSpeedAskedFor) {
  FakeWin32Calls calls;
  calls.driverDcb.BaudRate = 9600;
  calls.driverDcb.ByteSize = 8;
  calls.refusesSevenBits = true;
  Win32SerialPort port(calls);
  PortOpenResult result = port.Open("COM3", Settings(19200, 'E', 7, 1));
  ASSERT_TRUE(result.ok);
  ASSERT_TRUE(result.settingsRefused);
  EXPECT_EQ(calls.driverDcb.BaudRate, 19200u) << "the speed it can make is kept";
  EXPECT_EQ(DescribeRefusedLineSettings("COM3", Settings(19200, 'E', 7, 1), result.lineInEffect),
            "COM3 is open, but its driver refused 7 data bits and even parity; the line runs at 8 data bits and "
            "no parity");
  EXPECT_FALSE(calls.driverDcb.fOutxCtsFlow) << "the fallback is still a raw line";
  EXPECT_TRUE(calls.driverDcb.fBinary);

  FakeWin32Calls quiet;
  quiet.driverDcb.BaudRate = 9600;
  quiet.keepsEightBitsNoParity = true;
  Win32SerialPort quietPort(quiet);
  result = quietPort.Open("COM3", Settings(9600, 'O', 7, 1));
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.settingsRefused);
  EXPECT_EQ(result.lineInEffect.dataBits, 8);
  EXPECT_EQ(result.lineInEffect.parity, 'N');
}

// The longest NAME line at 300 baud is about 2.3 s on the wire: a driver that completes
// WriteFile only after transmission must be given that long, and more.
TEST(Win32SerialPort, ALongLineAtASlowRateIsWrittenWholeOnADriverThatCompletesAfterTransmission) {
  FakeWin32Calls calls;
  calls.transmitsBeforeCompleting = true;
  Win32SerialPort port(calls);
  ASSERT_TRUE(port.Open("COM3", Settings(300, 'N', 8, 1)).ok);
  const std::string line = "NAME " + std::string(63, 'x') + "\r\n";
  const uint64_t start = calls.ticks;
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>(line.data()), line.size()), line.size());
  EXPECT_EQ(calls.written, line);
  EXPECT_GE(calls.ticks - start, 2300u) << "the fake did hold the write for the wire time";

  // A line that stops moving is still cut within its budget: the wire time plus the margin.
  calls.written.clear();
  calls.writeTakes = 0;
  const uint64_t stalled = calls.ticks;
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>(line.data()), line.size()), 0u);
  EXPECT_LT(calls.ticks - stalled, 2u * (2000u + 40u * line.size()) + 100u);
}

TEST(Win32SerialPort, OpenPurgesBothQueuesAndCloseGivesBackTheDevicesTimeOutsButNotItsSpeed) {
  FakeWin32Calls calls;
  calls.driverDcb.BaudRate = 4800;
  calls.driverDcb.ByteSize = 7;
  calls.driverDcb.Parity = EVENPARITY;
  calls.driverDcb.fOutxCtsFlow = TRUE;
  calls.originalTimeouts.ReadIntervalTimeout = 50;
  calls.originalTimeouts.WriteTotalTimeoutConstant = 777;
  calls.input = "OK\n\rERROR\n\r";  // left by an earlier program
  calls.outQueue = {6, 0};            // and so are these, still unsent
  Win32SerialPort port(calls);
  ASSERT_TRUE(port.Open("COM3", Settings(9600, 'N', 8, 1)).ok);
  ASSERT_EQ(calls.purges.size(), 1u);
  EXPECT_EQ(calls.purges[0], static_cast<DWORD>(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_EQ(port.QueuedBytes(), 0) << "stale bytes are never taken for a reply";

  calls.calls.clear();
  port.Close();
  // A speed changed as the last bytes leave would garble them: the line stays as set.
  EXPECT_EQ(calls.driverDcb.BaudRate, 9600u);
  EXPECT_EQ(calls.driverDcb.ByteSize, 8);
  EXPECT_EQ(calls.timeouts.ReadIntervalTimeout, 50u);
  EXPECT_EQ(calls.timeouts.WriteTotalTimeoutConstant, 777u);
  ASSERT_GE(calls.calls.size(), 3u);
  EXPECT_EQ(calls.calls[calls.calls.size() - 2], L"Close") << "restored before the handle goes";

  // A removed adapter has nothing to restore: only the handle is closed.
  ASSERT_TRUE(port.Open("COM3", Settings(9600, 'N', 8, 1)).ok);
  calls.clearErrorsError = ERROR_DEVICE_REMOVED;
  EXPECT_LT(port.QueuedBytes(), 0);
  const size_t setsBefore = calls.setTimeouts.size();
  port.Close();
  EXPECT_EQ(calls.setTimeouts.size(), setsBefore);
}


// A virtual pair hands written bytes to its other end at once: with nothing left in the
// transmit queue, a reopen (at the unit's new line settings after an update) must not
// purge the lines the unit has still to read, SAVE among them. A driver that cannot
// report its queue is purged both ways.
TEST(Win32SerialPort, OpenPurgesTheTransmitQueueOnlyWhenItHoldsBytes) {
  FakeWin32Calls calls;
  Win32SerialPort port(calls);
  calls.outQueue = {0};
  ASSERT_TRUE(port.Open("COM3", Settings(9600, 'N', 8, 1)).ok);
  ASSERT_EQ(calls.purges.size(), 1u);
  EXPECT_EQ(calls.purges[0], static_cast<DWORD>(PURGE_RXABORT | PURGE_RXCLEAR));
  port.Close();

  calls.clearErrorsError = ERROR_ACCESS_DENIED;
  ASSERT_TRUE(port.Open("COM3", Settings(9600, 'N', 8, 1)).ok);
  ASSERT_EQ(calls.purges.size(), 2u);
  EXPECT_EQ(calls.purges[1], static_cast<DWORD>(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR));
}
TEST(Win32SerialPort, TheTimerRunsAtOneMillisecondExactlyWhileAPortIsOpen) {
  FakeWin32Calls calls;
  calls.timerPeriodDefaultMs = calls.periodMs = 15.625;
  {
    Win32SerialPort port(calls);
    ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
    EXPECT_EQ(calls.timerPeriodsBegun, 1);
    ASSERT_TRUE(port.Open("COM4", LineSettings{}).ok);
    EXPECT_EQ(calls.timerPeriodsBegun, 1) << "a reopen ends the old period first";
    TickClock clock(calls);
    const uint32_t before = clock.NowMs();
    for (int i = 0; i < 10; ++i) clock.SleepMs(1);
    EXPECT_LE(ElapsedMs(clock.NowMs(), before), 11u) << "1 ms sleeps while the port is open";
    port.Close();
    EXPECT_EQ(calls.timerPeriodsBegun, 0);
    const uint32_t after = clock.NowMs();
    for (int i = 0; i < 10; ++i) clock.SleepMs(1);
    EXPECT_GE(ElapsedMs(clock.NowMs(), after), 150u) << "the system's own period once it is closed";

    calls.getStateError = ERROR_INVALID_FUNCTION;
    EXPECT_FALSE(port.Open("C:\\notes.txt", LineSettings{}).ok);
    EXPECT_EQ(calls.timerPeriodsBegun, 0) << "a refused open leaves the period alone";
    calls.getStateError = 0;
    ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
  }
  EXPECT_EQ(calls.timerPeriodsBegun, 0) << "the port's end ends its period";
}

TEST(Win32SerialPort, OpenFailuresAreToldInATechniciansWordsAndReleaseTheHandle) {
  FakeWin32Calls calls;
  Win32SerialPort port(calls);

  calls.openError = ERROR_ACCESS_DENIED;
  PortOpenResult result = port.Open("COM3", LineSettings{});
  EXPECT_EQ(result.error, PortOpenError::Busy);
  EXPECT_EQ(DescribePortOpenFailure("COM3", result), "COM3 is in use by another program.");

  calls.openError = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(port.Open("COM3", LineSettings{}).error, PortOpenError::Busy);

  calls.openError = ERROR_FILE_NOT_FOUND;
  result = port.Open("COM7", LineSettings{});
  EXPECT_EQ(result.error, PortOpenError::NotFound);
  EXPECT_EQ(DescribePortOpenFailure("COM7", result),
            "There is no COM7 on this computer; the adapter may be unplugged.");

  calls.openError = 0;
  calls.getStateError = ERROR_INVALID_FUNCTION;
  result = port.Open("C:\\notes.txt", LineSettings{});
  EXPECT_EQ(result.error, PortOpenError::NotASerialPort);
  EXPECT_EQ(DescribePortOpenFailure("C:\\notes.txt", result), "C:\\notes.txt is not a serial port.");
  EXPECT_EQ(calls.closes, 1) << "the handle of a refused device is closed";
  EXPECT_FALSE(port.IsOpen());
  EXPECT_LT(port.QueuedBytes(), 0);
}

TEST(Win32SerialPort, QueuedBytesComeFromTheDriversCountAndReadInOrder) {
  FakeWin32Calls calls;
  Win32SerialPort port(calls);
  ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
  EXPECT_EQ(port.QueuedBytes(), 0);
  calls.input = "OK\n\r";
  EXPECT_EQ(port.QueuedBytes(), 4);
  std::string got;
  uint8_t byte = 0;
  while (port.QueuedBytes() > 0 && port.ReadByte(byte)) got += static_cast<char>(byte);
  EXPECT_EQ(got, "OK\n\r");
  EXPECT_EQ(port.QueuedBytes(), 0);
}

TEST(Win32SerialPort, ARemovedAdapterIsALostPortUntilTheNextOpen) {
  for (const DWORD error : {ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_OPERATION_ABORTED,
                            ERROR_DEVICE_REMOVED, ERROR_GEN_FAILURE, ERROR_NOT_READY}) {
    SCOPED_TRACE(error);
    FakeWin32Calls calls;
    Win32SerialPort port(calls);
    ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
    calls.clearErrorsError = error;
    EXPECT_LT(port.QueuedBytes(), 0);
    calls.clearErrorsError = 0;
    calls.input = "late";
    EXPECT_LT(port.QueuedBytes(), 0) << "lost stays lost";
    EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0u);
    ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
    EXPECT_EQ(port.QueuedBytes(), 0) << "what came before the open is purged";
    calls.input = "next";
    EXPECT_EQ(port.QueuedBytes(), 4);
  }
}

TEST(Win32SerialPort, AFailedReadIsALostPort) {
  FakeWin32Calls calls;
  Win32SerialPort port(calls);
  ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
  calls.input = "x";
  calls.readError = ERROR_DEVICE_REMOVED;
  EXPECT_LT(port.QueuedBytes(), 0);
}

TEST(Win32SerialPort, AWriteTheDriverStopsTakingEndsWithinTheWriteTimeOut) {
  FakeWin32Calls calls;
  calls.ticksPerCall = 1;
  Win32SerialPort port(calls, 2000);
  ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
  calls.writeTakes = 0;
  const uint64_t start = calls.ticks;
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("ECHO ON\r"), 8), 0u);
  EXPECT_GE(calls.ticks - start, 2000u);
  EXPECT_LT(calls.ticks - start, 2100u);

  calls.writeTakes = 3;  // a slow driver that keeps taking bytes gets them all
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("ECHO ON\r"), 8), 8u);
  EXPECT_EQ(calls.written, "ECHO ON\r");

  // One byte per write, each after the driver's whole time-out: the write still ends.
  calls.writeTakes = 1;
  calls.ticksPerCall = 1000;
  const std::string big(100, 'x');
  const size_t trickled = port.Write(reinterpret_cast<const uint8_t*>(big.data()), big.size());
  EXPECT_GE(trickled, 1u);
  EXPECT_LE(trickled, 3u);
  calls.ticksPerCall = 1;

  calls.writeError = ERROR_DEVICE_REMOVED;
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("TRAN\r"), 5), 0u);
  EXPECT_LT(port.QueuedBytes(), 0);
}

TEST(Win32SerialPort, DrainWaitsForTheOutputQueueThenFlushesWithinItsLimit) {
  FakeWin32Calls calls;
  Win32SerialPort port(calls);
  ASSERT_TRUE(port.Open("COM3", LineSettings{}).ok);
  calls.outQueue = {3, 2, 0};
  EXPECT_TRUE(port.Drain(1000));
  EXPECT_EQ(calls.flushes, 1);

  calls.outQueue = {5};  // a stalled line never empties
  const uint64_t start = calls.ticks;
  EXPECT_FALSE(port.Drain(50));
  EXPECT_GE(calls.ticks - start, 50u);
  EXPECT_EQ(calls.flushes, 1) << "FlushFileBuffers would block on a stalled line";
}

TEST(Win32TickClock, TheMillisecondCounterWrapsAsTheLinkExpects) {
  FakeWin32Calls calls;
  TickClock clock(calls);
  calls.ticks = 0x1FFFFFFF0ULL;
  const uint32_t before = clock.NowMs();
  EXPECT_EQ(before, 0xFFFFFFF0u);
  calls.ticks = 0x200000010ULL;
  const uint32_t after = clock.NowMs();
  EXPECT_EQ(after, 0x10u);
  EXPECT_EQ(ElapsedMs(after, before), 0x20u);
}

}  // namespace
}  // namespace vqx::win32
