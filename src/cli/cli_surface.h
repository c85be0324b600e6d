#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "window/headless_surface.h"

namespace vqx::cli {

// The headless surface with everything the window logic puts in the output window kept
// whole (the logic's own log keeps only the last 1199 characters), and every message
// box answered OK and kept for the command to report.
class CliSurface final : public IWindowSurface {
 public:
  CliSurface();

  HeadlessSurface& Inner() { return inner_; }

  // Output window text from position mark on; Output().size() is the next mark.
  std::string OutputSince(size_t mark) const;
  size_t OutputSize() const;
  // Message box texts from index mark on.
  std::vector<std::string> BoxesSince(size_t mark) const;
  size_t BoxCount() const;

  void SetText(int id, const char* text) override { inner_.SetText(id, text); }
  size_t GetText(int id, char* buffer, size_t size) override { return inner_.GetText(id, buffer, size); }
  int LineCount(int id) override { return inner_.LineCount(id); }
  size_t GetLine(int id, int line, char* buffer, size_t size) override {
    return inner_.GetLine(id, line, buffer, size);
  }
  void AppendToOutput(int id, const char* text) override;
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
                     MessageButtons buttons) override;
  void StartTimer(int timerId, uint32_t periodMs) override { inner_.StartTimer(timerId, periodMs); }
  void KillTimer(int timerId) override { inner_.KillTimer(timerId); }

 private:
  HeadlessSurface inner_;
  mutable std::mutex mutex_;
  std::string output_;
  std::vector<std::string> boxes_;
};

}  // namespace vqx::cli
