// The network port on a scripted connection and a fake clock: what it sends, how it reads
// the server's answers, and that every wait ends.

#include "net/network_serial_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "support/fake_link_parts.h"

namespace vqx {
namespace {

using ::testing::HasSubstr;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out += static_cast<char>(v);
  return out;
}

std::string Answer(int command, const std::string& value) {
  return Bytes({0xFF, 250, 44, command}) + value + Bytes({0xFF, 240});
}

// The server's answers to a line of 9600 8N1 and to the purge.
std::string AnswersFor9600() {
  return Answer(101, Bytes({0, 0, 0x25, 0x80})) + Answer(102, Bytes({8})) + Answer(103, Bytes({1})) +
         Answer(104, Bytes({1})) + Answer(112, Bytes({3}));
}

// A connection whose far end the test plays. Waiting moves the fake clock.
class ScriptedSocket final : public IStreamSocket {
 public:
  explicit ScriptedSocket(testing::FakeClock& clock) : clock_(clock) {}
  ConnectResult Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) override {
    connectedTo = host + ":" + std::to_string(port);
    connectTimeout = timeoutMs;
    if (connectResult.error == ConnectError::None) onConnect();
    return connectResult;
  }
  void Close() override { ++closes; }
  int32_t Receive(uint8_t* buffer, size_t size) override {
    if (inbound.empty()) return gone ? -1 : 0;
    std::string& chunk = inbound.front();
    const size_t n = std::min(size, chunk.size());
    chunk.copy(reinterpret_cast<char*>(buffer), n);
    chunk.erase(0, n);
    if (chunk.empty()) inbound.pop_front();
    return static_cast<int32_t>(n);
  }
  int32_t Send(const uint8_t* data, size_t size) override {
    if (gone) return -1;
    sends.emplace_back(reinterpret_cast<const char*>(data), size);
    onSend(sends.back());
    return static_cast<int32_t>(size);
  }
  bool WaitReadable(uint32_t ms) override {
    clock_.Advance(ms);
    return !inbound.empty();
  }
  bool WaitWritable(uint32_t ms) override {
    clock_.Advance(ms);
    return true;
  }
  int32_t UnacknowledgedBytes() override {
    if (unacknowledgedUntil != 0 && clock_.now < unacknowledgedUntil) return 3;
    return unacknowledgedUnknown ? -1 : 0;
  }
  std::string ErrorText(int) override { return "scripted"; }

  std::string Sent() const {
    std::string all;
    for (const std::string& s : sends) all += s;
    return all;
  }

  ConnectResult connectResult;
  std::function<void()> onConnect = [] {};
  std::function<void(const std::string&)> onSend = [](const std::string&) {};
  std::deque<std::string> inbound;
  std::vector<std::string> sends;
  std::string connectedTo;
  uint32_t connectTimeout = 0;
  bool gone = false;
  uint32_t unacknowledgedUntil = 0;
  bool unacknowledgedUnknown = false;
  int closes = 0;

 private:
  testing::FakeClock& clock_;
};

class NetworkPortTest : public ::testing::Test {
 protected:
  NetworkPortTest() {
    auto owned = std::make_unique<ScriptedSocket>(clock);
    socket = owned.get();
    port = std::make_unique<NetworkSerialPort>(std::move(owned), clock, timings);
  }
  // The server answers each request as ser2net does, once the whole request is in.
  void ServerAnswers(const std::string& answers) {
    socket->onSend = [this, answers](const std::string& sent) {
      if (sent.find(Bytes({0xFF, 250, 44, 12})) != std::string::npos) socket->inbound.push_back(answers);
    };
  }
  std::string ReadAll() {
    std::string out;
    for (int i = 0; i < 100; ++i) {
      const int32_t queued = port->QueuedBytes();
      if (queued <= 0) break;
      uint8_t b = 0;
      while (port->ReadByte(b)) out += static_cast<char>(b);
    }
    return out;
  }

  testing::FakeClock clock;
  NetworkPortTimings timings;
  ScriptedSocket* socket = nullptr;
  std::unique_ptr<NetworkSerialPort> port;
};

