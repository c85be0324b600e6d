#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "window/forwarding_surface.h"
#include "window/headless_surface.h"

namespace vqx::cli {

// The headless surface with everything the window logic puts in the output window kept
// whole (the logic's own log keeps only the last 1199 characters), and every message
// box answered OK and kept for the command to report.
class CliSurface final : public ForwardingSurface {
 public:
  CliSurface();

  HeadlessSurface& Inner() { return inner_; }

  // Output window text from position mark on; Output().size() is the next mark.
  std::string OutputSince(size_t mark) const;
  size_t OutputSize() const;
  // Message box texts from index mark on.
  std::vector<std::string> BoxesSince(size_t mark) const;
  size_t BoxCount() const;

  void AppendToOutput(int id, const char* text) override;
  int ShowMessageBox(MessageOwner owner, const char* text, const char* caption, MessageIcon icon,
                     MessageButtons buttons) override;

 private:
  HeadlessSurface inner_;
  mutable std::mutex mutex_;
  std::string output_;
  std::vector<std::string> boxes_;
};

}  // namespace vqx::cli
