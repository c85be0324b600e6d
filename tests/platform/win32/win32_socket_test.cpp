// The Winsock side of a unit behind a serial server, on a scripted Winsock: the faults a
// real network produces (refused, unknown host, no answer, reset) and what Wine lacks.

// SIO_TCP_INFO and TCP_INFO_v0 are declared from Windows 10 1703 on; the call fails
// harmlessly on older systems (and under Wine), and the drain then does not wait.
#define NTDDI_VERSION 0x0A000003

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/network_serial_port.h"
#include "support/fake_link_parts.h"
#include "win32/win32_stream_socket.h"

namespace vqx::win32 {
namespace {

using ::testing::HasSubstr;

class ScriptedWinsock final : public Win32Calls {
 public:
  static constexpr SOCKET kSocket = 77;

  ScriptedWinsock() {
    address_.sin_family = AF_INET;
    address_.sin_port = htons(7000);
    address_.sin_addr.s_addr = htonl(0x0A000005);
    entry_.ai_family = AF_INET;
    entry_.ai_socktype = SOCK_STREAM;
    entry_.ai_protocol = IPPROTO_TCP;
    entry_.ai_addr = reinterpret_cast<sockaddr*>(&address_);
    entry_.ai_addrlen = sizeof address_;
  }

  int StartSockets() override { return ++starts, 0; }
  int ResolveHost(const char* host, const char*, const addrinfo*, addrinfo** found) override {
    resolved = host;
    if (resolveError != 0) return resolveError;
    *found = &entry_;
    return 0;
  }
  void FreeHostList(addrinfo*) override { ++freed; }
  SOCKET OpenSocket(int, int, int) override { return kSocket; }
  int CloseSocket(SOCKET) override { return ++closes, 0; }
  int SetSocketOption(SOCKET, int level, int name, const char* value, int) override {
    if (level == IPPROTO_TCP && name == TCP_NODELAY) noDelay = *reinterpret_cast<const BOOL*>(value) != 0;
    return 0;
  }
  int GetSocketOption(SOCKET, int level, int name, char* value, int* size) override {
    if (level == SOL_SOCKET && name == SO_ERROR && *size >= static_cast<int>(sizeof(int))) {
      *reinterpret_cast<int*>(value) = connectOutcome;
    }
    return 0;
  }
  int SocketIoctl(SOCKET, long command, u_long* argument) override {
    if (command == static_cast<long>(FIONBIO)) nonBlocking = *argument != 0;
    return 0;
  }
  int ConnectSocket(SOCKET, const sockaddr*, int) override { return Fail(WSAEWOULDBLOCK); }
  int PollSockets(WSAPOLLFD* sockets, ULONG, INT timeoutMs) override {
    pollTimeouts.push_back(timeoutMs);
    if (connectOutcome == WSAETIMEDOUT) {
      ticks += static_cast<uint64_t>(timeoutMs);
      return 0;
    }
    sockets[0].revents = connectOutcome == 0 ? sockets[0].events : POLLERR;
    return 1;
  }
  int SendSocket(SOCKET, const char* data, int size) override {
    if (sendError != 0) return Fail(sendError);
    sent.append(data, static_cast<size_t>(size));
    ++sends;
    return size;
  }
  int ReceiveSocket(SOCKET, char* buffer, int size) override {
    if (!receiveErrors.empty()) {
      const int error = receiveErrors.front();
      receiveErrors.erase(receiveErrors.begin());
      if (error == -1) return 0;  // the server closed the connection
      return Fail(error);
    }
    if (input.empty()) return Fail(WSAEWOULDBLOCK);
    const int n = std::min(size, static_cast<int>(input.size()));
    input.copy(buffer, static_cast<size_t>(n));
    input.erase(0, static_cast<size_t>(n));
    return n;
  }
  int SocketControl(SOCKET, DWORD code, void*, DWORD, void* out, DWORD outSize, DWORD* returned) override {
    if (code != SIO_TCP_INFO || !tcpInfoWorks) return Fail(WSAEOPNOTSUPP);
    TCP_INFO_v0 info{};
    info.BytesInFlight = inFlight;
    std::memcpy(out, &info, std::min<DWORD>(outSize, sizeof info));
    *returned = sizeof info;
    return 0;
  }
  int SocketError() override { return lastError; }
  uint64_t TickCount() override { return ticks; }

  int starts = 0, freed = 0, closes = 0, sends = 0;
  int resolveError = 0;
  int connectOutcome = 0;  // SO_ERROR after the wait; WSAETIMEDOUT: the wait runs out
  int sendError = 0;
  std::vector<int> receiveErrors;  // -1: recv returns 0
  std::string input, sent, resolved;
  bool noDelay = false, nonBlocking = false, tcpInfoWorks = false;
  ULONG inFlight = 0;
  std::vector<INT> pollTimeouts;
  uint64_t ticks = 5000;
  int lastError = 0;

