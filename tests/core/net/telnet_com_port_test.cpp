// The Telnet side of a serial server link, bytes in and bytes out.

#include "net/telnet_com_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vqx {
namespace {

constexpr char kIac = '\xFF';

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out += static_cast<char>(v);
  return out;
}

struct Fed {
  std::string data;
  std::string reply;
};

// Feeds text in pieces of the given sizes (the rest in one), as TCP may cut it anywhere.
Fed Feed(TelnetComPortCodec& codec, const std::string& text, size_t piece = 0) {
  Fed fed;
  if (piece == 0) piece = text.size();
  for (size_t at = 0; at < text.size(); at += piece) {
    const std::string part = text.substr(at, piece);
    codec.Take(reinterpret_cast<const uint8_t*>(part.data()), part.size(), &fed.data, &fed.reply);
  }
  return fed;
}

TEST(TelnetComPortCodecTest, IacIsDoubledOnSendAndUndoubledOnReceiveWhereverTheReadsSplitIt) {
  const std::string raw = Bytes({'a', 0xFF, 'b', 0xFF, 0xFF, '\r'});
  EXPECT_EQ(TelnetComPortCodec::EscapeData(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()),
            Bytes({'a', 0xFF, 0xFF, 'b', 0xFF, 0xFF, 0xFF, 0xFF, '\r'}));
  const std::string wire = Bytes({'a', 0xFF, 0xFF, 'b', 0xFF, 0xFF, 0xFF, 0xFF, '\r', '\n'});
  for (size_t piece = 1; piece <= wire.size(); ++piece) {
    TelnetComPortCodec codec;
    const Fed fed = Feed(codec, wire, piece);
    EXPECT_EQ(fed.data, raw + "\n") << "pieces of " << piece;
    EXPECT_EQ(fed.reply, "");
  }
}

TEST(TelnetComPortCodecTest, CommandsAndSubnegotiationsAreTakenOutOfTheDataEvenWhenSplitByteByByte) {
  // Data, a NOP, the server's answers to all four settings and the purge, a modem state
  // notification, more data: as one read and as single bytes.
  const std::string wire = std::string("AB") + Bytes({0xFF, 241}) +
                           Bytes({0xFF, 250, 44, 101, 0x00, 0x00, 0x4B, 0x00, 0xFF, 240}) +
                           Bytes({0xFF, 250, 44, 102, 7, 0xFF, 240}) + Bytes({0xFF, 250, 44, 103, 3, 0xFF, 240}) +
                           Bytes({0xFF, 250, 44, 104, 2, 0xFF, 240}) + Bytes({0xFF, 250, 44, 112, 3, 0xFF, 240}) +
                           Bytes({0xFF, 250, 44, 107, 0x30, 0xFF, 240}) + "CD";
  for (const size_t piece : {size_t{0}, size_t{1}, size_t{3}}) {
    TelnetComPortCodec codec;
    const Fed fed = Feed(codec, wire, piece);
    EXPECT_EQ(fed.data, "ABCD");
    const TelnetComPortCodec::Answers& a = codec.Received();
    ASSERT_TRUE(codec.AllLineAnswers());
    EXPECT_EQ(*a.baudRate, 19200u);
    EXPECT_EQ(*a.dataSize, 7);
    EXPECT_EQ(*a.parity, 3);
    EXPECT_EQ(*a.stopSize, 2);
    EXPECT_TRUE(a.purged);
    EXPECT_EQ(codec.ComPort(), TelnetComPortCodec::Agreement::Agreed);
  }
}

TEST(TelnetComPortCodecTest, ARateWithAnIacByteTravelsDoubledAndIsReadBackWhole) {
  // 0x0001FF00 needs its 0xFF doubled inside the subnegotiation, both ways.
  const std::string request = TelnetComPortCodec::LineSettingsRequest(LineSettings{0x1FF00, 'N', 8, 1});
  EXPECT_EQ(request.substr(0, 10), Bytes({0xFF, 250, 44, 1, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0xFF}));
  TelnetComPortCodec codec;
  Feed(codec, Bytes({0xFF, 250, 44, 101, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0xFF, 240}), 1);
  ASSERT_TRUE(codec.Received().baudRate);
  EXPECT_EQ(*codec.Received().baudRate, 0x1FF00u);
}

