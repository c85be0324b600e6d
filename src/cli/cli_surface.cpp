#include "cli_surface.h"

namespace vqx::cli {

CliSurface::CliSurface() : ForwardingSurface(inner_) {
  // A box the logic shows must never wait for a person: it is answered OK at once and
  // reported by the command afterwards.
  inner_.SetMessageBoxAnswerer([](const HeadlessSurface::MessageBoxRecord&) { return 1; });
}

void CliSurface::AppendToOutput(int id, const char* text) {
  inner_.AppendToOutput(id, text);
  std::lock_guard lock(mutex_);
  output_ += text;
}

int CliSurface::ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                               MessageButtons buttons) {
  {
    std::lock_guard lock(mutex_);
    boxes_.emplace_back(text);
  }
  return inner_.ShowMessageBox(owner, text, caption, icon, buttons);
}

std::string CliSurface::OutputSince(size_t mark) const {
  std::lock_guard lock(mutex_);
  return mark < output_.size() ? output_.substr(mark) : std::string();
}

size_t CliSurface::OutputSize() const {
  std::lock_guard lock(mutex_);
  return output_.size();
}

std::vector<std::string> CliSurface::BoxesSince(size_t mark) const {
  std::lock_guard lock(mutex_);
  if (mark >= boxes_.size()) return {};
  return {boxes_.begin() + static_cast<std::ptrdiff_t>(mark), boxes_.end()};
}

size_t CliSurface::BoxCount() const {
  std::lock_guard lock(mutex_);
  return boxes_.size();
}

}  // namespace vqx::cli
