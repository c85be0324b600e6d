#include "form_fill.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/form_controls.h"
#include "app/text_fields.h"
#include "window/control_ids.h"

namespace vqx::cli {

namespace {

struct Filler {
  CliSurface& surface;
  CAppWindow& window;

  bool Type(int id, const std::string& text) {
    surface.Inner().UserSetText(id, text);
    window.OnCommand(id, kEnChange);
    return true;
  }
  bool Choose(int list, const std::string& text) {
    const std::vector<std::string> items = surface.Inner().Items(list);
    const auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) return false;
    surface.Inner().UserSelectItem(list, static_cast<int>(it - items.begin()));
    return true;
  }
  bool ChooseText(int list, const char* text) { return text != nullptr && Choose(list, text); }
  bool Check(int id, bool checked) {
    surface.Inner().UserSetChecked(id, checked);
    window.OnCommand(id, kBnClicked);
    return true;
  }
  bool Address(const int (&boxes)[4], const uint8_t (&octets)[4]) {
    for (size_t i = 0; i < 4; ++i) Type(boxes[i], std::to_string(octets[i]));
    return true;
  }
};

// The snapshot's names of the "Allow ..." check boxes.
struct SecurityField {
  std::string_view key;
  int control;
};
constexpr SecurityField kSecurityFields[] = {
    {"allowTelnet", ids::kAllowTelnet},
    {"allowHttpAuthentication", ids::kAllowHttpAuthentication},
    {"allowHttpConnectionManagement", ids::kAllowHttpConnectionManagement},
    {"allowHttpConfiguration", ids::kAllowHttpConfiguration},
    {"allowHttpAccess", ids::kAllowHttpAccess},
};

template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, FieldLength(field));
}

// One field; false when the form cannot show the value.
bool FillField(Filler& f, std::string_view key, const DeviceSettings& t, bool* known) {
  *known = true;
  if (key == "name") return f.Type(ids::kName, FieldText(t.name));
  if (key == "webPassword") return f.Type(ids::kWebPassword, FieldText(t.webPassword));
  if (key == "ipAddress") return f.Address(kIpBoxes, t.ipAddress);
  if (key == "serverIp") return f.Address(kServerIpBoxes, t.serverIp);
  if (key == "gateway") return f.Address(kGatewayBoxes, t.gatewayIp);
  if (key == "subnetMask") return f.Address(kSubnetBoxes, t.subnetMask);
  if (key == "voipPort") return f.Type(ids::kVoipPort, std::to_string(t.voipPort));
  if (key == "serverPort") return f.Type(ids::kServerPort, std::to_string(t.serverPort));
  if (key == "commandPort") return f.Type(ids::kCommandPort, std::to_string(t.commandPort));
  if (key == "rxDelay") return f.Type(ids::kRxDelay, std::to_string(t.rxDelay));
  if (key == "txDelay") return f.Type(ids::kTxDelay, std::to_string(t.txDelay));
  for (const SecurityField& field : kSecurityFields) {
    if (key != field.key) continue;
    for (const SecurityBox& box : kSecurityBoxes) {
      if (box.control == field.control) return f.Check(box.control, (t.securityFlags & box.bit) == 0);
    }
  }
  if (key == "connectionMode") {
    return (t.connectionMode == 0 || t.connectionMode == 1) && f.Choose(ids::kConnectionMode, ConnectionModeText(t.connectionMode));
  }
  if (key == "broadcastMode") return f.ChooseText(ids::kBroadcastMode, kBroadcastModeTexts.TextOf(t.broadcastMode));
  if (key == "vocoder") return f.ChooseText(ids::kVocoder, kVocoderTexts.TextOf(t.vocoder));
  if (key == "corSquelchType") return f.ChooseText(ids::kCorSquelchType, kCorSquelchTexts.TextOf(t.corSquelchType));
  if (key == "corInhibitTime") return f.ChooseText(ids::kCorInhibitTime, kCorInhibitTimeTexts.TextOf(t.corInhibitTime));
  if (key == "voxThreshold") return f.ChooseText(ids::kVoxThreshold, kVoxThresholdTexts.TextOf(t.voxThreshold));
  if (key == "hangTime") return f.ChooseText(ids::kHangTime, kHangTimeTexts.TextOf(t.hangTime));
  if (key == "duplex") return (t.duplex == 0 || t.duplex == 1) && f.Choose(ids::kDuplex, DuplexText(t.duplex));
  if (key == "inputBoost") {
    return (t.inputBoost == 0 || t.inputBoost == 1) && f.Choose(ids::kInputBoost, InputBoostText(t.inputBoost));
  }
  if (key == "qosDscp") return f.Choose(ids::kQosDscp, std::to_string(t.qosDscp));
  if (key == "serialBaudRate") return f.Choose(ids::kBaudRate, std::to_string(t.serialBaudRate));
  if (key == "serialDataBits") return f.Choose(ids::kDataBits, std::to_string(t.serialDataBits));
  if (key == "serialStopBits") return f.Choose(ids::kStopBits, std::to_string(t.serialStopBits));
  if (key == "serialParity") return f.ChooseText(ids::kParity, kParityTexts.TextOf(t.serialParity));
  *known = false;
  return false;
}

}  // namespace

bool FillForm(CliSurface& surface, CAppWindow& window, const DeviceSettings& target,
              const std::vector<std::string>& fields, std::string* error) {
  Filler filler{surface, window};
  for (const std::string& key : fields) {
    bool known = false;
    if (FillField(filler, key, target, &known)) continue;
    *error = known ? key + ": the settings form offers no such value (vqxctl send can set it as a command line)"
                   : key + ": cannot be sent to the VQX-2";
    return false;
  }
  return true;
}

}  // namespace vqx::cli
