#pragma once

// CAppWindow is the window logic, not a window: the main window's behaviour behind both
// desktop programs and vqxctl, which reaches whatever window there is through IWindowSurface.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/preferences_block.h"
#include "app/remote_connections.h"
#include "app/update_plan.h"
#include "link/link_host.h"
#include "link/serial_comm.h"
#include "port/clock.h"
#include "port/file_store.h"
#include "protocol/records.h"
#include "settings/device_settings.h"
#include "settings/setting_table.h"
#include "window/dialog_host.h"
#include "window/window_surface.h"

namespace vqx {

enum View : int32_t { kViewSettings = 1, kViewTerminal = 2, kViewHistory = 4 };

inline constexpr int kSettingCount = static_cast<int>(kSettingRowCount);  // settings of the full read
inline constexpr int32_t kIdlePassLimit = 2000; // unpaused worker passes after activity
inline constexpr uint32_t kIdleSleepMs = 5;
inline constexpr uint32_t kReplyDueSleepMs = 1;  // instead, while the link awaits a reply
inline constexpr uint32_t kRebootWaitMs = 10000;
inline constexpr size_t kOutputLogSize = 1200;  // keeps at most 1199 characters
inline constexpr size_t kPendingArgumentSize = 256;
inline constexpr const char* kProgramCaption = "VQX Setup Utility";
// How this program names itself to another that waits to change the preferences file,
// and how long it waits in turn: a save takes milliseconds, so a holder that keeps the
// file this long is stuck or waiting for its user.
inline constexpr const char* kPreferencesProgramName = "vqxsu";
inline constexpr uint32_t kPreferencesLockWaitMs = 5000;
inline constexpr const char* kPortOpenFailedText = "The serial port could not be opened";
// Update Settings and Attention while no port is open.
inline constexpr const char* kPortNotOpenText =
    "The serial port is not open. Choose a port with File, Select Serial Port...";
inline constexpr uint32_t kPortLostNoticeDelayMs = 1;
// The offer after a read whose escape went unanswered, naming the port it went out on.
// Its sentences carry no line breaks of their own: the message box wraps them to its
// width, and a break of ours would leave a ragged short line wherever the box wraps too.
std::string OfferDetectionText(const std::string& portName);

// The full read asks the settings in this order (alphabetical by keyword); index i of
// settingReadState belongs to kFullReadOrder[i].
extern const std::array<int32_t, kSettingCount> kFullReadOrder;

// How leaving the unit at shutdown ended.
enum class LeaveOutcome {
  NothingToLeave,   // the unit was not (and could not come to be) in command mode
  Transparent,      // the unit confirmed TRAN
  NotConfirmed,     // the unit may still be in command mode; the user has been told
};

inline constexpr const char* kStillInCommandModeText =
    "The VQX-2 did not confirm that it left command mode.\r"
    "It may still be in command mode, and then it does not pass its serial data.\r"
    "Check the cable and the serial port settings, then start the program again and close it\r"
    "once the VQX-2 has been read, or switch the VQX-2 off and on again.";

// What the front-end does after OnCommand.
enum class CommandOutcome {
  Handled,                // the window procedure returns 0
  HandledReturnOne,       // a History selection change: returns 1
  Quit,                   // File/Exit: the front-end runs its orderly stop, then ends the loop
  ShowSerialPortDialog,   // File/Select Serial Port...: the front-end's modal dialog
};

// The platform services the window logic uses besides the window and the link.
struct AppServices {
  IClock& clock;          // the worker's pacing sleep
  IFileStore& files;      // preferences, communication log, History.txt
  IWallClock& wallClock;  // names of the communication log files
  // Optional: a second line for "The serial port could not be opened" that says why.
  std::string (*explainOpenFailure)(const char* portName, const PortOpenResult& result) = nullptr;
  // Optional: runs the remote connection dialogs (a front-end without dialogs has none).
  IDialogHost* dialogs = nullptr;
};

// The window logic of the main window: the device logic that reads and writes the unit,
// the status panel's state, the views and the form, the terminal, the History list and
// the preferences. It reaches its window only through IWindowSurface, by control id.
//
// Threads. The worker thread calls Step (and, through the link, AppendOutput,
// SetStatusState and NoteLinkActivity); everything else runs on the user-interface
// thread. Scalars both threads touch are atomics; texts and records both threads touch
// (currentSettings, pendingArgument, the host serial settings of the preferences) are
// guarded by stateMutex_; outputLog by outputMutex_. No lock is held across a call into
// the surface or the link, except outputMutex_ across the non-blocking AppendToOutput,
// which keeps outputLog and the output window in the same order.
class CAppWindow final : public ILinkHost {
 public:
  CAppWindow(CSerialComm& link, IWindowSurface& surface, const AppServices& services);
  ~CAppWindow() override;
  CAppWindow(const CAppWindow&) = delete;
  CAppWindow& operator=(const CAppWindow&) = delete;

