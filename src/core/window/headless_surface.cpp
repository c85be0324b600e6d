#include "window/headless_surface.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/assertion.h"
#include "window/control_text.h"

namespace vqx {
namespace {

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

HeadlessSurface::HeadlessSurface(const DialogTemplate& dialog) {
  for (const ControlTemplate& t : dialog.controls) {
    if (t.id == -1) continue;
    Control c;
    c.kind = t.kind;
    c.style = t.style;
    c.text = OrEmpty(t.text);
    controls_.emplace(t.id, std::move(c));
  }
}

HeadlessSurface::Control& HeadlessSurface::At(int id) {
  const auto it = controls_.find(id);
  if (it == controls_.end()) VQX_IMPOSSIBLE("cappwindow");
  return it->second;
}

const HeadlessSurface::Control& HeadlessSurface::At(int id) const {
  const auto it = controls_.find(id);
  if (it == controls_.end()) VQX_IMPOSSIBLE("cappwindow");
  return it->second;
}

namespace {

// A drop-down list shows its selected item; other controls their own text.
std::string ShownText(ControlKind kind, const std::string& text, const std::vector<std::string>& items,
                      int selection) {
  if (kind != ControlKind::ComboBox) return text;
  if (selection < 0 || static_cast<size_t>(selection) >= items.size()) return {};
  return items[static_cast<size_t>(selection)];
}

}  // namespace

void HeadlessSurface::SetText(int id, const char* text) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.text = OrEmpty(text);
  c.selStart = c.selEnd = 0;
}

size_t HeadlessSurface::GetText(int id, char* buffer, size_t size) {
  std::lock_guard lock(mutex_);
  const Control& c = At(id);
  return CopyControlText(ShownText(c.kind, c.text, c.items, c.selection), buffer, size);
}

int HeadlessSurface::LineCount(int id) {
  std::lock_guard lock(mutex_);
  return static_cast<int>(SplitEditLines(At(id).text).size());
}

size_t HeadlessSurface::GetLine(int id, int line, char* buffer, size_t size) {
  std::lock_guard lock(mutex_);
  const std::vector<std::string> lines = SplitEditLines(At(id).text);
  if (line < 0 || static_cast<size_t>(line) >= lines.size()) return CopyControlText(std::string(), buffer, size);
  return CopyControlText(lines[static_cast<size_t>(line)], buffer, size);
}

std::vector<std::string> HeadlessSurface::GetLines(int id) {
  std::lock_guard lock(mutex_);
  return SplitEditLines(At(id).text);
}

void HeadlessSurface::AppendToOutput(int id, const char* text) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.text += OrEmpty(text);
  c.selStart = c.selEnd = 0;
}

void HeadlessSurface::SelectAllText(int id) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.selStart = 0;
  c.selEnd = c.text.size();
}

int HeadlessSurface::AddItem(int id, const char* text) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.items.emplace_back(OrEmpty(text));
  return static_cast<int>(c.items.size()) - 1;
}

int HeadlessSurface::DeleteItem(int id, int index) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  if (index < 0 || static_cast<size_t>(index) >= c.items.size()) return -1;
  c.items.erase(c.items.begin() + index);
  // As a Win32 list: the selected item gone clears the selection; one before it shifts it.
  if (c.selection == index) {
    c.selection = -1;
  } else if (c.selection > index) {
    --c.selection;
  }
  return static_cast<int>(c.items.size());
}

int HeadlessSurface::ItemCount(int id) {
  std::lock_guard lock(mutex_);
  return static_cast<int>(At(id).items.size());
}

int HeadlessSurface::CurrentSelection(int id) {
  std::lock_guard lock(mutex_);
  return At(id).selection;
}

void HeadlessSurface::SetCurrentSelection(int id, int index) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  // An index that does not exist clears the selection, as in a Win32 list.
  c.selection = (index >= 0 && static_cast<size_t>(index) < c.items.size()) ? index : -1;
}

