// The device logic: one worker pass at a time, it follows the link's state, takes the
// unit's replies, reads every setting in turn and applies typed settings the unit
// confirmed.

#include <cstring>

#include "app/app_window.h"
#include "app/text_fields.h"
#include "protocol/command_table.h"
#include "protocol/response_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

// A reply's text may fill its whole field; never read past it, never write past ours.
template <size_t N>
void CopyReplyText(char (&field)[N], const char (&text)[kTextSize]) {
  size_t length = FieldLength(text);
  if (length > N - 1) length = N - 1;
  std::memcpy(field, text, length);
  field[length] = '\0';
}

template <size_t N>
void CopyArgument(char (&field)[N], const char* argument) {
  size_t length = std::strlen(argument);
  if (length > N - 1) length = N - 1;
  std::memcpy(field, argument, length);
  field[length] = '\0';
}

uint32_t PackAddress(const uint8_t (&address)[4]) {
  return uint32_t{address[0]} | uint32_t{address[1]} << 8 | uint32_t{address[2]} << 16 |
         uint32_t{address[3]} << 24;
}

bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

bool ReadAddress(const char* text, uint8_t (&address)[4]) {
  int32_t numbers[4];
  if (!ParseFourDecimals(text, std::strlen(text), numbers)) return false;
  for (int32_t n : numbers) {
    if (!InRange(n, 0, 255)) return false;
  }
  for (size_t i = 0; i < 4; ++i) address[i] = static_cast<uint8_t>(numbers[i]);
  return true;
}

// Stores a confirmed typed setting when its argument is acceptable; false stores nothing.
// Runs under stateMutex_ (the settings and the host serial settings).
bool StoreConfirmedSetting(int32_t step, const char* argument, DeviceSettings& settings, PreferencesBlock& prefs) {
  int32_t v = 0;
  switch (step) {
    case kConfirmIpAddress: return ReadAddress(argument, settings.ipAddress);
    case kConfirmServerIp: return ReadAddress(argument, settings.serverIp);
    case kConfirmGatewayIp: return ReadAddress(argument, settings.gatewayIp);
    case kConfirmSubnetMask: return ReadAddress(argument, settings.subnetMask);
    case kConfirmName: CopyArgument(settings.name, argument); return true;
    case kConfirmWebPassword: CopyArgument(settings.webPassword, argument); return true;
    case kConfirmParity: {
      const char parity = argument[0];
      if (parity != 'E' && parity != 'N' && parity != 'O') return false;
      settings.serialParity = parity;
      prefs.parity = parity;
      return true;
    }
    default: break;
  }

  if (!ParseDecimal(argument, &v)) return false;
  switch (step) {
    case kConfirmBroadcastMode:
      if (!InRange(v, 0, 3)) return false;
      settings.broadcastMode = v;
      return true;
    case kConfirmConnectionMode:
      // Server mode and above are set by the unit's own means; a typed 0 or 1 does not
      // replace them.
      if (!InRange(v, 0, 1) || settings.connectionMode > 1) return false;
      settings.connectionMode = v;
      return true;
    case kConfirmBaudRate:
      if (v < 0) return false;
      settings.serialBaudRate = v;
      prefs.baudRate = v;
      return true;
    case kConfirmVoipPort:
      if (!InRange(v, 0, 65535)) return false;
      settings.voipPort = v;
      return true;
    case kConfirmServerPort:
      if (!InRange(v, 0, 65535)) return false;
      settings.serverPort = v;
      return true;
    case kConfirmSecurity:
      if (!InRange(v, 0, 255)) return false;
      settings.securityFlags = v;
      return true;
    case kConfirmCorSquelchType:
      if (!InRange(v, 0, 2)) return false;
      settings.corSquelchType = v;
      return true;
    case kConfirmCorInhibitTime:
      if (!InRange(v, 0, 4000)) return false;
      settings.corInhibitTime = v;
      return true;
    case kConfirmHangTime:
      if (!InRange(v, 0, 4000)) return false;
      settings.hangTime = v;
      return true;
    case kConfirmVocoder:
      if (!InRange(v, 1, 5)) return false;
      settings.vocoder = v;
      return true;
    case kConfirmDataBits:
      if (!InRange(v, 7, 8)) return false;
      settings.serialDataBits = v;
      prefs.dataBits = v;
      return true;
    case kConfirmStopBits:
      if (!InRange(v, 1, 2)) return false;
      settings.serialStopBits = v;
      prefs.stopBits = v;
      return true;
    default: return false;
  }
}

