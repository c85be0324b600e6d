#pragma once

#include "window/window_surface.h"

namespace vqx {

// Passes every call on to another surface. A surface that watches or changes a few
// calls (keeps the whole output, answers message boxes, delays an append in a test)
// derives from it and overrides only those.
class ForwardingSurface : public IWindowSurface {
 public:
  explicit ForwardingSurface(IWindowSurface& inner) : inner_(inner) {}

  void SetText(int id, const char* text) override { inner_.SetText(id, text); }
  size_t GetText(int id, char* buffer, size_t size) override { return inner_.GetText(id, buffer, size); }
  int LineCount(int id) override { return inner_.LineCount(id); }
  size_t GetLine(int id, int line, char* buffer, size_t size) override {
    return inner_.GetLine(id, line, buffer, size);
  }
  std::vector<std::string> GetLines(int id) override { return inner_.GetLines(id); }
  void AppendToOutput(int id, const char* text) override { inner_.AppendToOutput(id, text); }
  void SelectAllText(int id) override { inner_.SelectAllText(id); }
  int AddItem(int id, const char* text) override { return inner_.AddItem(id, text); }
  int DeleteItem(int id, int index) override { return inner_.DeleteItem(id, index); }
  int ItemCount(int id) override { return inner_.ItemCount(id); }
  int CurrentSelection(int id) override { return inner_.CurrentSelection(id); }
  void SetCurrentSelection(int id, int index) override { inner_.SetCurrentSelection(id, index); }
  bool SelectItemByPrefix(int id, const char* text) override { return inner_.SelectItemByPrefix(id, text); }
  void SetChecked(int id, bool checked) override { inner_.SetChecked(id, checked); }
  bool IsChecked(int id) override { return inner_.IsChecked(id); }
  void EnableControl(int id, bool enabled) override { inner_.EnableControl(id, enabled); }
  void ShowControl(int id, bool visible) override { inner_.ShowControl(id, visible); }
  void SetFocus(int id) override { inner_.SetFocus(id); }
  void Invalidate(bool erase) override { inner_.Invalidate(erase); }
  void UpdateNow() override { inner_.UpdateNow(); }
  int ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                     MessageButtons buttons) override {
    return inner_.ShowMessageBox(owner, text, caption, icon, buttons);
  }
  void StartTimer(int timerId, uint32_t periodMs) override { inner_.StartTimer(timerId, periodMs); }
  void KillTimer(int timerId) override { inner_.KillTimer(timerId); }

 private:
  IWindowSurface& inner_;
};

}  // namespace vqx
