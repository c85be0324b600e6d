#pragma once

// Numeric ids of the main window's controls (dialog template 101), its menu MENU1 and
// the serial port dialog DLGSERIAL. Front-ends and the window logic use these names.

namespace vqx::ids {

inline constexpr int kMainDialog = 101;

// Status and views, always shown.
inline constexpr int kStatusGroup = 1152;
inline constexpr int kViewSettings = 1083;
inline constexpr int kViewTerminal = 1085;
inline constexpr int kViewHistory = 1086;

// Terminal view.
inline constexpr int kOutputWindow = 1008;
inline constexpr int kCommandEntry = 1009;
inline constexpr int kCommandEntryLabel = 1012;
inline constexpr int kSend = 1043;
inline constexpr int kSaveCommunication = 1106;
inline constexpr int kAttention = 1107;

// History view.
inline constexpr int kAddCurrent = 1108;
inline constexpr int kSerialNumberEntry = 1109;
inline constexpr int kRemove = 1110;
inline constexpr int kHistoryList = 1114;
inline constexpr int kSaveHistory = 1116;
inline constexpr int kHistoryListLabel = 1117;
inline constexpr int kReportLabel = 1118;
inline constexpr int kReportPane = 1145;

// Settings view: the form.
inline constexpr int kName = 1015;
inline constexpr int kIp1 = 1091, kIp2 = 1092, kIp3 = 1016, kIp4 = 1017;
inline constexpr int kServerIp1 = 1103, kServerIp2 = 1019, kServerIp3 = 1020, kServerIp4 = 1021;
inline constexpr int kGateway1 = 1123, kGateway2 = 1023, kGateway3 = 1024, kGateway4 = 1025;
inline constexpr int kSubnet1 = 1124, kSubnet2 = 1029, kSubnet3 = 1030, kSubnet4 = 1031;
inline constexpr int kVoipPort = 1093;
inline constexpr int kServerPort = 1104;
inline constexpr int kCommandPort = 1101;
inline constexpr int kMacAddress = 1159;
inline constexpr int kFirmwareVersion = 1045;
inline constexpr int kConnectionMode = 1126;
inline constexpr int kBroadcastMode = 1148;
inline constexpr int kQosDscp = 1149;
inline constexpr int kVocoder = 1120;
inline constexpr int kCorSquelchType = 1125;
inline constexpr int kVoxThreshold = 1154;
inline constexpr int kHangTime = 1121;
inline constexpr int kCorInhibitTime = 1122;
inline constexpr int kInputBoost = 1156;
inline constexpr int kDuplex = 1158;
inline constexpr int kRxDelay = 1018;
inline constexpr int kTxDelay = 1022;
inline constexpr int kAllowTelnet = 1127;
inline constexpr int kAllowHttpAuthentication = 1146;
inline constexpr int kAllowHttpConnectionManagement = 1128;
inline constexpr int kAllowHttpConfiguration = 1129;
inline constexpr int kAllowHttpAccess = 1130;
inline constexpr int kWebPassword = 1150;
inline constexpr int kBaudRate = 1131;
inline constexpr int kDataBits = 1133;
inline constexpr int kStopBits = 1134;
inline constexpr int kParity = 1135;
inline constexpr int kUpdateSettings = 1088;
inline constexpr int kViaDhcp = 1171;

// Menu MENU1.
inline constexpr int kMenuExit = 40001;
inline constexpr int kMenuSelectSerialPort = 40011;
inline constexpr int kMenuAbout = 40013;
inline constexpr int kMenuManual = 40014;
inline constexpr int kMenuReset = 40015;
// File, "Remote &Connections...": the remote connection list.
inline constexpr int kMenuRemoteConnections = 40016;
// The status panel's context menu: name the peer the unit is connected to.
inline constexpr int kMenuNameThisUnit = 40017;

// The reboot wait.
inline constexpr int kRebootTimer = 2;
// Carries the lost-port warning from the worker to the user-interface thread: the
// worker never waits on a message box.
inline constexpr int kPortLostTimer = 3;

// Dialog DLGSERIAL (its own id space).
inline constexpr int kSerialDialog = 1;  // resource name DLGSERIAL
inline constexpr int kSerialPortName = 1137;
inline constexpr int kSerialBaudRate = 1146;
inline constexpr int kSerialDataBits = 1147;
inline constexpr int kSerialStopBits = 1148;
inline constexpr int kSerialParity = 1149;
// Added to the dialog: find the unit's line settings, and what the search is doing.
inline constexpr int kSerialDetect = 1150;
inline constexpr int kSerialDetectStatus = 1151;
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;  // also Esc and the close box

// Dialog DLGCONNECTIONS: the remote connection list (its own id space).
inline constexpr int kConnectionsDialog = 2;
inline constexpr int kConnectionList = 1050;
inline constexpr int kConnectionAdd = 1051;
inline constexpr int kConnectionEdit = 1052;
inline constexpr int kConnectionRemove = 1053;
inline constexpr int kConnectionCountLabel = 1054;
inline constexpr int kDialogClose = kDialogCancel;

// Dialogs DLGADD and DLGEDIT: one remote connection (their own id space).
inline constexpr int kAddConnectionDialog = 3;
inline constexpr int kEditConnectionDialog = 4;
inline constexpr int kConnectionDescription = 1035;
inline constexpr int kConnectionIp1 = 1036, kConnectionIp2 = 1037, kConnectionIp3 = 1038, kConnectionIp4 = 1039;

}  // namespace vqx::ids

namespace vqx {

// Notification codes that reach CAppWindow::OnCommand with a control id.
inline constexpr int kBnClicked = 0;
inline constexpr int kLbnSelChange = 1;
inline constexpr int kLbnDblClk = 2;
inline constexpr int kBnDoubleClicked = 5;
inline constexpr int kEnChange = 0x0300;
inline constexpr int kEnMaxText = 0x0501;

}  // namespace vqx
