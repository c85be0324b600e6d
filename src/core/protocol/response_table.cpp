#include "protocol/response_table.h"

namespace vqx {

const char ResponseKeywordTable[kResponseCount][kKeywordSize] = {
    "",        "OK",       "ERR",     "CON",     "DIS",      "ATT",     "MYIP",   "SUBNET",
    "GATEIP",  "SRVRIP",   "BAUD",    "PORT",    "BCAST",    "CONMODE", "NAME",   "SECURITY",
    "VER",     "ECHO",     "COR",     "CORINH",  "DATA",     "STOP",    "PARITY", "HANGTM",
    "VOCODER", "PASS",     "SRVRPORT", "CMDPORT", "DSCP",    "VSENSE",  "BOOST",  "DUPLEX",
    "RXDELAY", "TXDELAY",  "MAC",
};

namespace {

using R = ReplyKind;
constexpr ReplyKind kKinds[kResponseCount] = {
    R::Plain,   R::Plain,   R::Error,   R::PeerAddress, R::Plain,   R::PeerAddress, R::Address,
    R::Address, R::Address, R::Address, R::Number,      R::Number,  R::Number,      R::Number,
    R::Text,    R::Number,  R::Text,    R::Switch,      R::Number,  R::Number,      R::Number,
    R::Number,  R::Text,    R::Number,  R::Number,      R::Text,    R::Number,      R::Number,
    R::Number,  R::Number,  R::Number,  R::Number,      R::Number,  R::Number,      R::Text,
};

}  // namespace

ReplyKind ResponseReplyKind(int32_t responseId) {
  if (responseId < 0 || responseId >= kResponseCount) return ReplyKind::Plain;
  return kKinds[responseId];
}

}  // namespace vqx