// Stores the setting a reply carries. False when the reply stores nothing (a broadcast
// mode outside 0..3) and so presents nothing either. Runs under stateMutex_.
bool StoreReplyValue(const ResponseRecord& reply, DeviceSettings& s, PreferencesBlock& prefs) {
  const int32_t v = reply.value;
  switch (reply.responseId) {
    case kRspMyip:
      std::memcpy(s.ipAddress, reply.address, 4);
      s.dhcpAssigned = v != 0 ? 1 : 0;
      return true;
    case kRspSubnet:
      std::memcpy(s.subnetMask, reply.address, 4);
      s.dhcpAssigned = v != 0 ? 1 : 0;
      return true;
    case kRspGateip: std::memcpy(s.gatewayIp, reply.address, 4); return true;
    case kRspSrvrip: std::memcpy(s.serverIp, reply.address, 4); return true;
    case kRspBaud: s.serialBaudRate = v; prefs.baudRate = v; return true;
    case kRspPort: s.voipPort = v; return true;
    case kRspBcast:
      if (!InRange(v, 0, 3)) return false;
      s.broadcastMode = v;
      return true;
    case kRspConmode: s.connectionMode = v; return true;
    case kRspName: CopyReplyText(s.name, reply.text); return true;
    case kRspSecurity: s.securityFlags = v; return true;
    case kRspVer: CopyReplyText(s.firmwareVersion, reply.text); return true;
    case kRspCor: s.corSquelchType = v; return true;
    case kRspCorinh: s.corInhibitTime = v; return true;
    case kRspData: s.serialDataBits = v; prefs.dataBits = v; return true;
    case kRspStop: s.serialStopBits = v; prefs.stopBits = v; return true;
    case kRspParity:
      // An empty or unknown parity must not become the host's line setting.
      if (reply.text[0] != 'E' && reply.text[0] != 'N' && reply.text[0] != 'O') return false;
      s.serialParity = reply.text[0];
      prefs.parity = reply.text[0];
      return true;
    case kRspHangtm: s.hangTime = v; return true;
    case kRspVocoder: s.vocoder = v; return true;
    case kRspPass: CopyReplyText(s.webPassword, reply.text); return true;
    case kRspSrvrport: s.serverPort = v; return true;
    case kRspCmdport: s.commandPort = v; return true;
    case kRspDscp: s.qosDscp = v; return true;
    case kRspVsense: s.voxThreshold = v; return true;
    case kRspBoost: s.inputBoost = v; return true;
    case kRspDuplex: s.duplex = v; return true;
    case kRspRxdelay: s.rxDelay = v; return true;
    case kRspTxdelay: s.txDelay = v; return true;
    case kRspMac: CopyReplyText(s.macAddress, reply.text); return true;
    default: return false;
  }
}

}  // namespace

