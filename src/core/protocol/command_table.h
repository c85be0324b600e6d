#pragma once

#include <cstdint>

#include "protocol/records.h"

namespace vqx {

enum CommandId : int32_t {
  kCmdConn = 1, kCmdDisc, kCmdStat, kCmdMyip, kCmdSubnet, kCmdGateip, kCmdSrvrip,
  kCmdBaud, kCmdPort, kCmdBcast, kCmdConmode, kCmdName, kCmdSecurity, kCmdTran,
  kCmdSave, kCmdReboot, kCmdVer, kCmdWhat, kCmdHelp, kCmdEcho, kCmdCor, kCmdCorinh,
  kCmdData, kCmdStop, kCmdParity, kCmdHangtm, kCmdVocoder, kCmdPass, kCmdSrvrport,
  kCmdCmdport, kCmdDscp, kCmdVsense, kCmdBoost, kCmdDuplex, kCmdRxdelay, kCmdTxdelay,
  kCmdMac,
};

inline constexpr int kCommandCount = 38;  // ids 0..37; 0 is the empty entry

enum class ArgumentKind { None, Address, Integer, Text, Switch };

extern const char CommandKeywordTable[kCommandCount][kKeywordSize];

// kNone for ids outside the table.
ArgumentKind CommandArgumentKind(int32_t commandId);

// The command id whose keyword equals word exactly, or 0.
int32_t FindCommandId(const char* word);

}  // namespace vqx
