#pragma once

#include <cstdint>

#include "protocol/records.h"

namespace vqx {

// Response ids are not command ids: MYIP is command 4 and response 6.
enum ResponseId : int32_t {
  kRspOk = 1, kRspErr, kRspCon, kRspDis, kRspAtt, kRspMyip, kRspSubnet, kRspGateip,
  kRspSrvrip, kRspBaud, kRspPort, kRspBcast, kRspConmode, kRspName, kRspSecurity, kRspVer,
  kRspEcho, kRspCor, kRspCorinh, kRspData, kRspStop, kRspParity, kRspHangtm, kRspVocoder,
  kRspPass, kRspSrvrport, kRspCmdport, kRspDscp, kRspVsense, kRspBoost, kRspDuplex,
  kRspRxdelay, kRspTxdelay, kRspMac,
};

inline constexpr int kResponseCount = 35;  // ids 0..34; 0 never matches

enum class ReplyKind { Plain, Error, PeerAddress, Address, Number, Text, Switch };

extern const char ResponseKeywordTable[kResponseCount][kKeywordSize];

ReplyKind ResponseReplyKind(int32_t responseId);

}  // namespace vqx