void CAppWindow::Step() {
  // Once the orderly stop has begun, no query and no escape starts.
  if (shutDown_.load()) return;
  const int32_t passes = idlePasses_.fetch_add(1) + 1;
  if (passes > kIdlePassLimit) {
    // Only if no activity was noted meanwhile.
    int32_t seen = passes;
    idlePasses_.compare_exchange_strong(seen, kIdlePassLimit);
    // While a reply is due, a nap of 5 ms per pass (a Poll every 10 ms) would add its
    // length to every exchange of a read; the wait for a reply ends within its time-out.
    services_.clock.SleepMs(link_.AwaitingReply() ? kReplyDueSleepMs : kIdleSleepMs);
  }

  switch (link_.GetState()) {
    case LinkState::Idle:
      // Another thread may have started a send since GetState; then the escape waits
      // for the next pass instead of leaving the status at "entering" with no escape.
      if (statusState_.load() == kStatusCommunicating && link_.StartCommandMode()) {
        statusState_.store(kStatusEnteringCommand);
        queryStep_.store(kAwaitCommandMode);
        ClearSettingReadState();  // a read is finished only by what follows this escape
      }
      break;
    case LinkState::ReplyReady: TakeReply(); break;
    case LinkState::Failed:
      if (link_.PortLost()) {
        ReportLostPort();
      } else {
        statusState_.store(kStatusNotResponding);
        surface_.Invalidate(false);
      }
      link_.ResetLink();
      break;
    case LinkState::EscapeWait: statusState_.store(kStatusEnteringCommand); break;
    case LinkState::ProbeSent:
    case LinkState::SecondProbe: NoteEscapeWentOut(); break;
    case LinkState::Closed:
    case LinkState::Sending:
    case LinkState::EscapeSent: break;
  }
}

void CAppWindow::BeginReadInCommandMode() {
  NoteUnitAnswered();
  ownCommand_.store(1);
  ClearSettingReadState();
  statusState_.store(kStatusQuerying);
  queryStep_.store(kAwaitEchoOff);
  SendEchoOff();
}

void CAppWindow::ReportLostPort() {
  // The unit may be fine; the line to it is gone. Nothing more goes out until File/Reset
  // or the serial port dialog opens a port again.
  queryStep_.store(kNothingPending);
  fullReadActive_.store(0);
  statusState_.store(kStatusPortNotOpen);
  surface_.KillTimer(ids::kRebootTimer);
  surface_.Invalidate(false);
  surface_.StartTimer(ids::kPortLostTimer, kPortLostNoticeDelayMs);
}

void CAppWindow::TakeReply() {
  const ResponseRecord* taken = link_.TakeReply();
  if (taken == nullptr) return;  // the link was reset meanwhile
  const ResponseRecord reply = *taken;
  idlePasses_.store(0);
  NoteUnitAnswered();

  if (typedTranPending_.exchange(false) && reply.responseId == kRspOk) {
    // The user's TRAN was taken: the unit passes its data again.
    NoteUnitTransparent();
    ownCommand_.store(1);
    queryStep_.store(kNothingPending);
    statusState_.store(kStatusTransparent);
    surface_.Invalidate(false);
    return;
  }

  const StatusState status = statusState_.load();
  if (status == kStatusEnteringCommand || status == kStatusNotResponding) {
    // Whatever it says, the unit answers: it is in command mode.
    ownCommand_.store(1);
    statusState_.store(kStatusQuerying);
    ClearSettingReadState();
    queryStep_.store(kAwaitEchoOff);
    SendEchoOff();
    return;
  }

  switch (reply.responseId) {
    case kRspOk: HandleOk(); break;
    case kRspErr: HandleErr(); break;
    default:
      if (reply.responseId > kRspErr && reply.responseId < kResponseCount) HandleValueReply(reply);
      break;
  }
}