TEST_F(NetworkPortTest, Rfc2217OpenSetsTheLineChecksTheAnswersAndDropsWhatCameBeforeThePurge) {
  socket->onConnect = [this] { socket->inbound.push_back("stale bytes"); };
  ServerAnswers(AnswersFor9600() + "fresh");
  const PortOpenResult r = port->Open("rfc2217://mast-3.example:7000", LineSettings{9600, 'N', 8, 1});
  ASSERT_TRUE(r.ok) << r.problem;
  EXPECT_FALSE(r.settingsRefused);
  EXPECT_EQ(r.warning, "");
  EXPECT_EQ(socket->connectedTo, "mast-3.example:7000");
  EXPECT_EQ(socket->connectTimeout, 5000u);
  EXPECT_THAT(socket->Sent(), HasSubstr(TelnetComPortCodec::LineSettingsRequest(LineSettings{9600, 'N', 8, 1})));
  EXPECT_THAT(socket->Sent(), HasSubstr(TelnetComPortCodec::PurgeRequest()));
  EXPECT_EQ(ReadAll(), "");  // "fresh" came with the answers, before the open was over
  socket->inbound.push_back(Bytes({'O', 0xFF, 0xFF, 'K'}));
  EXPECT_EQ(ReadAll(), Bytes({'O', 0xFF, 'K'}));
}

TEST_F(NetworkPortTest, ASettingTheServerDoesNotTakeIsARefusedLineSettingWithTheServersValue) {
  // Asked for 19200 7E1: the server keeps 9600 8N1.
  ServerAnswers(AnswersFor9600());
  const PortOpenResult r = port->Open("rfc2217://10.0.0.5:4001", LineSettings{19200, 'E', 7, 1});
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.settingsRefused);
  EXPECT_EQ(r.lineInEffect.baudRate, 9600);
  EXPECT_EQ(r.lineInEffect.dataBits, 8);
  EXPECT_EQ(r.lineInEffect.parity, 'N');
  EXPECT_EQ(DescribeRefusedLineSettings("rfc2217://10.0.0.5:4001", LineSettings{19200, 'E', 7, 1}, r.lineInEffect),
            "rfc2217://10.0.0.5:4001 is open, but the serial server refused 19200 baud, 7 data bits and even parity; the "
            "line runs at 9600 baud, 8 data bits and no parity");
  // On the open connection: a confirmed change is taken, a refused one is not.
  socket->onSend = [this](const std::string&) {
    socket->inbound.push_back(Answer(101, Bytes({0, 0, 0x4B, 0})) + Answer(102, Bytes({8})) +
                              Answer(103, Bytes({1})) + Answer(104, Bytes({1})));
  };
  EXPECT_TRUE(port->ChangeLineSettings(LineSettings{19200, 'N', 8, 1}));
  EXPECT_FALSE(port->ChangeLineSettings(LineSettings{38400, 'N', 8, 1}));
}

TEST_F(NetworkPortTest, AServerThatNeverAnswersTheNegotiationLeavesTheLineAtItsOwnWithAWarningInBoundedTime) {
  const uint32_t start = clock.now;
  const PortOpenResult r = port->Open("rfc2217://10.0.0.5:4001", LineSettings{19200, 'N', 8, 1});
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(r.settingsRefused);
  EXPECT_THAT(r.warning, HasSubstr("10.0.0.5:4001 did not take up the line settings"));
  EXPECT_GE(clock.now - start, timings.negotiationMs);
  EXPECT_LT(clock.now - start, timings.negotiationMs + 100);
  // It cannot change the line either: the caller reopens, and is told again.
  EXPECT_FALSE(port->ChangeLineSettings(LineSettings{9600, 'N', 8, 1}));
}

TEST_F(NetworkPortTest, RawSocketSendsTheBytesAsTheyAreAndTheEscapeInOneSend) {
  ASSERT_TRUE(port->Open("socket://10.0.0.5:4002", LineSettings{}).ok);
  EXPECT_TRUE(socket->sends.empty()) << "no Telnet on a raw port";
  EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>("+++"), 3), 3u);
  const std::string iac = Bytes({0xFF});
  EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>(iac.data()), 1), 1u);
  ASSERT_EQ(socket->sends.size(), 2u);
  EXPECT_EQ(socket->sends[0], "+++");
  EXPECT_EQ(socket->sends[1], iac);
  EXPECT_FALSE(port->ChangeLineSettings(LineSettings{19200, 'N', 8, 1}));
}

