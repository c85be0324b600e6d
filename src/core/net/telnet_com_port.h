#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "port/line_settings.h"

namespace vqx {

// The client side of Telnet with the COM-PORT-OPTION (RFC 2217), bytes in and bytes out:
// what the serial device server sends is split into the serial line's data and the
// Telnet commands, which are answered or recorded here; what we send is escaped. No
// operating-system call: the network port feeds it and sends what it returns.
class TelnetComPortCodec {
 public:
  enum class Agreement { Unknown, Agreed, Refused };

  // The server's answers to our COM-PORT requests: the values it says the port runs at.
  struct Answers {
    std::optional<uint32_t> baudRate;
    std::optional<uint8_t> dataSize;
    std::optional<uint8_t> parity;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::optional<uint8_t> stopSize;  // 1 one, 2 two, 3 one and a half
    bool purged = false;
  };

  // Our first words: we will speak the COM-PORT-OPTION, and binary both ways (so that CR
  // and 0xFF in the unit's data pass untouched).
  static std::string Greeting();
  // SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE for these settings.
  static std::string LineSettingsRequest(const LineSettings& settings);
  // PURGE-DATA for both of the server's buffers: bytes received from the unit before
  // we came, and bytes another client left unsent.
  static std::string PurgeRequest();
  // The line's data as it goes on the wire: each 0xFF doubled.
  static std::string EscapeData(const uint8_t* data, size_t size);
  // The codes the requests carry, to compare with the answers.
  static uint8_t ParityCode(const LineSettings& settings);
  static uint8_t StopSizeCode(const LineSettings& settings);

  // Bytes from the server: the serial line's data is appended to *data, what Telnet
  // requires us to answer to *reply (send it at once). Commands split across calls are
  // held until their last byte arrives.
  void Take(const uint8_t* bytes, size_t size, std::string* data, std::string* reply);

  Agreement ComPort() const { return comPort_; }
  const Answers& Received() const { return answers_; }
  // Forget earlier answers before a new request, so a stale one is not taken for it.
  void ForgetAnswers() { answers_ = Answers{}; }
  bool AllLineAnswers() const {
    return answers_.baudRate && answers_.dataSize && answers_.parity && answers_.stopSize;
  }

 private:
  enum class State { Data, Command, Option, Sub, SubCommand };
  static constexpr size_t kMaxSub = 32;

  void Negotiate(uint8_t verb, uint8_t option, std::string* reply);
  void SubnegotiationEnded();

  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::string sub_;
  bool subOverflow_ = false;
  // Options in force on our side (we WILL) and on the server's side (it WILL), and the
  // ones we asked for and still wait on, so that no answer is ever sent twice (RFC 1143:
  // answering an acknowledgement starts a loop).
  bool localOn_[256] = {};
  bool localAsked_[256] = {};
  bool remoteOn_[256] = {};
  bool remoteAsked_[256] = {};
  bool localRefusedSent_[256] = {};
  bool remoteRefusedSent_[256] = {};
  bool lastWasCr_ = false;
  Agreement comPort_ = Agreement::Unknown;
  Answers answers_;

 public:
  // Call once Greeting() has gone out: the options it asks for count as asked.
  void Greeted();
};

}  // namespace vqx