void CAppWindow::HandleOk() {
  const int32_t step = queryStep_.load();
  if (step == kNothingPending) return;
  if (step >= kConfirmIpAddress && step <= kConfirmWebPassword) {
    ConfirmTypedSetting(step);
    return;
  }
  if (step != kAwaitTransparent && step != kAwaitCommandMode && step != kAwaitEchoOff) return;
  if (ownCommand_.load() == 0) {
    // The "OK" answers a line the user typed.
    ownCommand_.store(1);
    return;
  }
  switch (step) {
    case kAwaitTransparent:
      NoteUnitTransparent();
      statusState_.store(kStatusTransparent);
      queryStep_.store(kNothingPending);
      surface_.Invalidate(false);
      break;
    case kAwaitCommandMode:
      ClearSettingReadState();
      statusState_.store(kStatusQuerying);
      queryStep_.store(kAwaitEchoOff);
      SendEchoOff();
      break;
    case kAwaitEchoOff:
      statusState_.store(kStatusQuerying);
      queryStep_.store(kNothingPending);
      fullReadActive_.store(1);
      pendingQuery_.store(kCmdStat);
      SendNextQuery();
      break;
    default: break;
  }
}

void CAppWindow::HandleErr() {
  if (ownCommand_.load() == 1 && queryStep_.load() == kNothingPending) {
    if (fullReadActive_.load() == 1) {
      MarkSettingUnsupported();
      SendNextQuery();
    }
    SendQuery(kCmdStat);
  }
  ownCommand_.store(1);
}

void CAppWindow::HandleValueReply(const ResponseRecord& reply) {
  switch (reply.responseId) {
    case kRspCon:
    case kRspAtt:
    case kRspDis:
      if (reply.responseId != kRspDis) peerAddress_.store(PackAddress(reply.address));
      ownCommand_.store(1);
      statusState_.store(reply.responseId == kRspCon   ? kStatusConnected
                         : reply.responseId == kRspAtt ? kStatusAttempting
                                                       : kStatusDisconnected);
      surface_.Invalidate(true);
      surface_.UpdateNow();
      return;
    case kRspEcho: ownCommand_.store(1); return;
    default: break;
  }

  DeviceSettings shown;
  bool stored;
  {
    std::lock_guard lock(stateMutex_);
    stored = StoreReplyValue(reply, currentSettings_, *prefs_);
    shown = currentSettings_;
  }
  if (stored) PresentReplyValue(reply.responseId, shown);

  if (reply.responseId == kRspVer) {
    // The version line is drawn with the next ordinary paint.
    ContinueSequence();
    surface_.Invalidate(false);
    return;
  }
  surface_.Invalidate(true);
  surface_.UpdateNow();
  ContinueSequence();
}

void CAppWindow::ContinueSequence() {
  if (ownCommand_.load() == 0) {
    // The user typed the query; the read, if one runs, does not move on.
    ownCommand_.store(1);
    return;
  }
  if (fullReadActive_.load() == 1) {
    MarkSettingRead();
    SendNextQuery();
  }
}

void CAppWindow::ConfirmTypedSetting(int32_t step) {
  ownCommand_.store(1);
  queryStep_.store(kNothingPending);

  DeviceSettings shown;
  {
    std::lock_guard lock(stateMutex_);
    char argument[kPendingArgumentSize];
    std::memcpy(argument, pendingArgument_, sizeof(argument));
    argument[sizeof(argument) - 1] = '\0';
    if (!StoreConfirmedSetting(step, argument, currentSettings_, *prefs_)) return;
    shown = currentSettings_;
  }
  PresentConfirmedValue(step, shown);
  surface_.Invalidate(true);
  surface_.UpdateNow();
}

void CAppWindow::SendNextQuery() {
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (settingReadState_[i].load() == 0) {
      pendingQuery_.store(kFullReadOrder[i]);
      SendQuery(kFullReadOrder[i]);
      return;
    }
  }
  fullReadActive_.store(0);
  SendQuery(kCmdStat);
}

void CAppWindow::ClearSettingReadState() {
  for (auto& state : settingReadState_) state.store(0);
}

void CAppWindow::SendEchoOff() {
  CommandRecord record;
  record.commandId = kCmdEcho;
  record.value = 0;
  link_.SendCommand(record);
}

void CAppWindow::SendQuery(int32_t commandId) {
  CommandRecord record;
  record.commandId = commandId;
  record.value = -1;
  link_.SendCommand(record);
}

}  // namespace vqx
