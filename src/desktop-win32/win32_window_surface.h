#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "output_text.h"
#include "ui_call_queue.h"
#include "window/dialog_template.h"
#include "window/window_surface.h"

namespace vqx::win32 {

// The main window's controls as the window logic sees them, over the Win32 controls of
// the main dialog, found by their ids.
//
// Every call is carried out on the user-interface thread through the UiCallQueue, with
// the Qt surface's semantics: reads wait for their answer, writes are queued in order
// without waiting, output appends are joined. The worker thread never touches a window.
class Win32WindowSurface final : public IWindowSurface {
 public:
  struct MessageBoxRecord {
    MessageOwner owner;
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons = MessageButtons::Ok;
  };
  // Answers a message box instead of showing it (a session ending, tests).
  using MessageBoxAnswerer = std::function<int(const MessageBoxRecord&)>;

  Win32WindowSurface(desktop::UiCallQueue& queue, HWND dialog);
  ~Win32WindowSurface() override;

  // User-interface thread.
  void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) { answerer_ = std::move(answerer); }
  void SetModalDialog(HWND dialog) { modalDialog_ = dialog; }
  // True while a message box of this surface is up: the logic that showed it waits in
  // the box's own message loop, which dispatches whatever is posted meanwhile.
  bool ShowingMessageBox() const { return messageBoxes_ > 0; }
  // Called each time a box the user answered has gone (user-interface thread).
  void SetAfterMessageBox(std::function<void()> after) { afterMessageBox_ = std::move(after); }
  // True while the program itself changes a control: its EN_CHANGE is not the user's.
  bool InProgrammaticChange() const { return programmaticChange_ > 0; }
  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  // IWindowSurface.
  void SetText(int id, const char* text) override;
  size_t GetText(int id, char* buffer, size_t size) override;
  int LineCount(int id) override;
  size_t GetLine(int id, int line, char* buffer, size_t size) override;
  std::vector<std::string> GetLines(int id) override;
  void AppendToOutput(int id, const char* text) override;
  void SelectAllText(int id) override;
  int AddItem(int id, const char* text) override;
  int DeleteItem(int id, int index) override;
  int ItemCount(int id) override;
  int CurrentSelection(int id) override;
  void SetCurrentSelection(int id, int index) override;
  bool SelectItemByPrefix(int id, const char* text) override;
  void SetChecked(int id, bool checked) override;
  bool IsChecked(int id) override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool visible) override;
  void SetFocus(int id) override;
  void Invalidate(bool erase) override;
  void UpdateNow() override;
  int ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                     MessageButtons buttons) override;
  void StartTimer(int timerId, uint32_t periodMs) override;
  void KillTimer(int timerId) override;

 private:
  // User-interface thread only.
  std::string TextOf(int id) const;
  void ApplyText(int id, const std::string& text);
  void ApplyAppend(int id, const std::string& text);
  template <typename R, typename F>
  R Read(F&& fn);

  desktop::UiCallQueue& queue_;
  HWND dialog_;
  HWND modalDialog_ = nullptr;
  struct OutputFilter {
    desktop::LineBreakFolder folder;
    desktop::LongLineBreaker breaker;
    desktop::ScrollBack scrollBack{2};  // the window holds CR LF
  };
  std::map<int, OutputFilter> outputFilters_;
  MessageBoxAnswerer answerer_;
  std::function<void()> afterMessageBox_;
  int messageBoxes_ = 0;
  int programmaticChange_ = 0;
};

// The class name of a control window ("Edit", "ComboBox", ...), compared without case.
bool HasWindowClass(HWND window, const wchar_t* className);
// What an output window shows of a flood, more text in one update than this (the newest
// whole lines): the characters an edit control lays out again quickly enough.
inline constexpr size_t kFloodShownCharacters = 64 * 1024;

// Readies the main dialog's controls for the program: the address and number boxes take
// digits only, and the read-only text panes hold more than an edit's default 30000
// characters.
void PrepareMainWindowControls(HWND dialog);
// The same for any dialog built from layout (the address boxes of the connection dialogs).
void PrepareDialogControls(HWND dialog, const DialogTemplate& layout);

}  // namespace vqx::win32