 private:
  int Fail(int error) {
    lastError = error;
    return SOCKET_ERROR;
  }
  sockaddr_in address_{};
  addrinfo entry_{};
};

TEST(Win32SocketTest, ConnectIsNonBlockingWithoutNagleAndEachRefusalIsToldApart) {
  ScriptedWinsock winsock;
  Win32StreamSocket socket(winsock);
  EXPECT_EQ(socket.Connect("mast-3", 7000, 5000).error, IStreamSocket::ConnectError::None);
  EXPECT_EQ(winsock.resolved, "mast-3");
  EXPECT_TRUE(winsock.noDelay);
  EXPECT_TRUE(winsock.nonBlocking);
  EXPECT_EQ(winsock.freed, 1);

  winsock.connectOutcome = WSAECONNREFUSED;
  EXPECT_EQ(socket.Connect("mast-3", 7000, 5000).error, IStreamSocket::ConnectError::Refused);
  winsock.connectOutcome = WSAEHOSTUNREACH;
  EXPECT_EQ(socket.Connect("mast-3", 7000, 5000).error, IStreamSocket::ConnectError::Unreachable);
  // No answer: the one wait is bounded by what is left of the time-out.
  winsock.connectOutcome = WSAETIMEDOUT;
  winsock.pollTimeouts.clear();
  EXPECT_EQ(socket.Connect("mast-3", 7000, 2500).error, IStreamSocket::ConnectError::TimedOut);
  ASSERT_EQ(winsock.pollTimeouts.size(), 1u);
  EXPECT_LE(winsock.pollTimeouts[0], 2500);
  winsock.resolveError = WSAHOST_NOT_FOUND;
  EXPECT_EQ(socket.Connect("no-such-mast", 7000, 5000).error, IStreamSocket::ConnectError::UnknownHost);
  EXPECT_EQ(winsock.starts, 1) << "WSAStartup once";
  // The connection of the first Connect, and each socket that failed to connect.
  EXPECT_EQ(winsock.closes, 4);
}

TEST(Win32SocketTest, AResetOrClosedConnectionIsALostPortAndDrainAsksTcpInfo) {
  ScriptedWinsock winsock;
  testing::FakeClock clock;
  NetworkSerialPort port(std::make_unique<Win32StreamSocket>(winsock), clock);
  ASSERT_TRUE(port.Open("socket://10.0.0.5:7000", LineSettings{}).ok);
  winsock.input = "OK";
  EXPECT_EQ(port.QueuedBytes(), 2);
  uint8_t b = 0;
  EXPECT_TRUE(port.ReadByte(b));
  EXPECT_TRUE(port.ReadByte(b));
  EXPECT_EQ(port.QueuedBytes(), 0) << "would block: nothing yet";

  // Under Wine SIO_TCP_INFO fails: not waited for. On Windows the bytes in flight count.
  EXPECT_TRUE(port.Drain(100));
  winsock.tcpInfoWorks = true;
  winsock.inFlight = 3;
  EXPECT_FALSE(port.Drain(20));
  winsock.inFlight = 0;
  EXPECT_TRUE(port.Drain(20));

  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("+++"), 3), 3u);
  EXPECT_EQ(winsock.sends, 1) << "the escape in one send";

  winsock.receiveErrors = {WSAECONNRESET};
  EXPECT_LT(port.QueuedBytes(), 0);
  ASSERT_TRUE(port.Open("socket://10.0.0.5:7000", LineSettings{}).ok);
  winsock.receiveErrors = {-1};
  EXPECT_LT(port.QueuedBytes(), 0) << "closed by the server";
  ASSERT_TRUE(port.Open("socket://10.0.0.5:7000", LineSettings{}).ok);
  winsock.sendError = WSAECONNABORTED;
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0u);
  EXPECT_LT(port.QueuedBytes(), 0);
}

TEST(Win32SocketTest, AFailedConnectNamesHostAndPortInTheOpenFailure) {
  ScriptedWinsock winsock;
  testing::FakeClock clock;
  NetworkSerialPort port(std::make_unique<Win32StreamSocket>(winsock), clock);
  winsock.connectOutcome = WSAECONNREFUSED;
  const PortOpenResult r = port.Open("rfc2217://10.0.0.5:7000", LineSettings{});
  EXPECT_FALSE(r.ok);
  EXPECT_THAT(r.problem, HasSubstr("10.0.0.5:7000"));
  EXPECT_THAT(r.problem, HasSubstr("refused"));
}

}  // namespace
}  // namespace vqx::win32

namespace vqx::win32 {
namespace {

// The real Winsock (Wine's here) on the loopback interface: a listener of the test's own.
class LoopbackListener {
 public:
  LoopbackListener() {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
  }
  ~LoopbackListener() {
    if (accepted_ != INVALID_SOCKET) closesocket(accepted_);
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
  }
  uint16_t Port() const { return port_; }
  SOCKET Accept() { return accepted_ = accept(listener_, nullptr, nullptr); }
  void StopListening() {
    closesocket(listener_);
    listener_ = INVALID_SOCKET;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET accepted_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};

TEST(Win32SocketLoopbackTest, RealWinsockConnectsCarriesBytesBothWaysAndSeesTheServerGo) {
  LoopbackListener server;
  Win32StreamSocket client;
  ASSERT_EQ(client.Connect("127.0.0.1", server.Port(), 5000).error, IStreamSocket::ConnectError::None);
  const SOCKET serverSide = server.Accept();
  ASSERT_NE(serverSide, INVALID_SOCKET);
  EXPECT_EQ(client.Send(reinterpret_cast<const uint8_t*>("+++"), 3), 3);
  char got[8] = {};
  EXPECT_EQ(recv(serverSide, got, sizeof got, 0), 3);
  EXPECT_EQ(std::string(got, 3), "+++");
  EXPECT_EQ(send(serverSide, "OK\r\n", 4, 0), 4);
  ASSERT_TRUE(client.WaitReadable(2000));
  uint8_t buffer[8] = {};
  EXPECT_EQ(client.Receive(buffer, sizeof buffer), 4);
  EXPECT_EQ(client.Receive(buffer, sizeof buffer), 0) << "nothing more yet";
  closesocket(serverSide);
  ASSERT_TRUE(client.WaitReadable(2000));
  EXPECT_LT(client.Receive(buffer, sizeof buffer), 0) << "the server closed the connection";

  const uint16_t port = server.Port();
  server.StopListening();
  EXPECT_EQ(client.Connect("127.0.0.1", port, 5000).error, IStreamSocket::ConnectError::Refused);
}

}  // namespace
}  // namespace vqx::win32