  // ---- Start and stop (app_window_lifecycle.cpp; the leave: leave_command_mode.cpp) ---
  // Start state, preferences, serial port (warning box when it cannot be opened).
  // Returns whether the port opened. Runs before the front-end shows the window.
  bool StartUp();
  // After the window exists: the stored view, the view button, the lists, History.
  void InitializeWindow();
  // Both, for front-ends whose window exists from the start (headless).
  bool Create();
  // The orderly stop of the window logic; the worker must have ended (this thread drives
  // the link from here on). Stops the reboot timer; nothing the worker or the user asks
  // afterwards goes out. Then LeaveCommandMode; when the unit may be left in command
  // mode, a warning box says so. Runs once; a second call (close box after File/Exit)
  // does nothing and returns NothingToLeave.
  LeaveOutcome Shutdown();
  // Returns a unit that is or may come to be in command mode to transparent mode, driving
  // the link on this thread (the worker must not run): an escape whose "+++" went out is
  // completed, the reply to the command in flight is awaited, then ECHO ON and TRAN go
  // out, each once the previous reply or its time-out is in. TRAN's answer is what the
  // outcome rests on: it gets the whole reply time-out, so that an answer held back by a
  // busy host's serial driver is not taken for a unit left in command mode. Bounded by
  // LeaveLimitMs.
  LeaveOutcome LeaveCommandMode();
  // The longest LeaveCommandMode takes with a unit that answered promptly until then: an
  // unfinished escape, the command in flight, ECHO ON and TRAN.
  static constexpr uint32_t LeaveLimitMs() { return kEscapeGuardMs + 3 * kLeaveStepMs + kReplyTimeoutMs; }
  // What each step of the leave waits at least for its reply (a unit answers within
  // milliseconds; three steps stay within one reply time-out). A unit seen to answer
  // slowly gets twice its slowest reply time, up to the reply time-out.
  static constexpr uint32_t kLeaveStepMs = kReplyTimeoutMs / 3;
  uint32_t LeaveStepMs() const;
  // The unit answered since it was last confirmed transparent (or rebooted): it may be
  // in command mode.
  bool CommandModePossible() const { return commandModePossible_.load(); }
  bool IsShutDown() const { return shutDown_.load(); }

  // ---- Window procedure (views.cpp) --------------------------------------------------
  // A control notification or menu choice; id is the control or menu id.
  CommandOutcome OnCommand(int id, int notificationCode);
  // A timer tick, whatever its id.
  void OnTimer(int timerId);
  // The About box's text: its three lines and the full path of the preferences file.
  std::string AboutText() const;
  // The Enter key seen by the message loop, or WM_CHAR carriage return.
  void OnEnterKey() { SubmitCommandEntry(); }

  // ---- Views and read marks (views.cpp) ----------------------------------------------
  void SwitchView(int32_t view);
  void MarkSettingRead();
  void MarkSettingUnsupported();
  void MarkPendingSetting(ReadMark mark);

  // ---- Device logic (device_logic.cpp, settings_presentation.cpp) --------------------
  void Step();
  // The unit is in command mode already (line detection left it so, answering the
  // probe): the read starts at ECHO OFF instead of with an escape. Call while the link
  // is Idle and before the worker runs.
  void BeginReadInCommandMode();
  void SendNextQuery();
  void ClearSettingReadState();

