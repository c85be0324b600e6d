#pragma once

#include <atomic>
#include <streambuf>

namespace vqx::cli {

// Passes output on to the terminal's stream buffer until the terminal hangs up, and drops
// it from then on: a hung-up terminal fails every write or, stopped, holds the writer,
// and the program still has the unit to return. Dropped output counts as written, so the
// commands carry on as if nothing happened.
class HangUpGuardBuffer : public std::streambuf {
 public:
  HangUpGuardBuffer(std::streambuf* terminal, const std::atomic<bool>* hungUp) : terminal_(terminal), hungUp_(hungUp) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  bool HungUp() const { return hungUp_ != nullptr && hungUp_->load(); }

  std::streambuf* terminal_;
  const std::atomic<bool>* hungUp_;
};

}  // namespace vqx::cli
