#include "app/settings_report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/app_window.h"
#include "app/text_fields.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

__attribute__((format(printf, 2, 3))) void AppendFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(length) + 1);
    std::vsnprintf(out.data() + start, static_cast<size_t>(length) + 1, format, again);
    out.resize(start + static_cast<size_t>(length));
  }
  va_end(again);
}

// A text field's length as "%.*s" wants it, bounded by the field's width.
template <size_t N>
int Precision(const char (&field)[N]) {
  return static_cast<int>(FieldLength(field));
}

const char* YesUnlessSet(int32_t flags, int32_t bit) { return (flags & bit) != 0 ? "No" : "Yes"; }

const char* ConnectionModeLine(const DeviceSettings& s) {
  switch (s.broadcastMode) {
    case 0: return s.connectionMode != 0 ? "Connection Mode: Server\r\n" : "Connection Mode: Client\r\n";
    case 1: return "Connection Mode: Broadcast\r\n";
    case 2: return "Connection Mode: Connectionless\r\n";
    case 3: return "Connection Mode: Multicast\r\n";
    default: return "";
  }
}

const char* VocoderLine(int32_t vocoder) {
  switch (vocoder) {
    case 2: return "Vocoder: ADPCM 16Kbps\r\n";
    case 3: return "Vocoder: ADPCM 24Kbps\r\n";
    case 4: return "Vocoder: ADPCM 32Kbps\r\n";
    case 5: return "Vocoder: PCM 64Kbps\r\n";
    default: return "Vocoder: GSM 13Kbps\r\n";
  }
}

const char* SquelchTypeLine(int32_t type) {
  switch (type) {
    case 1: return "COR Squelch Type: Active High\r\n";
    case 2: return "COR Squelch Type: VOX\r\n";
    case 3: return "COR Squelch Type: VMR\r\n";
    default: return "COR Squelch Type: Active Low\r\n";
  }
}

const char* ThresholdLine(int32_t threshold) {
  switch (threshold) {
    case 1: return "VOX/VMR Threshold: Medium\r\n";
    case 2: return "VOX/VMR Threshold: High\r\n";
    default: return "VOX/VMR Threshold: Low\r\n";
  }
}

void AppendBlock(std::string& out, const DeviceSettings& s) {
  AppendFormat(out, "Serial Number: %.*s\r\n", Precision(s.serialNumber), s.serialNumber);
  AppendFormat(out, "Name: %.*s\r\n", Precision(s.name), s.name);
  AppendFormat(out, "IP Address: %d.%d.%d.%d:%d\r\n", s.ipAddress[0], s.ipAddress[1], s.ipAddress[2],
               s.ipAddress[3], s.voipPort);
  AppendFormat(out, "VoIP Port: %d\r\n", s.voipPort);
  AppendFormat(out, "Command Port: %d\r\n", s.commandPort);
  AppendFormat(out, "Gateway IP: %d.%d.%d.%d\r\n", s.gatewayIp[0], s.gatewayIp[1], s.gatewayIp[2], s.gatewayIp[3]);
  AppendFormat(out, "Subnet Mask: %d.%d.%d.%d\r\n", s.subnetMask[0], s.subnetMask[1], s.subnetMask[2],
               s.subnetMask[3]);
  out += ConnectionModeLine(s);
  AppendFormat(out, "Firmware Ver: %.*s\r\n\r\n", Precision(s.firmwareVersion), s.firmwareVersion);
  AppendFormat(out, "Access via HTTP: %s\r\n", YesUnlessSet(s.securityFlags, kSecurityNoHttpAccess));
  AppendFormat(out, "Configuration via HTTP: %s\r\n", YesUnlessSet(s.securityFlags, kSecurityNoHttpConfiguration));
  AppendFormat(out, "Control connections via HTTP: %s\r\n",
               YesUnlessSet(s.securityFlags, kSecurityNoHttpConnectionManagement));
  AppendFormat(out, "Authentication via HTTP: %s\r\n", YesUnlessSet(s.securityFlags, kSecurityNoHttpAuthentication));
  AppendFormat(out, "Access via telnet: %s\r\n", YesUnlessSet(s.securityFlags, kSecurityNoTelnet));
  AppendFormat(out, "Web access password: %.*s\r\n\r\n", Precision(s.webPassword), s.webPassword);
  out += VocoderLine(s.vocoder);
  AppendFormat(out, "QOS DSCP Value: %d\r\n", s.qosDscp);
  out += SquelchTypeLine(s.corSquelchType);
  AppendFormat(out, "COR Inhibit Time: %d ms\r\n", s.corInhibitTime);
  out += ThresholdLine(s.voxThreshold);
  AppendFormat(out, "VOX/VMR Hang Time: %d ms\r\n", s.hangTime);
  out += s.duplex != 0 ? "Duplex: Half\r\n" : "Duplex: Full\r\n";
  out += s.inputBoost != 0 ? "Input Boost: +20 dB\r\n" : "Input Boost: None\r\n";
  AppendFormat(out, "RX Delay: %d ms\r\n", s.rxDelay);
  AppendFormat(out, "TX Delay: %d ms\r\n\r\n", s.txDelay);
  AppendFormat(out, "Serial Baud Rate: %d\r\n", s.serialBaudRate);
  AppendFormat(out, "Serial Data Bits: %d\r\n", s.serialDataBits);
  AppendFormat(out, "Serial Stop Bits: %d\r\n", s.serialStopBits);
  // A unit that never reported its parity leaves NUL here; printing it would end the
  // pane's text in the middle of the report.
  out += "Serial Parity: ";
  if (s.serialParity != '\0') out += s.serialParity;
  out += "\r\n";
  out += "---\r\n";
}

}  // namespace

std::string FormatSettingsReport(std::span<const DeviceSettings> entries) {
  std::string out = "---\r\n";
  for (const DeviceSettings& entry : entries) AppendBlock(out, entry);
  return out;
}

void CAppWindow::ShowSettingsReport() {
  const int selection = surface_.CurrentSelection(ids::kHistoryList);
  if (selection < 0) return;
  const int lines = surface_.ItemCount(ids::kHistoryList);
  if (lines < 0) return;

  // The History list is only changed on this thread; the copy keeps the report
  // independent of the block while the surface is busy.
  std::vector<DeviceSettings> entries;
  const int32_t count = prefs_->historyCount;
  if (selection >= 1) {
    if (selection > count) return;  // a line the list does not hold
    entries.push_back(prefs_->history[static_cast<size_t>(selection - 1)]);
  } else {
    if (lines - 1 < 1) return;
    entries.assign(prefs_->history, prefs_->history + count);
  }
  const std::string report = FormatSettingsReport(entries);
  surface_.SetText(ids::kReportPane, report.c_str());
}

}  // namespace vqx