  // ---- Status panel (status.cpp) -----------------------------------------------------
  void SetStatusState(StatusState state) override;
  void Attention();
  void StartRebootWait();
  void StopRebootWait();
  bool IsUnitIdle() const;
  // The unit is idle in command mode and the full read begun at the last escape has
  // ended: every setting answered or refused. A status reply in the middle of a read
  // (the STAT sent after an ERR) makes the unit idle early; this stays false until the
  // read is over. Update Settings, and vqxctl, act only when it holds.
  bool IsReadFinished() const;
  void WaitForRebootIfIdle();
  // The sentence of the upper half, e.g. "VQX-2 connected to Tower".
  std::string StatusSentence() const;
  // "Name: %s" for the lower half; empty when the unit's name is empty.
  std::string StatusNameLine() const;
  // "Port: %s" for the lower half's right end, in every state: the line the program talks
  // through, or tried to open ("Serial port not open"). Empty when no port is named.
  std::string StatusPortLine() const;
  // The description of the remote connection whose address is peerAddress.
  bool FindConnectionName(char* description, size_t size) const;

  // ---- Update Settings and Reset (update_settings.cpp) -------------------------------
  void UpdateSettings();
  // Update Settings towards the settings given instead of the form's (vqxctl apply):
  // the same checks, warnings, order and reboot wait.
  void UpdateSettingsTo(const DeviceSettings& target);
  void ResetSerialLink();
  // What Update Settings would send for the form as it stands: the settings the unit
  // refused in its last read are left out.
  UpdatePlan PlanUpdateFromForm();
  // The same for the settings given.
  UpdatePlan PlanUpdateTo(const DeviceSettings& target);
  // The settings the unit answered ERR to in its last full read.
  RefusedSettings RefusedByTheUnit() const;

  // ---- Terminal (terminal.cpp) -------------------------------------------------------
  void SubmitCommandEntry();
  void NoteTypedSetting(int32_t commandId, const char* argument);
  void AppendOutput(const char* text) override;
  void NoteLinkActivity() override { idlePasses_.store(0); }
  bool AcceptTypedCommand(const char* keyword, const char* argument) override;

  // ---- Communication log, History and report (history.cpp, settings_report.cpp) -----
  void SaveCommunication();
  void AddCurrentToHistory();
  void RemoveHistoryEntry();
  void RefillHistoryList();
  void SaveHistoryReport();
  void ShowSettingsReport();

  // ---- Preferences (preferences.cpp) -------------------------------------------------
  void LoadPreferences();
  // Writes the block. When another program changed the file since it was loaded or last
  // saved here, first asks whether to take that file's History and remote connections
  // (Yes) or keep this window's (No). A failed save is told in a box owned by owner,
  // naming the reason, followed by consequence (or, without one, that the change stays
  // in this window until the next save). Returns whether the file was written.
  bool SavePreferences(MessageOwner owner = MessageOwner::MainWindow, const char* consequence = nullptr);

  // ---- Read access for front-ends (any thread; app_window.cpp) ------------------------
  StatusState GetStatusState() const { return statusState_.load(); }
  int32_t GetQueryStep() const { return queryStep_.load(); }
  ReadMark GetSettingReadState(int index) const { return settingReadState_[static_cast<size_t>(index)].load(); }
  std::array<uint8_t, 4> GetPeerAddress() const;
  DeviceSettings GetCurrentSettings() const;
  std::string GetOutputLog() const;
  // The preferences as they would be saved now (a copy taken under the lock).
  PreferencesBlock GetPreferences() const;
  int32_t GetView() const { return prefs_->view; }  // user-interface thread

