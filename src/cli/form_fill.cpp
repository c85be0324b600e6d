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

  void Type(int id, const std::string& text) {
    surface.Inner().UserSetText(id, text);
    window.OnCommand(id, kEnChange);
  }
  bool Choose(int list, const std::string& text) {
    const std::vector<std::string> items = surface.Inner().Items(list);
    const auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) return false;
    surface.Inner().UserSelectItem(list, static_cast<int>(it - items.begin()));
    return true;
  }
  bool ChooseText(int list, const char* text) { return text != nullptr && Choose(list, text); }
  void Check(int id, bool checked) {
    surface.Inner().UserSetChecked(id, checked);
    window.OnCommand(id, kBnClicked);
  }
  void Address(const int (&boxes)[4], const uint8_t (&octets)[4]) {
    for (size_t i = 0; i < 4; ++i) Type(boxes[i], std::to_string(octets[i]));
  }
};

template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, FieldLength(field));
}

// One field; false when the form cannot show the value.
bool FillField(Filler& f, std::string_view key, const DeviceSettings& t, bool* known) {
  *known = true;
  if (key == "name") return f.Type(ids::kName, FieldText(t.name)), true;
  if (key == "webPassword") return f.Type(ids::kWebPassword, FieldText(t.webPassword)), true;
  if (key == "ipAddress") return f.Address(kIpBoxes, t.ipAddress), true;
  if (key == "serverIp") return f.Address(kServerIpBoxes, t.serverIp), true;
  if (key == "gateway") return f.Address(kGatewayBoxes, t.gatewayIp), true;
  if (key == "subnetMask") return f.Address(kSubnetBoxes, t.subnetMask), true;
  if (key == "voipPort") return f.Type(ids::kVoipPort, std::to_string(t.voipPort)), true;
  if (key == "serverPort") return f.Type(ids::kServerPort, std::to_string(t.serverPort)), true;
  if (key == "commandPort") return f.Type(ids::kCommandPort, std::to_string(t.commandPort)), true;
  if (key == "rxDelay") return f.Type(ids::kRxDelay, std::to_string(t.rxDelay)), true;
  if (key == "txDelay") return f.Type(ids::kTxDelay, std::to_string(t.txDelay)), true;
  for (const SecurityBox& box : kSecurityBoxes) {
    const bool matches = (key == "allowTelnet" && box.control == ids::kAllowTelnet) ||
                         (key == "allowHttpAuthentication" && box.control == ids::kAllowHttpAuthentication) ||
                         (key == "allowHttpConnectionManagement" && box.control == ids::kAllowHttpConnectionManagement) ||
                         (key == "allowHttpConfiguration" && box.control == ids::kAllowHttpConfiguration) ||
                         (key == "allowHttpAccess" && box.control == ids::kAllowHttpAccess);
    if (matches) return f.Check(box.control, (t.securityFlags & box.bit) == 0), true;
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
