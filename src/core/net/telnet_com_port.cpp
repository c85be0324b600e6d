#include "net/telnet_com_port.h"

namespace vqx {
namespace {

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;

constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPort = 44;

// COM-PORT-OPTION commands, client to server; the server answers each with 100 more.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;
constexpr uint8_t kPurgeBoth = 3;

std::string Command(uint8_t verb, uint8_t option) {
  return std::string{static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortCommand(uint8_t command, const std::string& value) {
  std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                   static_cast<char>(command)};
  out += TelnetComPortCodec::EscapeData(reinterpret_cast<const uint8_t*>(value.data()), value.size());
  out += static_cast<char>(kIac);
  out += static_cast<char>(kSe);
  return out;
}

std::string Byte(uint8_t value) { return std::string(1, static_cast<char>(value)); }

// The options we take on: binary both ways keeps the data as it is; the server's
// suppress-go-ahead is what every server offers and harmless.
bool WeWill(uint8_t option) { return option == kComPort || option == kBinary; }
bool WeLetServer(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

}  // namespace

std::string TelnetComPortCodec::Greeting() {
  return Command(kWill, kComPort) + Command(kWill, kBinary) + Command(kDo, kBinary) +
         Command(kDo, kSuppressGoAhead);
}

void TelnetComPortCodec::Greeted() {
  localAsked_[kComPort] = true;
  localAsked_[kBinary] = true;
  remoteAsked_[kBinary] = true;
  remoteAsked_[kSuppressGoAhead] = true;
}

uint8_t TelnetComPortCodec::ParityCode(const LineSettings& settings) {
  const LineSettings line = Normalized(settings);
  return line.parity == 'O' ? 2 : line.parity == 'E' ? 3 : 1;
}

uint8_t TelnetComPortCodec::StopSizeCode(const LineSettings& settings) {
  return Normalized(settings).stopBits == 2 ? 2 : 1;
}

std::string TelnetComPortCodec::LineSettingsRequest(const LineSettings& settings) {
  const LineSettings line = Normalized(settings);
  const auto baud = static_cast<uint32_t>(line.baudRate);
  const std::string rate{static_cast<char>(baud >> 24), static_cast<char>((baud >> 16) & 0xFF),
                         static_cast<char>((baud >> 8) & 0xFF), static_cast<char>(baud & 0xFF)};
  return ComPortCommand(kSetBaudRate, rate) +
         ComPortCommand(kSetDataSize, Byte(static_cast<uint8_t>(line.dataBits))) +
         ComPortCommand(kSetParity, Byte(ParityCode(line))) + ComPortCommand(kSetStopSize, Byte(StopSizeCode(line)));
}

std::string TelnetComPortCodec::PurgeRequest() { return ComPortCommand(kPurgeData, Byte(kPurgeBoth)); }

std::string TelnetComPortCodec::EscapeData(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve(size + 4);
  for (size_t i = 0; i < size; ++i) {
    out += static_cast<char>(data[i]);
    if (data[i] == kIac) out += static_cast<char>(kIac);
  }
  return out;
}

void TelnetComPortCodec::Negotiate(uint8_t verb, uint8_t option, std::string* reply) {
  switch (verb) {
    case kDo:
      if (WeWill(option)) {
        if (!localOn_[option] && !localAsked_[option]) *reply += Command(kWill, option);
        localOn_[option] = true;
        localAsked_[option] = false;
        if (option == kComPort) comPort_ = Agreement::Agreed;
      } else if (!localRefusedSent_[option]) {
        *reply += Command(kWont, option);
        localRefusedSent_[option] = true;
      }
      break;
    case kDont:
      // Our WILL refused, or an option in force switched off: only the latter is answered.
      if (localOn_[option]) *reply += Command(kWont, option);
      localOn_[option] = false;
      localAsked_[option] = false;
      if (option == kComPort) comPort_ = Agreement::Refused;
      break;
    case kWill:
      if (WeLetServer(option)) {
        if (!remoteOn_[option] && !remoteAsked_[option]) *reply += Command(kDo, option);
        remoteOn_[option] = true;
        remoteAsked_[option] = false;
      } else if (!remoteRefusedSent_[option]) {
        *reply += Command(kDont, option);
        remoteRefusedSent_[option] = true;
      }
      break;
    case kWont:
      if (remoteOn_[option]) *reply += Command(kDont, option);
      remoteOn_[option] = false;
      remoteAsked_[option] = false;
      break;
    default:
      break;
  }
}

void TelnetComPortCodec::SubnegotiationEnded() {
  if (subOverflow_ || sub_.size() < 2 || static_cast<uint8_t>(sub_[0]) != kComPort) return;
  const auto command = static_cast<uint8_t>(sub_[1]);
  const std::string value = sub_.substr(2);
  // An answer is a COM-PORT command from the server: ours plus 100. Line and modem state
  // notifications (106, 107) and anything else carry nothing we wait on.
  if (command < kServerOffset) return;
  switch (command - kServerOffset) {
    case kSetBaudRate:
      if (value.size() == 4) {
        uint32_t rate = 0;
        for (const char c : value) rate = (rate << 8) | static_cast<uint8_t>(c);
        answers_.baudRate = rate;
      }
      break;
    case kSetDataSize:
      if (value.size() == 1) answers_.dataSize = static_cast<uint8_t>(value[0]);
      break;
    case kSetParity:
      if (value.size() == 1) answers_.parity = static_cast<uint8_t>(value[0]);
      break;
    case kSetStopSize:
      if (value.size() == 1) answers_.stopSize = static_cast<uint8_t>(value[0]);
      break;
    case kPurgeData:
      answers_.purged = true;
      break;
    default:
      break;
  }
  // A server that answers COM-PORT commands speaks the option, even if its DO went astray.
  if (comPort_ == Agreement::Unknown) comPort_ = Agreement::Agreed;
}

void TelnetComPortCodec::Take(const uint8_t* bytes, size_t size, std::string* data, std::string* reply) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Command;
        } else {
          // Without binary, a CR on the wire is followed by a NUL that is not data.
          if (!(b == 0 && lastWasCr_ && !remoteOn_[kBinary])) *data += static_cast<char>(b);
          lastWasCr_ = b == '\r';
        }
        break;
      case State::Command:
        if (b == kIac) {
          *data += static_cast<char>(kIac);
          lastWasCr_ = false;
          state_ = State::Data;
        } else if (b == kSb) {
          sub_.clear();
          subOverflow_ = false;
          state_ = State::Sub;
        } else if (b >= kWill) {
          verb_ = b;
          state_ = State::Option;
        } else {
          state_ = State::Data;  // NOP, GA, data mark, break and the like: nothing to do
        }
        break;
      case State::Option:
        Negotiate(verb_, b, reply);
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == kIac) {
          state_ = State::SubCommand;
        } else if (sub_.size() < kMaxSub) {
          sub_ += static_cast<char>(b);
        } else {
          subOverflow_ = true;
        }
        break;
      case State::SubCommand:
        if (b == kSe) {
          SubnegotiationEnded();
          state_ = State::Data;
        } else {
          // IAC IAC is a 0xFF of the value; anything else is malformed, kept as it came.
          if (sub_.size() < kMaxSub) {
            sub_ += static_cast<char>(b);
          } else {
            subOverflow_ = true;
          }
          state_ = State::Sub;
        }
        break;
    }
  }
}

}  // namespace vqx
