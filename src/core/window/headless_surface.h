#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "window/dialog_template.h"
#include "window/window_surface.h"

namespace vqx {

// A window surface that lives in memory: controls built from a dialog template, their
// state kept, message boxes recorded and answered by the caller, timers fired by the
// caller. Used by the tests and the command-line tool. Safe to call from any thread.
class HeadlessSurface final : public IWindowSurface {
 public:
  struct MessageBoxRecord {
    MessageOwner owner;
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
  };

  explicit HeadlessSurface(const DialogTemplate& dialog = MainDialogTemplate());

  // IWindowSurface. An id that is not in the template is a programming error
  // (reported through the assertion of impossible values).
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

  // Inspection.
  bool HasControl(int id) const;
  std::string Text(int id) const;  // a drop-down list's selected item text
  std::vector<std::string> Items(int id) const;
  int Selection(int id) const;
  bool Checked(int id) const;
  bool Visible(int id) const;
  bool Enabled(int id) const;
  int Focus() const;  // 0 when no control has the focus
  // Text selected by SelectAllText in a control, as (start, end); (0, 0) when none.
  std::pair<size_t, size_t> TextSelection(int id) const;
  int InvalidateCount(bool erase) const;
  int UpdateCount() const;
  std::vector<MessageBoxRecord> MessageBoxes() const;
  void ClearMessageBoxes();
  bool TimerRunning(int timerId) const;
  uint32_t TimerPeriod(int timerId) const;  // 0 when not running

  // What a user does. These change the control only; the caller then tells the window
  // logic, as a real window would (CAppWindow::OnCommand with the notification).
  void UserSetText(int id, const std::string& text);
  void UserSelectItem(int id, int index);
  void UserSetChecked(int id, bool checked);

  // Answers message boxes (default: 1, OK). Runs on the thread that shows the box;
  // must not call back into the surface.
  void SetMessageBoxAnswerer(std::function<int(const MessageBoxRecord&)> answerer);

 private:
  struct Control {
    ControlKind kind;
    uint32_t style;
    std::string text;
    std::vector<std::string> items;
    int selection = -1;
    bool checked = false;
    bool visible = true;
    bool enabled = true;
    size_t selStart = 0, selEnd = 0;
  };

  Control& At(int id);
  const Control& At(int id) const;

  mutable std::mutex mutex_;
  std::map<int, Control> controls_;
  int focus_ = 0;
  int invalidateErase_ = 0;
  int invalidateNoErase_ = 0;
  int updates_ = 0;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::map<int, uint32_t> timers_;
  std::function<int(const MessageBoxRecord&)> answerer_;
};

}  // namespace vqx