bool HeadlessSurface::SelectItemByPrefix(int id, const char* text) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  // An empty text is a prefix of every item, so it selects the first one (as Win32 does).
  const char* prefix = OrEmpty(text);
  for (size_t i = 0; i < c.items.size(); ++i) {
    if (StartsWithIgnoringAsciiCase(c.items[i], prefix)) {
      c.selection = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

void HeadlessSurface::SetChecked(int id, bool checked) {
  std::lock_guard lock(mutex_);
  At(id).checked = checked;
}

bool HeadlessSurface::IsChecked(int id) {
  std::lock_guard lock(mutex_);
  return At(id).checked;
}

void HeadlessSurface::EnableControl(int id, bool enabled) {
  std::lock_guard lock(mutex_);
  At(id).enabled = enabled;
}

void HeadlessSurface::ShowControl(int id, bool visible) {
  std::lock_guard lock(mutex_);
  At(id).visible = visible;
}

void HeadlessSurface::SetFocus(int id) {
  std::lock_guard lock(mutex_);
  At(id);
  focus_ = id;
}

void HeadlessSurface::Invalidate(bool erase) {
  std::lock_guard lock(mutex_);
  ++(erase ? invalidateErase_ : invalidateNoErase_);
}

void HeadlessSurface::UpdateNow() {
  std::lock_guard lock(mutex_);
  ++updates_;
}

int HeadlessSurface::ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                                    MessageButtons buttons) {
  MessageBoxRecord record{owner, OrEmpty(text), OrEmpty(caption), icon, buttons};
  std::function<int(const MessageBoxRecord&)> answerer;
  {
    std::lock_guard lock(mutex_);
    messageBoxes_.push_back(record);
    answerer = answerer_;
  }
  // Outside the lock: the answerer may take its time, like a user in front of a modal box.
  return answerer ? answerer(record) : 1;
}

void HeadlessSurface::StartTimer(int timerId, uint32_t periodMs) {
  std::lock_guard lock(mutex_);
  timers_[timerId] = periodMs;
}

void HeadlessSurface::KillTimer(int timerId) {
  std::lock_guard lock(mutex_);
  timers_.erase(timerId);
}

bool HeadlessSurface::HasControl(int id) const {
  std::lock_guard lock(mutex_);
  return controls_.count(id) != 0;
}

std::string HeadlessSurface::Text(int id) const {
  std::lock_guard lock(mutex_);
  const Control& c = At(id);
  return ShownText(c.kind, c.text, c.items, c.selection);
}

std::vector<std::string> HeadlessSurface::Items(int id) const {
  std::lock_guard lock(mutex_);
  return At(id).items;
}

int HeadlessSurface::Selection(int id) const {
  std::lock_guard lock(mutex_);
  return At(id).selection;
}

bool HeadlessSurface::Checked(int id) const {
  std::lock_guard lock(mutex_);
  return At(id).checked;
}

bool HeadlessSurface::Visible(int id) const {
  std::lock_guard lock(mutex_);
  return At(id).visible;
}

bool HeadlessSurface::Enabled(int id) const {
  std::lock_guard lock(mutex_);
  return At(id).enabled;
}

int HeadlessSurface::Focus() const {
  std::lock_guard lock(mutex_);
  return focus_;
}

std::pair<size_t, size_t> HeadlessSurface::TextSelection(int id) const {
  std::lock_guard lock(mutex_);
  const Control& c = At(id);
  return {c.selStart, c.selEnd};
}

int HeadlessSurface::InvalidateCount(bool erase) const {
  std::lock_guard lock(mutex_);
  return erase ? invalidateErase_ : invalidateNoErase_;
}

int HeadlessSurface::UpdateCount() const {
  std::lock_guard lock(mutex_);
  return updates_;
}

std::vector<HeadlessSurface::MessageBoxRecord> HeadlessSurface::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

void HeadlessSurface::ClearMessageBoxes() {
  std::lock_guard lock(mutex_);
  messageBoxes_.clear();
}

bool HeadlessSurface::TimerRunning(int timerId) const {
  std::lock_guard lock(mutex_);
  return timers_.count(timerId) != 0;
}

uint32_t HeadlessSurface::TimerPeriod(int timerId) const {
  std::lock_guard lock(mutex_);
  const auto it = timers_.find(timerId);
  return it != timers_.end() ? it->second : 0;
}

void HeadlessSurface::UserSetText(int id, const std::string& text) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.text = text;
  c.selStart = c.selEnd = 0;
}

void HeadlessSurface::UserSelectItem(int id, int index) {
  std::lock_guard lock(mutex_);
  Control& c = At(id);
  c.selection = (index >= 0 && static_cast<size_t>(index) < c.items.size()) ? index : -1;
}

void HeadlessSurface::UserSetChecked(int id, bool checked) {
  std::lock_guard lock(mutex_);
  At(id).checked = checked;
}

void HeadlessSurface::SetMessageBoxAnswerer(std::function<int(const MessageBoxRecord&)> answerer) {
  std::lock_guard lock(mutex_);
  answerer_ = std::move(answerer);
}

}  // namespace vqx
