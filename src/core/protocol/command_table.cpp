#include "protocol/command_table.h"

#include <cstring>

namespace vqx {

const char CommandKeywordTable[kCommandCount][kKeywordSize] = {
    "",       "CONN",    "DISC",     "STAT",    "MYIP",     "SUBNET",  "GATEIP", "SRVRIP",
    "BAUD",   "PORT",    "BCAST",    "CONMODE", "NAME",     "SECURITY", "TRAN",  "SAVE",
    "REBOOT", "VER",     "WHAT",     "HELP",    "ECHO",     "COR",     "CORINH", "DATA",
    "STOP",   "PARITY",  "HANGTM",   "VOCODER", "PASS",     "SRVRPORT", "CMDPORT", "DSCP",
    "VSENSE", "BOOST",   "DUPLEX",   "RXDELAY", "TXDELAY",  "MAC",
};

namespace {

using K = ArgumentKind;
constexpr ArgumentKind kKinds[kCommandCount] = {
    K::None,    K::Address, K::None,    K::Integer, K::Address, K::Address, K::Address, K::Address,
    K::Integer, K::Integer, K::Integer, K::Integer, K::Text,    K::Integer, K::None,    K::None,
    K::None,    K::None,    K::None,    K::None,    K::Switch,  K::Integer, K::Integer, K::Integer,
    K::Integer, K::Text,    K::Integer, K::Integer, K::Text,    K::Integer, K::Integer, K::Integer,
    K::Integer, K::Integer, K::Integer, K::Integer, K::Integer, K::None,
};

}  // namespace

ArgumentKind CommandArgumentKind(int32_t commandId) {
  if (commandId < 0 || commandId >= kCommandCount) return ArgumentKind::None;
  return kKinds[commandId];
}

int32_t FindCommandId(const char* word) {
  if (word == nullptr || word[0] == '\0') return 0;
  for (int32_t id = 1; id < kCommandCount; ++id) {
    if (std::strcmp(CommandKeywordTable[id], word) == 0) return id;
  }
  return 0;
}

}  // namespace vqx