  // ---- The serial port dialog's logic (serial_port_choice.cpp) -------------------------
  // The guard against opening the dialog twice: false when it is already open.
  bool BeginSerialPortDialog();
  void EndSerialPortDialog() { modalDialogOpen_ = false; }
  // A port for this run only (the demo's simulated unit): opened instead of the stored
  // name and never written to the preferences file. The serial port dialog's OK ends it.
  void SetPortOverride(const char* portName);
  // The name the link opens: the override, else the stored one.
  std::string PortNameInUse() const;
  // OK in the dialog: stores and saves the choice, reopens the port. True when it opened
  // (status 9, the dialog ends); false after the warning owned by the dialog (it stays
  // open). A baud rate of 0 or less (no rate selected) keeps the stored one.
  bool ApplySerialPortChoice(const char* portName, int32_t baudRate, int32_t dataBits, int32_t stopBits,
                             char parity);
  // Detect in the dialog: the port goes to the line detection. The worker must have
  // stopped. A unit this program may have in command mode is returned to transparent
  // mode first (a warning owned by the dialog when it does not confirm); then the port
  // is closed and the panel says so.
  void ReleasePortForDetection();
  // The dialog ended after a detection without opening a new choice: the stored port
  // again (status 9, or 1 and the warning).
  bool ReopenStoredPort();
  // A read ended with the escape unanswered ("not responding"): asks, once for each such
  // ending and only while no dialog is open, whether to look for the unit's line
  // settings. True when the user said Yes. User-interface thread; front-ends call it
  // whenever they look at the status.
  bool OfferLineDetection();

  // ---- Remote connections (connection_editing.cpp; user-interface thread) --------------
  // File, "Remote Connections...": the list dialog. Nothing while another dialog is open.
  void ShowRemoteConnectionsDialog();
  // The status panel offers "Name this unit...": the unit is attempting or connected to a
  // peer that the list does not name.
  bool CanNameThisUnit() const;
  // "Name this unit...": the Add Connection dialog with the peer's address filled in.
  void NameThisUnit();
  // The list, and whether each entry's address text can be read and is the first of its
  // address (the one the status panel uses).
  std::vector<RemoteConnection> RemoteConnectionList() const;
  std::optional<Ipv4> RemoteConnectionAddress(int32_t index) const;
  std::string DuplicateConnectionWarning(const Ipv4& address, int32_t except) const;
  bool RemoteConnectionListFull() const;
  // Adds (index -1) or rewrites entry index, which must still be expected (another program
  // may have changed the file meanwhile), saves the preferences at once and redraws the
  // status panel. A refusal, or a save that fails (the change is then taken back), is
  // told in a box owned by the dialog. Returns whether the list changed.
  bool StoreConnection(int32_t index, const RemoteConnection& expected, const Ipv4& address,
                       const std::string& description);
  bool DeleteConnection(int32_t index, const RemoteConnection& expected);
  // A box of the connection dialogs (caption "VQX Setup Utility", owned by the dialog).
  int ShowDialogBox(const std::string& text, MessageIcon icon, MessageButtons buttons);

  // ---- For the front-end's serial port dialog (user-interface thread; app_window.cpp) --
  // Replaces the host serial settings and port name in the preferences.
  void SetHostSerialSettings(const char* portName, int32_t baudRate, int32_t dataBits, int32_t stopBits,
                             char parity);

 private:
  // The tests' way in (tests/support/app_window_access.h): the state behind the read
  // access above, and the settings and marks set directly.
  friend class CAppWindowTestAccess;

  // Common pieces (app_window.cpp; PortNotOpen in status.cpp).
  void ShowPortOpenFailure(MessageOwner owner);
  // No port to talk to: the status says so, or the link was closed and not reopened.
  bool PortNotOpen() const;
  // Opens the port at the stored settings. A port whose driver kept settings of its own
  // stays open, and a warning box (owned by owner) says which.
  bool OpenPortFromPreferences(MessageOwner owner);
  int ShowBox(MessageOwner owner, const char* text, MessageIcon icon);

  // ---- device_logic.cpp (ShowLostPortWarning: app_window.cpp) ----
  void TakeReply();
  // The port went away (adapter unplugged, hang-up): status 1, warning on the UI thread.
  void ReportLostPort();
  void ShowLostPortWarning();
  void HandleOk();
  void HandleErr();
  void HandleValueReply(const ResponseRecord& reply);
  void ContinueSequence();
  void ConfirmTypedSetting(int32_t step);
  void SendEchoOff();
  void SendQuery(int32_t commandId);

