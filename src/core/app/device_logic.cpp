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

// A text may fill the whole field it comes in; never read past it, never write past ours.
void CopyText(const SettingRow& row, DeviceSettings& s, const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  if (length > row.size - 1) length = row.size - 1;
  char* field = reinterpret_cast<char*>(BytesOf(s, row));
  std::memcpy(field, text, length);
  field[length] = '\0';
}

uint32_t PackAddress(const uint8_t (&address)[4]) {
  return uint32_t{address[0]} | uint32_t{address[1]} << 8 | uint32_t{address[2]} << 16 |
         uint32_t{address[3]} << 24;
}

bool ReadAddress(const char* text, uint8_t* address) {
  int32_t numbers[4];
  if (!ParseFourDecimals(text, std::strlen(text), numbers)) return false;
  for (int32_t n : numbers) {
    if (n < 0 || n > 255) return false;
  }
  for (size_t i = 0; i < 4; ++i) address[i] = static_cast<uint8_t>(numbers[i]);
  return true;
}

// Stores a confirmed typed setting when its argument is acceptable; false stores nothing.
// Runs under stateMutex_ (the settings and the host serial settings).
bool StoreConfirmedSetting(const SettingRow& row, const char* argument, DeviceSettings& settings,
                           PreferencesBlock& prefs) {
  switch (row.value) {
    case SettingValue::Address: return ReadAddress(argument, BytesOf(settings, row));
    case SettingValue::Text: CopyText(row, settings, argument, kPendingArgumentSize); return true;
    case SettingValue::Parity:
      if (!IsParityLetter(argument[0])) return false;
      settings.serialParity = argument[0];
      break;
    case SettingValue::Number:
    case SettingValue::Security: {
      int32_t v = 0;
      if (!ParseDecimal(argument, &v) || !row.typed.Holds(v)) return false;
      // Server mode and above are set by the unit's own means; a typed 0 or 1 does not
      // replace them.
      if (row.keepsServerModes && NumberOf(settings, row) > 1) return false;
      SetNumber(settings, row, v);
      break;
    }
  }
  FollowHostLine(row, settings, prefs);
  return true;
}

// Stores the setting a reply carries. False when the reply stores nothing (a broadcast
// mode outside 0..3, an unknown parity) and so presents nothing either. Runs under
// stateMutex_.
bool StoreReplyValue(const SettingRow& row, const ResponseRecord& reply, DeviceSettings& s, PreferencesBlock& prefs) {
  switch (row.value) {
    case SettingValue::Address:
      std::memcpy(BytesOf(s, row), reply.address, 4);
      if (row.dhcpRemark) s.dhcpAssigned = reply.value != 0 ? 1 : 0;
      return true;
    case SettingValue::Text: CopyText(row, s, reply.text, kTextSize); return true;
    case SettingValue::Parity:
      // An empty or unknown parity must not become the host's line setting.
      if (!IsParityLetter(reply.text[0])) return false;
      s.serialParity = reply.text[0];
      break;
    case SettingValue::Number:
    case SettingValue::Security:
      if (row.replyWithinRange && !row.range.Holds(reply.value)) return false;
      SetNumber(s, row, reply.value);
      break;
  }
  FollowHostLine(row, s, prefs);
  return true;
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
  ownCommand_.store(true);
  ClearSettingReadState();
  statusState_.store(kStatusQuerying);
  queryStep_.store(kAwaitEchoOff);
  SendEchoOff();
}

void CAppWindow::ReportLostPort() {
  // The unit may be fine; the line to it is gone. Nothing more goes out until File/Reset
  // or the serial port dialog opens a port again.
  queryStep_.store(kNothingPending);
  fullReadActive_.store(false);
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
    ownCommand_.store(true);
    queryStep_.store(kNothingPending);
    statusState_.store(kStatusTransparent);
    surface_.Invalidate(false);
    return;
  }

  const StatusState status = statusState_.load();
  if (status == kStatusEnteringCommand || status == kStatusNotResponding) {
    // Whatever it says, the unit answers: it is in command mode.
    ownCommand_.store(true);
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
  if (!ownCommand_.load()) {
    // The "OK" answers a line the user typed.
    ownCommand_.store(true);
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
      fullReadActive_.store(true);
      pendingQuery_.store(kCmdStat);
      SendNextQuery();
      break;
    default: break;
  }
}

void CAppWindow::HandleErr() {
  if (ownCommand_.load() && queryStep_.load() == kNothingPending) {
    if (fullReadActive_.load()) {
      MarkSettingUnsupported();
      SendNextQuery();
    }
    SendQuery(kCmdStat);
  }
  ownCommand_.store(true);
}

void CAppWindow::HandleValueReply(const ResponseRecord& reply) {
  switch (reply.responseId) {
    case kRspCon:
    case kRspAtt:
    case kRspDis:
      if (reply.responseId != kRspDis) peerAddress_.store(PackAddress(reply.address));
      ownCommand_.store(true);
      statusState_.store(reply.responseId == kRspCon   ? kStatusConnected
                         : reply.responseId == kRspAtt ? kStatusAttempting
                                                       : kStatusDisconnected);
      surface_.Invalidate(true);
      surface_.UpdateNow();
      return;
    case kRspEcho: ownCommand_.store(true); return;
    default: break;
  }

  const SettingRow* row = RowOfReply(reply.responseId);
  DeviceSettings shown;
  bool stored;
  {
    std::lock_guard lock(stateMutex_);
    stored = row != nullptr && StoreReplyValue(*row, reply, currentSettings_, *prefs_);
    shown = currentSettings_;
  }
  if (stored) PresentSetting(*row, shown);

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
  if (!ownCommand_.load()) {
    // The user typed the query; the read, if one runs, does not move on.
    ownCommand_.store(true);
    return;
  }
  if (fullReadActive_.load()) {
    MarkSettingRead();
    SendNextQuery();
  }
}

void CAppWindow::ConfirmTypedSetting(int32_t step) {
  ownCommand_.store(true);
  queryStep_.store(kNothingPending);
  const SettingRow* row = RowOfTypedStep(step);
  if (row == nullptr) return;

  DeviceSettings shown;
  {
    std::lock_guard lock(stateMutex_);
    char argument[kPendingArgumentSize];
    std::memcpy(argument, pendingArgument_, sizeof(argument));
    argument[sizeof(argument) - 1] = '\0';
    if (!StoreConfirmedSetting(*row, argument, currentSettings_, *prefs_)) return;
    shown = currentSettings_;
  }
  PresentSetting(*row, shown);
  surface_.Invalidate(true);
  surface_.UpdateNow();
}

void CAppWindow::SendNextQuery() {
  const std::span<const SettingRow> rows = SettingRows();
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (settingReadState_[i].load() == ReadMark::NotRead) {
      pendingQuery_.store(rows[i].commandId);
      SendQuery(rows[i].commandId);
      return;
    }
  }
  fullReadActive_.store(false);
  SendQuery(kCmdStat);
}

void CAppWindow::ClearSettingReadState() {
  for (auto& state : settingReadState_) state.store(ReadMark::NotRead);
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
