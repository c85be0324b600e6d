#include "window/dialog_template.h"

#include <array>

#include "vqx_version.h"
#include "window/control_ids.h"

namespace vqx {
namespace {

using K = ControlKind;
using V = ControlView;

// Style combinations that recur in the templates.
constexpr uint32_t kPush = kStylePushButton | kStyleTabStop;
constexpr uint32_t kViewButton = kStyleAutoRadioButton | kStylePushLike | kStyleNotify;
constexpr uint32_t kCheck = kStyleAutoCheckBox | kStyleTabStop;
constexpr uint32_t kEditBox = kStyleAutoHScroll | kStyleBorder | kStyleTabStop;
constexpr uint32_t kOctet = kStyleDigitsOnly | kEditBox;
constexpr uint32_t kDropDown = kStyleDropDownList | kStyleVScroll | kStyleTabStop;
constexpr uint32_t kLabelRight = kStyleAlignRight;
constexpr uint32_t kLabelRightV = kStyleAlignRight | kStyleVCenter;
constexpr uint32_t kLabelCenterV = kStyleAlignCenter | kStyleVCenter;
constexpr uint32_t kReadOnlyMulti = kStyleMultiLine | kStyleReadOnly | kStyleVScroll | kStyleAutoHScroll | kStyleBorder;

// Template order is the Tab order. Positions and sizes are dialog units of the template's
// font. The number boxes and the left column's lists are sized to their longest value in
// that font (a port's 65535, "ADPCM 32Kbps"), and no label reaches into a box's border.
constexpr std::array<ControlTemplate, 97> kMainControls{{
    {1114, K::ListBox, "", 7, 118, 182, 136,
     kStyleNotify | kStyleNoIntegralHeight | kStyleVScroll | kStyleBorder | kStyleTabStop, V::History},
    {1110, K::Button, "Remove", 31, 281, 55, 14, kPush, V::History},
    {1108, K::Button, "Add Current", 31, 260, 55, 14, kPush, V::History},
    {1107, K::Button, "Attention", 58, 334, 55, 14, kPush, V::Terminal},
    {1083, K::Button, "VQX-2 Settings", 77, 62, 75, 14, kViewButton | kStyleGroupStart, V::All},
    {1085, K::Button, "Terminal", 163, 62, 75, 14, kViewButton, V::All},
    {1086, K::Button, "History", 249, 62, 75, 14, kViewButton, V::All},
    {1109, K::Edit, "", 90, 260, 42, 14, kEditBox, V::History},
    {1116, K::Button, "Save to file...", 284, 261, 55, 14, kPush, V::History},
    {1012, K::Static, "Command Entry", 58, 301, 97, 8, kStyleAlignLeft, V::Terminal},
    {1009, K::Edit, "", 58, 314, 181, 14, kStyleMultiLine | kEditBox, V::Terminal},
    {1043, K::Button, "Send", 244, 314, 25, 14, kStyleDefaultPushButton | kStyleTabStop, V::Terminal},
    {1106, K::Button, "Save...", 340, 281, 55, 14, kPush, V::Terminal},
    {1118, K::Static, "Settings", 213, 105, 44, 13, kStyleAlignLeft | kStyleVCenter, V::History},
    {1008, K::Edit, "", 58, 105, 275, 190, kReadOnlyMulti | kStyleHScroll, V::Terminal},
    {1117, K::Static, "VQX-2 List", 7, 106, 48, 12, kStyleAlignLeft | kStyleVCenter, V::History},
    {1152, K::Button, "Status", 7, 5, 388, 47, kStyleGroupBox, V::All},
    {-1, K::Button, "Views", 7, 53, 388, 29, kStyleGroupBox, V::All},
    {1145, K::Edit, "", 213, 118, 182, 136, kReadOnlyMulti, V::History},
    {1015, K::Edit, "", 81, 101, 74, 12, kEditBox, V::Settings},
    {1091, K::Edit, "", 257, 116, 18, 12, kOctet, V::Settings},
    {1092, K::Edit, "", 277, 116, 18, 12, kOctet, V::Settings},
    {1016, K::Edit, "", 297, 116, 18, 12, kOctet, V::Settings},
    {1017, K::Edit, "", 317, 116, 18, 12, kOctet, V::Settings},
    {1093, K::Edit, "", 339, 116, 25, 12, kOctet, V::Settings},
    {1103, K::Edit, "", 257, 129, 18, 12, kOctet, V::Settings},
    {1019, K::Edit, "", 277, 129, 18, 12, kOctet, V::Settings},
    {1020, K::Edit, "", 297, 129, 18, 12, kOctet, V::Settings},
    {1021, K::Edit, "", 317, 129, 18, 12, kOctet, V::Settings},
    {1104, K::Edit, "", 339, 129, 25, 12, kOctet, V::Settings},
    {1123, K::Edit, "", 257, 142, 18, 12, kOctet, V::Settings},
    {1023, K::Edit, "", 277, 142, 18, 12, kOctet, V::Settings},
    {1024, K::Edit, "", 297, 142, 18, 12, kOctet, V::Settings},
    {1025, K::Edit, "", 317, 142, 18, 12, kOctet, V::Settings},
    {1124, K::Edit, "", 257, 155, 18, 12, kOctet, V::Settings},
    {1029, K::Edit, "", 277, 155, 18, 12, kOctet, V::Settings},
    {1030, K::Edit, "", 297, 155, 18, 12, kOctet, V::Settings},
    {1031, K::Edit, "", 317, 155, 18, 12, kOctet, V::Settings},
    {1127, K::Button, "Allow Telnet Access", 190, 190, 117, 13, kCheck, V::Settings},
    {1128, K::Button, "Allow HTTP Connection Management", 190, 214, 134, 13, kCheck, V::Settings},
    {1129, K::Button, "Allow HTTP Configuration", 190, 226, 134, 13, kCheck, V::Settings},
    {1130, K::Button, "Allow HTTP Access", 190, 238, 134, 13, kCheck, V::Settings},
    {1126, K::ComboBox, "", 93, 158, 68, 85, kDropDown, V::Settings},
    {1120, K::ComboBox, "", 93, 186, 68, 85, kDropDown, V::Settings},
    {1121, K::ComboBox, "", 93, 260, 68, 85, kDropDown, V::Settings},
    {1125, K::ComboBox, "", 93, 232, 68, 85, kDropDown, V::Settings},
    {1122, K::ComboBox, "", 93, 274, 68, 85, kDropDown, V::Settings},
    {1131, K::ComboBox, "", 228, 288, 64, 85, kDropDown, V::Settings},
    {1133, K::ComboBox, "", 228, 302, 64, 85, kDropDown, V::Settings},
    {1134, K::ComboBox, "", 228, 316, 64, 85, kDropDown, V::Settings},
    {1135, K::ComboBox, "", 228, 330, 64, 85, kDropDown, V::Settings},
    {1088, K::Button, "Update Settings", 321, 334, 74, 14, kPush, V::Settings},
    {1089, K::Static, "Name", 51, 102, 24, 10, kLabelRightV, V::Settings},
    {1090, K::Static, "This Unit IP Address", 182, 118, 69, 10, kLabelRight, V::Settings},
    {1095, K::Static, "Server IP Address", 188, 131, 63, 10, kLabelRight, V::Settings},
    {1096, K::Static, "Gateway IP Address", 185, 144, 66, 10, kLabelRight, V::Settings},
    {1097, K::Static, "Subnet Mask", 204, 157, 47, 10, kLabelRight, V::Settings},
    {1132, K::Button, "Security", 176, 176, 170, 95, kStyleGroupBox, V::Settings},
    {1136, K::Static, "Vocoder", 34, 185, 53, 12, kLabelRightV, V::Settings},
    {1137, K::Static, "VOX/VMR Hang Time", 14, 260, 73, 12, kLabelRightV, V::Settings},
    {1138, K::Static, "COR Inhibit Time", 34, 274, 53, 12, kLabelRightV, V::Settings},
    {1139, K::Static, "COR Squelch Type", 22, 232, 65, 12, kLabelRightV, V::Settings},
    {1140, K::Static, "Connection Mode", 29, 158, 58, 12, kLabelRightV, V::Settings},
    {1141, K::Static, "Baud Rate", 185, 288, 36, 12, kLabelRightV, V::Settings},
    {1142, K::Static, "Data Bits", 190, 302, 31, 12, kLabelRightV, V::Settings},
    {1143, K::Static, "Stop Bits", 190, 318, 31, 12, kLabelRightV, V::Settings},
    {1144, K::Static, "Parity", 198, 330, 23, 12, kLabelRightV, V::Settings},
    {1094, K::Static, "Port", 339, 106, 25, 10, kLabelCenterV, V::Settings},
    {1150, K::Edit, "", 292, 252, 47, 14, kEditBox, V::Settings},
    {1151, K::Static, "Password for web access:", 194, 254, 91, 11, kLabelRightV, V::Settings},
    {1146, K::Button, "Allow HTTP Authentication", 190, 202, 134, 13, kCheck, V::Settings},
    {1098, K::Static, "VoIP", 339, 97, 25, 9, kLabelCenterV, V::Settings},
    {1099, K::Static, "Port", 367, 106, 25, 10, kLabelCenterV, V::Settings},
    {1100, K::Static, "Cmd", 367, 97, 25, 9, kLabelCenterV, V::Settings},
    {1101, K::Edit, "", 367, 116, 25, 12, kOctet, V::Settings},
    {1176, K::Button, "Serial Port", 176, 275, 136, 74, kStyleGroupBox, V::Settings},
    {1173, K::Button, "Addresses", 176, 89, 219, 83, kStyleGroupBox, V::Settings},
    {1159, K::Static, "", 15, 117, 140, 10, kLabelRightV | kStyleGroupStart, V::Settings},
    {1045, K::Static, "", 16, 131, 139, 10, kLabelRightV | kStyleGroupStart, V::Settings},
    {1172, K::Button, "Information", 7, 89, 161, 56, kStyleGroupBox, V::Settings},
    {1147, K::Static, "Broadcast Mode", 29, 171, 58, 12, kLabelRightV, V::Settings},
    {1148, K::ComboBox, "", 93, 172, 68, 85, kDropDown, V::Settings},
    {1149, K::ComboBox, "", 93, 199, 68, 85, kDropDown, V::Settings},
    {1153, K::Static, "QOS DSCP", 34, 199, 53, 12, kLabelRightV, V::Settings},
    {1174, K::Button, "Network", 7, 148, 161, 68, kStyleGroupBox, V::Settings},
    {1154, K::ComboBox, "", 93, 246, 68, 85, kDropDown, V::Settings},
    {1155, K::Static, "VOX/VMR Threshold", 14, 246, 73, 12, kLabelRightV, V::Settings},
    {1156, K::ComboBox, "", 93, 288, 68, 85, kDropDown, V::Settings},
    {1157, K::Static, "Input Boost", 33, 288, 53, 12, kLabelRightV, V::Settings},
    {1158, K::ComboBox, "", 93, 302, 68, 85, kDropDown, V::Settings},
    {1160, K::Static, "Duplex", 33, 302, 53, 12, kLabelRightV, V::Settings},
    {1161, K::Static, "RX Delay (ms)", 33, 316, 53, 12, kLabelRightV, V::Settings},
    {1162, K::Static, "TX Delay (ms)", 33, 330, 53, 12, kLabelRightV, V::Settings},
    {1018, K::Edit, "", 93, 316, 68, 12, kOctet, V::Settings},
    {1022, K::Edit, "", 93, 330, 68, 12, kOctet, V::Settings},
    {1175, K::Button, "Audio", 7, 219, 161, 130, kStyleGroupBox, V::Settings},
    {1171, K::Static, "(via DHCP)", 258, 102, 39, 11, kLabelCenterV | kStyleGroupStart, V::Settings},
}};

constexpr DialogTemplate kMainDialog{ids::kMainDialog, "VQX Setup Utility", "MS Sans Serif", 8, 402, 355,
                                     kMainControls};

constexpr std::array<int, 77> kSettingsView{
    1089, 1090, 1094, 1095, 1096, 1097, 1136, 1137, 1138, 1139, 1140, 1141, 1142, 1143, 1144, 1153,
    1155, 1157, 1160, 1162, 1147, 1161, 1132, 1015, 1127, 1128, 1129, 1130, 1146, 1088, 1091, 1092,
    1016, 1017, 1093, 1101, 1123, 1023, 1024, 1025, 1103, 1019, 1020, 1021, 1104, 1124, 1029, 1030,
    1031, 1120, 1131, 1135, 1121, 1133, 1134, 1125, 1122, 1126, 1150, 1151, 1159, 1045, 1148, 1149,
    1154, 1156, 1158, 1018, 1022, 1172, 1173, 1174, 1175, 1176, 1100, 1099, 1098};
constexpr std::array<int, 6> kTerminalView{1008, 1012, 1009, 1043, 1106, 1107};
constexpr std::array<int, 8> kHistoryView{1110, 1108, 1109, 1114, 1145, 1116, 1117, 1118};

constexpr std::array<MenuItemTemplate, 5> kFileMenu{{
    {"&Reset", ids::kMenuReset, false},
    {"&Select Serial Port...", ids::kMenuSelectSerialPort, false},
    {"Remote &Connections...", ids::kMenuRemoteConnections, false},
    {nullptr, 0, false},
    {"E&xit", ids::kMenuExit, false},
}};
constexpr std::array<MenuItemTemplate, 3> kHelpMenu{{
    {"&About", ids::kMenuAbout, false},
    {nullptr, 0, false},
    {"&Manual", ids::kMenuManual, true},
}};
constexpr std::array<MenuPopupTemplate, 2> kMainMenu{{{"&File", kFileMenu}, {"&Help", kHelpMenu}}};

constexpr uint32_t kSerialList = kStyleDropDownList | kStyleTabStop;
constexpr std::array<ControlTemplate, 14> kSerialControls{{
    {ids::kSerialPortName, K::Edit, "", 85, 13, 66, 14, kEditBox, V::All},
    {ids::kSerialBaudRate, K::ComboBox, "", 85, 32, 66, 51, kSerialList, V::All},
    {ids::kSerialDataBits, K::ComboBox, "", 85, 50, 66, 51, kSerialList, V::All},
    {ids::kSerialStopBits, K::ComboBox, "", 85, 68, 66, 51, kSerialList, V::All},
    {ids::kSerialParity, K::ComboBox, "", 85, 86, 66, 40, kSerialList, V::All},
    {ids::kDialogOk, K::Button, "OK", 30, 112, 50, 14, kStyleDefaultPushButton | kStyleTabStop, V::All},
    {ids::kDialogCancel, K::Button, "Cancel", 93, 112, 50, 14, kPush, V::All},
    {-1, K::Static, "Serial Port Name:", 21, 13, 57, 14, kLabelRightV, V::All},
    {-1, K::Static, "Baud Rate:", 21, 31, 57, 14, kLabelRightV, V::All},
    {-1, K::Static, "Data Bits:", 21, 49, 57, 14, kLabelRightV, V::All},
    {-1, K::Static, "Stop Bits:", 21, 67, 57, 14, kLabelRightV, V::All},
    {-1, K::Static, "Parity:", 21, 85, 57, 14, kLabelRightV, V::All},
    // Below the original layout: the search for the unit's own settings.
    {ids::kSerialDetect, K::Button, "&Detect", 61, 132, 50, 14, kPush, V::All},
    {ids::kSerialDetectStatus, K::Static, "", 6, 150, 161, 10, kStyleAlignCenter, V::All},
}};
constexpr DialogTemplate kSerialDialog{ids::kSerialDialog, "Select Serial Port", "MS Sans Serif", 8, 173, 165,
                                       kSerialControls};

// Drop-down list contents, in fill order.
constexpr const char* kVocoders[] = {"GSM 13Kbps", "ADPCM 16Kbps", "ADPCM 24Kbps", "ADPCM 32Kbps", "PCM 64Kbps"};
constexpr const char* kConnectionModes[] = {"Client", "Server"};
constexpr const char* kBaudRates[] = {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr const char* kDataBits[] = {"7", "8"};
constexpr const char* kStopBits[] = {"1", "2"};
constexpr const char* kUnitParities[] = {"None", "Even", "Odd"};
constexpr const char* kSquelchTypes[] = {"Active Low", "Active High", "VOX", "VMR"};
constexpr const char* kInhibitTimes[] = {"0 ms", "500 ms", "1000 ms", "2000 ms", "3000 ms", "4000 ms"};
constexpr const char* kHangTimes[] = {"500 ms", "1000 ms", "2000 ms", "3000 ms", "4000 ms"};
constexpr const char* kBroadcastModes[] = {"Normal", "Broadcast", "Connectionless", "Multicast"};
constexpr const char* kThresholds[] = {"Low", "Medium", "High"};
constexpr const char* kInputBoosts[] = {"None", "+20 db"};
constexpr const char* kDuplexModes[] = {"Full", "Half"};
constexpr const char* kDscpValues[] = {
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14", "15",
    "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31",
    "32", "33", "34", "35", "36", "37", "38", "39", "40", "41", "42", "43", "44", "45", "46", "47",
    "48", "49", "50", "51", "52", "53", "54", "55", "56", "57", "58", "59", "60", "61", "62", "63"};
// The serial port dialog orders parity differently from the unit's list.
constexpr const char* kHostParities[] = {"None", "Odd", "Even"};

}  // namespace

const DialogTemplate& MainDialogTemplate() { return kMainDialog; }

std::span<const MenuPopupTemplate> MainMenuTemplate() { return kMainMenu; }

const DialogTemplate& SerialPortDialogTemplate() { return kSerialDialog; }

std::span<const int> SettingsViewControls() { return kSettingsView; }
std::span<const int> TerminalViewControls() { return kTerminalView; }
std::span<const int> HistoryViewControls() { return kHistoryView; }

std::span<const char* const> InitialListItems(int controlId) {
  switch (controlId) {
    case ids::kVocoder: return kVocoders;
    case ids::kConnectionMode: return kConnectionModes;
    case ids::kBaudRate: return kBaudRates;
    case ids::kDataBits: return kDataBits;
    case ids::kStopBits: return kStopBits;
    case ids::kParity: return kUnitParities;
    case ids::kCorSquelchType: return kSquelchTypes;
    case ids::kCorInhibitTime: return kInhibitTimes;
    case ids::kHangTime: return kHangTimes;
    case ids::kBroadcastMode: return kBroadcastModes;
    case ids::kVoxThreshold: return kThresholds;
    case ids::kInputBoost: return kInputBoosts;
    case ids::kDuplex: return kDuplexModes;
    case ids::kQosDscp: return kDscpValues;
    default: return {};
  }
}

std::span<const char* const> SerialDialogListItems(int controlId) {
  switch (controlId) {
    case ids::kSerialBaudRate: return kBaudRates;
    case ids::kSerialDataBits: return kDataBits;
    case ids::kSerialStopBits: return kStopBits;
    case ids::kSerialParity: return kHostParities;
    default: return {};
  }
}

// The version line comes from the project version (cmake/Version.cmake).
const char* const kAboutText = "VQX Setup Utility\r" VQX_VERSION_LINE "\rVQX Setup Utility developers";

}  // namespace vqx