  // ---- leave_command_mode.cpp ----
  // A reply came: the unit is in command mode, unless it is rebooting after SAVE or
  // REBOOT (its last replies still come in, and it starts up transparent).
  void NoteUnitAnswered();
  // A whole escape ("+++" between its quiet times, then the probe) went out: the unit may
  // be in command mode even when what it says cannot be read (noise, another baud rate),
  // so the leave sends ECHO ON and TRAN; it warns only about a unit that answered.
  void NoteEscapeWentOut();
  // The unit is known to pass its data again (TRAN confirmed, or it reboots).
  void NoteUnitTransparent();
  enum class LeaveWait { Reply, Failed, TimedOut, Lost };
  // Drives the link until a reply is taken (copied to *reply when given), the link fails,
  // or limitMs of waiting have passed (a host starved of processor time does not use up
  // the unit's time).
  LeaveWait PollForReply(uint32_t limitMs, ResponseRecord* reply);
  // Drives the link until a started escape has ended (its probe answered or not).
  LeaveWait FinishEscape(uint32_t limitMs);
  bool SendAndAwait(int32_t commandId, int32_t value, uint32_t limitMs, ResponseRecord* reply);

  // ---- settings_presentation.cpp ----
  // Puts one setting's value, as the unit reported or confirmed it, into its controls.
  void PresentSetting(const SettingRow& row, const DeviceSettings& settings);

  // ---- update_settings.cpp ----
  // UpdateSettings and UpdateSettingsTo: target nullptr reads the form.
  void RunUpdate(const DeviceSettings* target);
  // SendCommand for one command of the update's burst, waiting a moment while the link
  // is busy with a reply; false when it could not be sent.
  bool SendInBurst(const CommandRecord& record);

  // ---- views.cpp ----
  void AdvanceIpFocus(int id);

  // ---- preferences.cpp ----
  enum class FileSync { Unchanged, Reloaded, KeptOwn };
  // Compares the file with what this program last loaded or saved; when another program
  // changed it, asks reload-or-keep. Reloaded: the History list was refilled.
  FileSync SyncWithPreferencesFile(MessageOwner owner);
  // Whether the file is still what this program last loaded, saved or asked about.
  bool PreferencesFileAsLastSeen();
  void RememberPreferencesFile(const void* bytes, int64_t length);

  // ---- connection_editing.cpp ----
  // Whether entry index is still expected; if not, tells the user and returns false.
  bool ConnectionStillThere(int32_t index, const RemoteConnection& expected);
  // Saves; when that fails, puts back the list before (a copy of it) and says so.
  bool SaveConnectionChange(const RemoteConnectionListCopy& before);

  CSerialComm& link_;
  IWindowSurface& surface_;
  AppServices services_;

  // Shared by both threads.
  std::atomic<StatusState> statusState_{kStatusPortNotOpen};
  std::atomic<int32_t> queryStep_{kNothingPending};
  // The link's reply belongs to a command of this program's, not one the user typed.
  std::atomic<bool> ownCommand_{true};
  // A full read is under way: its queries go out one after another.
  std::atomic<bool> fullReadActive_{false};
  std::atomic<int32_t> pendingQuery_{0};
  std::atomic<int32_t> idlePasses_{0};
  std::array<std::atomic<ReadMark>, kSettingCount> settingReadState_{};
  std::atomic<uint32_t> peerAddress_{0};  // octet 0 in the low byte
  std::atomic<bool> shutDown_{false};
  std::atomic<bool> commandModePossible_{false};
  std::atomic<bool> escapeWentOut_{false};
  std::atomic<bool> typedTranPending_{false};
  std::atomic<bool> detectionOffered_{false};

  mutable std::mutex stateMutex_;
  DeviceSettings currentSettings_{};             // stateMutex_
  char pendingArgument_[kPendingArgumentSize]{}; // stateMutex_
  std::unique_ptr<PreferencesBlock> prefs_;      // host serial fields: stateMutex_

  mutable std::mutex outputMutex_;
  char outputLog_[kOutputLogSize]{};             // outputMutex_
  size_t outputLogLength_ = 0;                   // outputMutex_

  // User-interface thread only.
  bool modalDialogOpen_ = false;
  // The preferences file as this program last loaded or saved it: length (-1: none) and
  // a hash of its bytes, to notice another program's save.
  int64_t prefsFileLength_ = -1;
  uint64_t prefsFileHash_ = 0;
  std::string portOverride_;  // stateMutex_
};

}  // namespace vqx