TEST_F(NetworkPortTest, AConnectionResetIsALostPortAndFailedConnectsNameHostAndPort) {
  ServerAnswers(AnswersFor9600());
  ASSERT_TRUE(port->Open("rfc2217://10.0.0.5:4001", LineSettings{}).ok);
  socket->gone = true;
  EXPECT_LT(port->QueuedBytes(), 0);
  EXPECT_LT(port->QueuedBytes(), 0) << "stays lost";
  EXPECT_FALSE(port->Drain(100));
  EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>("x"), 1), 0u);

  socket->gone = false;
  socket->connectResult = {IStreamSocket::ConnectError::Refused, 111};
  PortOpenResult r = port->Open("rfc2217://10.0.0.5:4001", LineSettings{});
  EXPECT_FALSE(r.ok);
  EXPECT_THAT(r.problem, HasSubstr("10.0.0.5:4001"));
  EXPECT_THAT(r.problem, HasSubstr("refused"));
  socket->connectResult = {IStreamSocket::ConnectError::TimedOut, 110};
  r = port->Open("socket://[fe80::1]:4001", LineSettings{});
  EXPECT_THAT(r.problem, HasSubstr("[fe80::1]:4001: no answer within 5 s"));
  r = port->Open("rfc2217://host-without-port", LineSettings{});
  EXPECT_EQ(r.error, PortOpenError::NotFound);
  EXPECT_THAT(r.problem, HasSubstr("port number is missing"));
  EXPECT_LT(port->QueuedBytes(), 0) << "nothing open";
}

TEST_F(NetworkPortTest, DrainWaitsForTheServersAcknowledgementWithinItsLimit) {
  ASSERT_TRUE(port->Open("socket://10.0.0.5:4002", LineSettings{}).ok);
  socket->unacknowledgedUntil = clock.now + 30;
  EXPECT_FALSE(port->Drain(10));
  EXPECT_TRUE(port->Drain(100));
  EXPECT_GE(clock.now, socket->unacknowledgedUntil);
  socket->unacknowledgedUntil = clock.now + 1000000;
  const uint32_t start = clock.now;
  EXPECT_FALSE(port->Drain(50));
  EXPECT_LE(clock.now - start, 52u);
  socket->unacknowledgedUnknown = true;
  socket->unacknowledgedUntil = 0;
  EXPECT_TRUE(port->Drain(50)) << "a system that cannot tell is not waited for";
}

TEST(NetworkPortNameTest, UrlsAreParsedAndMistakesExplained) {
  NetworkPortName n;
  std::string problem;
  ASSERT_TRUE(ParseNetworkPortName("RFC2217://Mast-3.example:7000/", &n, &problem));
  EXPECT_EQ(n.protocol, NetworkPortName::Protocol::Rfc2217);
  EXPECT_EQ(n.host, "Mast-3.example");
  EXPECT_EQ(n.port, 7000);
  EXPECT_EQ(n.where, "Mast-3.example:7000");
  ASSERT_TRUE(ParseNetworkPortName("socket://[fe80::1]:23", &n, &problem));
  EXPECT_EQ(n.protocol, NetworkPortName::Protocol::Raw);
  EXPECT_EQ(n.host, "fe80::1");
  EXPECT_EQ(n.where, "[fe80::1]:23");
  for (const char* bad : {"rfc2217://host", "rfc2217://:7000", "rfc2217://host:0", "rfc2217://host:65536",
                          "socket://host:7x", "socket://fe80::1:23", "socket://a b:1", "rfc2217://[::1]7000"}) {
    EXPECT_FALSE(ParseNetworkPortName(bad, &n, &problem)) << bad;
    EXPECT_FALSE(problem.empty()) << bad;
  }
  EXPECT_TRUE(IsNetworkPortName("socket://x"));
  EXPECT_FALSE(IsNetworkPortName("/dev/ttyUSB0"));
  EXPECT_FALSE(IsNetworkPortName("COM3"));
}

}  // namespace
}  // namespace vqx