TEST(TelnetComPortCodecTest, TheRequestsCarryEachSettingInRfc2217Codes) {
  const std::string request = TelnetComPortCodec::LineSettingsRequest(LineSettings{57600, 'O', 7, 2});
  EXPECT_EQ(request, Bytes({0xFF, 250, 44, 1, 0x00, 0x00, 0xE1, 0x00, 0xFF, 240, 0xFF, 250, 44, 2, 7, 0xFF, 240,
                            0xFF, 250, 44, 3, 2, 0xFF, 240, 0xFF, 250, 44, 4, 2, 0xFF, 240}));
  EXPECT_EQ(TelnetComPortCodec::PurgeRequest(), Bytes({0xFF, 250, 44, 12, 3, 0xFF, 240}));
}

TEST(TelnetComPortCodecTest, NegotiationIsAnsweredOnceAndAcknowledgementsAreNotAnsweredAgain) {
  TelnetComPortCodec codec;
  codec.Greeted();
  // What ser2net sends on connect: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL
  // BINARY, DO COM-PORT.
  const std::string hello = Bytes({0xFF, 251, 3, 0xFF, 253, 3, 0xFF, 251, 1, 0xFF, 254, 1, 0xFF, 253, 0, 0xFF, 251, 0,
                                   0xFF, 253, 44});
  const Fed first = Feed(codec, hello);
  // SGA and BINARY and COM-PORT were ours to ask: their acknowledgements need no answer.
  // We will not suppress go-ahead ourselves, and we do not want the server's echo.
  EXPECT_EQ(first.reply, Bytes({0xFF, 252, 3, 0xFF, 254, 1}));
  EXPECT_EQ(first.data, "");
  EXPECT_EQ(codec.ComPort(), TelnetComPortCodec::Agreement::Agreed);
  // The same requests again draw no second refusal (no negotiation loop).
  EXPECT_EQ(Feed(codec, hello).reply, "");
}

TEST(TelnetComPortCodecTest, AServerThatRefusesTheComPortOptionIsSeenAsRefusing) {
  TelnetComPortCodec codec;
  codec.Greeted();
  const Fed fed = Feed(codec, Bytes({0xFF, 254, 44}) + "x");
  EXPECT_EQ(codec.ComPort(), TelnetComPortCodec::Agreement::Refused);
  EXPECT_EQ(fed.reply, "");  // a refusal of what we offered is not answered
  EXPECT_EQ(fed.data, "x");
  EXPECT_FALSE(codec.AllLineAnswers());
}

TEST(TelnetComPortCodecTest, WithoutBinaryTheNulAfterACarriageReturnIsNotData) {
  TelnetComPortCodec codec;
  EXPECT_EQ(Feed(codec, Bytes({'O', 'K', '\r', 0, '\n', 0})).data, Bytes({'O', 'K', '\r', '\n', 0}));
  TelnetComPortCodec binary;
  binary.Greeted();
  Feed(binary, Bytes({0xFF, 251, 0}));
  EXPECT_EQ(Feed(binary, Bytes({'\r', 0})).data, Bytes({'\r', 0}));
}

TEST(TelnetComPortCodecTest, AnOverlongSubnegotiationIsDroppedWithoutLosingTheDataAfterIt) {
  TelnetComPortCodec codec;
  std::string wire = Bytes({0xFF, 250, 44, 101});
  wire += std::string(200, '\x01');
  wire += Bytes({0xFF, 240}) + "ok";
  const Fed fed = Feed(codec, wire, 7);
  EXPECT_EQ(fed.data, "ok");
  EXPECT_FALSE(codec.Received().baudRate);
}

}  // namespace
}  // namespace vqx
