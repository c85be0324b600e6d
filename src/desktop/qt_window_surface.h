#pragma once

#include <functional>
#include <map>
#include <set>
#include <vector>
#include <string>

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QPlainTextEdit;

#include "control_mirror.h"
#include "output_text.h"
#include "ui_call_queue.h"
#include "window/window_surface.h"

namespace vqx::desktop {

// The main window's controls as the window logic sees them, over Qt widgets.
//
// Every call is carried out on the user-interface thread through the UiCallQueue:
// writes are queued in order without waiting, and output appends are joined. Reads of
// the edits, lists and buttons are answered from a ControlMirror kept current on the
// user-interface thread, so the worker presenting a reply (list selections by text,
// check boxes, edits) never waits for that thread; only the rarer reads and changes
// whose outcome the widget alone knows (a multi-line pane's text, deleting a list
// item, a message box) wait for it. The user-interface thread never waits for the worker.
//
// The surface also turns the user's actions on the controls into the notifications the
// window procedure expects (clicks, edits, History selections), but never for changes
// the program makes itself.
class QtWindowSurface final : public IWindowSurface {
 public:
  using CommandSink = std::function<void(int id, int notificationCode)>;
  using TimerSink = std::function<void(int timerId)>;
  // Answers a message box instead of showing it (tests); returns the button.
  struct MessageBoxRecord {
    MessageOwner owner;
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons = MessageButtons::Ok;
  };
  using MessageBoxAnswerer = std::function<int(const MessageBoxRecord&)>;

  QtWindowSurface(UiCallQueue& queue, QWidget* window, std::map<int, QWidget*> controls);
  ~QtWindowSurface() override;

  // User-interface thread, before the worker starts.
  void SetCommandSink(CommandSink sink) { commandSink_ = std::move(sink); }
  void SetTimerSink(TimerSink sink) { timerSink_ = std::move(sink); }
  void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) { answerer_ = std::move(answerer); }
  // The modal dialog open now, owner of MessageOwner::Dialog boxes (nullptr when none).
  void SetModalDialog(QWidget* dialog) { modalDialog_ = dialog; }
  QWidget* Control(int id) const;

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
  void ConnectNotifications();
  void Notify(int id, int code);
  // User-interface thread only.
  std::string TextOf(int id) const;
  void ApplyText(int id, const std::string& text);
  void ApplyAppend(int id, const std::string& text);
  static void ScrollToEnd(QPlainTextEdit* plain);
  template <typename R>
  R Read(const std::function<R()>& fn);
  // The mirror's view of the control's widget (user-interface thread).
  ControlState Observe(int id) const;
  void TrackControls();
  bool IsList(int id) const { return lists_.count(id) != 0; }

  UiCallQueue& queue_;
  QPointer<QWidget> window_;
  std::map<int, QPointer<QWidget>> controls_;
  ControlMirror mirror_;
  // The mirror's connections, cut when the surface goes: the widgets may outlive it and
  // still signal (a list's model resets as the window is destroyed).
  std::vector<QMetaObject::Connection> mirrorConnections_;
  // Set before the worker starts, read-only afterwards.
  std::map<int, int> textLimits_;  // line edits: their maximum length
  std::set<int> lists_;            // drop-down lists and list boxes
  std::map<int, std::string> exactTexts_;   // read-only multi-line edits: text as set
  struct OutputFilter {
    LineBreakFolder folder;
    LongLineBreaker breaker;
    ScrollBack scrollBack;
  };
  std::map<int, OutputFilter> outputFilters_;  // output windows
  std::map<int, QTimer*> timers_;
  QPointer<QWidget> modalDialog_;
  CommandSink commandSink_;
  TimerSink timerSink_;
  MessageBoxAnswerer answerer_;
  int programmaticChange_ = 0;  // > 0 while the program itself changes a control
};

}  // namespace vqx::desktop
