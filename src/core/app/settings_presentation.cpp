// How each setting is put into the Settings view: texts of edits and statics, list
// selections by text, the security check boxes.

#include <cstdio>
#include <cstring>

#include "app/app_window.h"
#include "app/text_fields.h"
#include "app/form_controls.h"
#include "protocol/response_table.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

// A value without a text leaves the list as it was.
void SelectText(IWindowSurface& surface, int list, const char* text) {
  if (text != nullptr) surface.SelectItemByPrefix(list, text);
}

// By the number's digits: 96 selects "9600", the first item that begins with them.
void SelectNumber(IWindowSurface& surface, int list, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%d", value);
  surface.SelectItemByPrefix(list, text);
}

// Record fields may come from the preferences file without a terminator.
template <size_t N>
void SetFieldText(IWindowSurface& surface, int id, const char* label, const char (&field)[N]) {
  const size_t length = FieldLength(field);
  char text[128];
  std::snprintf(text, sizeof(text), "%s%.*s", label, static_cast<int>(length), field);
  surface.SetText(id, text);
}

}  // namespace

void CAppWindow::PresentAddress(const int ids[4], const uint8_t address[4]) {
  for (size_t i = 0; i < 4; ++i) PresentNumber(ids[i], address[i]);
}

void CAppWindow::PresentNumber(int id, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%d", value);
  surface_.SetText(id, text);
}

void CAppWindow::PresentSecurity(int32_t flags) {
  // A set bit switches the feature off; the box says "Allow ...".
  for (const SecurityBox& box : kSecurityBoxes) surface_.SetChecked(box.control, (flags & box.bit) == 0);
}

void CAppWindow::PresentReplyValue(int32_t responseId, const DeviceSettings& s) {
  switch (responseId) {
    case kRspMyip: PresentAddress(kIpBoxes, s.ipAddress); break;
    case kRspSubnet: PresentAddress(kSubnetBoxes, s.subnetMask); break;
    case kRspGateip: PresentAddress(kGatewayBoxes, s.gatewayIp); break;
    case kRspSrvrip: PresentAddress(kServerIpBoxes, s.serverIp); break;
    case kRspBaud: SelectNumber(surface_, ids::kBaudRate, s.serialBaudRate); break;
    case kRspPort: PresentNumber(ids::kVoipPort, s.voipPort); break;
    case kRspBcast: SelectText(surface_, ids::kBroadcastMode, kBroadcastModeTexts.TextOf(s.broadcastMode)); break;
    case kRspConmode: SelectText(surface_, ids::kConnectionMode, ConnectionModeText(s.connectionMode)); break;
    case kRspName: SetFieldText(surface_, ids::kName, "", s.name); break;
    case kRspSecurity: PresentSecurity(s.securityFlags); break;
    case kRspVer: SetFieldText(surface_, ids::kFirmwareVersion, "Firmware Ver: ", s.firmwareVersion); break;
    case kRspCor: SelectText(surface_, ids::kCorSquelchType, kCorSquelchTexts.TextOf(s.corSquelchType)); break;
    case kRspCorinh:
      SelectText(surface_, ids::kCorInhibitTime, kCorInhibitTimeTexts.TextOf(s.corInhibitTime));
      break;
    case kRspData: SelectNumber(surface_, ids::kDataBits, s.serialDataBits); break;
    case kRspStop: SelectNumber(surface_, ids::kStopBits, s.serialStopBits); break;
    case kRspParity: SelectText(surface_, ids::kParity, kParityTexts.TextOf(s.serialParity)); break;
    // The hang-time list has no "0 ms": a hang time of 0 selects nothing.
    case kRspHangtm: SelectText(surface_, ids::kHangTime, kHangTimeTexts.TextOf(s.hangTime)); break;
    case kRspVocoder: SelectText(surface_, ids::kVocoder, kVocoderTexts.TextOf(s.vocoder)); break;
    case kRspPass: SetFieldText(surface_, ids::kWebPassword, "", s.webPassword); break;
    case kRspSrvrport: PresentNumber(ids::kServerPort, s.serverPort); break;
    case kRspCmdport: PresentNumber(ids::kCommandPort, s.commandPort); break;
    case kRspDscp: SelectNumber(surface_, ids::kQosDscp, s.qosDscp); break;
    case kRspVsense: SelectText(surface_, ids::kVoxThreshold, kVoxThresholdTexts.TextOf(s.voxThreshold)); break;
    case kRspBoost: SelectText(surface_, ids::kInputBoost, InputBoostText(s.inputBoost)); break;
    case kRspDuplex: SelectText(surface_, ids::kDuplex, DuplexText(s.duplex)); break;
    case kRspRxdelay: PresentNumber(ids::kRxDelay, s.rxDelay); break;
    case kRspTxdelay: PresentNumber(ids::kTxDelay, s.txDelay); break;
    case kRspMac: SetFieldText(surface_, ids::kMacAddress, "Mac Address: ", s.macAddress); break;
    default: break;
  }
}

void CAppWindow::PresentConfirmedValue(int32_t step, const DeviceSettings& s) {
  switch (step) {
    case kConfirmIpAddress: PresentAddress(kIpBoxes, s.ipAddress); break;
    case kConfirmServerIp: PresentAddress(kServerIpBoxes, s.serverIp); break;
    case kConfirmGatewayIp: PresentAddress(kGatewayBoxes, s.gatewayIp); break;
    case kConfirmSubnetMask: PresentAddress(kSubnetBoxes, s.subnetMask); break;
    case kConfirmBroadcastMode:
      SelectText(surface_, ids::kBroadcastMode, kBroadcastModeTexts.TextOf(s.broadcastMode));
      break;
    case kConfirmConnectionMode:
      SelectText(surface_, ids::kConnectionMode, ConnectionModeText(s.connectionMode));
      break;
    case kConfirmBaudRate: SelectNumber(surface_, ids::kBaudRate, s.serialBaudRate); break;
    case kConfirmVoipPort: PresentNumber(ids::kVoipPort, s.voipPort); break;
    case kConfirmServerPort: PresentNumber(ids::kServerPort, s.serverPort); break;
    case kConfirmSecurity: PresentSecurity(s.securityFlags); break;
    case kConfirmName: SetFieldText(surface_, ids::kName, "", s.name); break;
    case kConfirmCorSquelchType:
      // A typed COR accepts 0..2 only.
      if (s.corSquelchType >= 0 && s.corSquelchType <= 2) {
        SelectText(surface_, ids::kCorSquelchType, kCorSquelchTexts.TextOf(s.corSquelchType));
      }
      break;
    case kConfirmCorInhibitTime:
      SelectText(surface_, ids::kCorInhibitTime, kCorInhibitTimeTexts.TextOf(s.corInhibitTime));
      break;
    case kConfirmHangTime: SelectText(surface_, ids::kHangTime, kHangTimeTexts.TextOf(s.hangTime)); break;
    case kConfirmVocoder: SelectText(surface_, ids::kVocoder, kVocoderTexts.TextOf(s.vocoder)); break;
    case kConfirmDataBits: SelectNumber(surface_, ids::kDataBits, s.serialDataBits); break;
    case kConfirmStopBits: SelectNumber(surface_, ids::kStopBits, s.serialStopBits); break;
    case kConfirmParity: SelectText(surface_, ids::kParity, kParityTexts.TextOf(s.serialParity)); break;
    case kConfirmWebPassword: SetFieldText(surface_, ids::kWebPassword, "", s.webPassword); break;
    default: break;
  }
}

}  // namespace vqx
