#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vqx {

enum class MessageIcon { None, Information, Warning, Error };
enum class MessageButtons { Ok, YesNo };
// What ShowMessageBox returns for the buttons (the values of the Win32 box).
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
// Who owns a message box: nobody (start-up), the main window, or the modal dialog open.
enum class MessageOwner { None, MainWindow, Dialog };

// The main window as the window logic sees it: controls addressed by their numeric ids
// from the dialog template. One implementation per front-end (Qt widgets, the headless
// surface of the tests and the command-line tool).
//
// Threads: the worker thread calls the control operations too (the device logic fills
// the form while it reads the unit). An implementation carries each call out on its own
// user-interface thread, in the order made, and returns when it is done. Callers never
// hold a lock of their own across a call.
//
// Drop-down lists (combo boxes) and list boxes share the item operations. A drop-down
// list's text is the text of its selected item, empty when none is selected.
class IWindowSurface {
 public:
  virtual ~IWindowSurface() = default;

  // Edits and statics (and a drop-down list's selected text for GetText).
  virtual void SetText(int id, const char* text) = 0;
  // Copies at most size-1 characters and a NUL; returns the number copied.
  virtual size_t GetText(int id, char* buffer, size_t size) = 0;
  // Lines of a multi-line edit as it counts them: text split at CR LF; an empty edit
  // and a text that ends in CR LF count the empty last line.
  virtual int LineCount(int id) = 0;
  // One line without its line end, cut like GetText.
  virtual size_t GetLine(int id, int line, char* buffer, size_t size) = 0;
  // Every line at once, split as LineCount counts them: one trip to the user-interface
  // thread and one split of the text, where a loop over GetLine makes one of each per
  // line (a 200-entry report is thousands of lines).
  virtual std::vector<std::string> GetLines(int id) = 0;
  // Output window append-and-scroll: remove the selection, insert the text at the end,
  // scroll the newest text into view. The one call that must not wait for the
  // user-interface thread (queue it, in order): the caller holds the lock that keeps the
  // communication log in the same order as the window.
  virtual void AppendToOutput(int id, const char* text) = 0;
  virtual void SelectAllText(int id) = 0;

  // Drop-down lists and list boxes.
  virtual int AddItem(int id, const char* text) = 0;  // index of the new item
  // Returns the number of items left, or -1 when the index does not exist.
  virtual int DeleteItem(int id, int index) = 0;
  virtual int ItemCount(int id) = 0;
  virtual int CurrentSelection(int id) = 0;  // -1 when none
  virtual void SetCurrentSelection(int id, int index) = 0;  // -1 clears it
  // Selects the first item that begins with the text, ignoring ASCII case; when none
  // does the selection stays as it was. Returns whether an item was selected.
  virtual bool SelectItemByPrefix(int id, const char* text) = 0;

  // Check boxes and the view buttons.
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsChecked(int id) = 0;

  virtual void EnableControl(int id, bool enabled) = 0;
  virtual void ShowControl(int id, bool visible) = 0;
  virtual void SetFocus(int id) = 0;

  // The whole main window; erase also clears the background of the status panel.
  virtual void Invalidate(bool erase) = 0;
  // Paints what is invalid now, before returning.
  virtual void UpdateNow() = 0;

  // Modal; returns the button chosen (1 for OK).
  virtual int ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                             MessageButtons buttons) = 0;

  // Window timers; a tick of any timer ends up in CAppWindow::OnTimer.
  virtual void StartTimer(int timerId, uint32_t periodMs) = 0;
  virtual void KillTimer(int timerId) = 0;
};

}  // namespace vqx
