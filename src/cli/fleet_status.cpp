#include "fleet_status.h"

#include <algorithm>

#include "terminal_text.h"

namespace vqx::cli {

namespace {

// Columns the cursor may not reach: a line that fills the last column wraps on some
// terminals and not on others, and the board would then climb back one line too few.
constexpr size_t kRightMargin = 1;
constexpr size_t kNarrowest = 20;

std::string Cut(const std::string& text, size_t width) {
  // Columns, not bytes: UTF-8 continuation bytes take none.
  size_t columns = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++columns > width) return text.substr(0, i);
  }
  return text;
}

}  // namespace

FleetStatusBoard::FleetStatusBoard(std::ostream& err, bool terminal, size_t columns, bool quiet,
                                   std::vector<std::string> ports)
    : err_(err), terminal_(terminal), columns_(std::max(columns, kNarrowest)), quiet_(quiet) {
  const auto now = std::chrono::steady_clock::now();
  for (std::string& port : ports) {
    portWidth_ = std::max(portWidth_, Visible(port).size());
    lines_.push_back({std::move(port), "", "", "waiting", now});
  }
}

std::string FleetStatusBoard::Text(const Line& line) const {
  const auto now = std::chrono::steady_clock::now();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - (terminal_ ? line.since : start_)).count();
  std::string port = Visible(line.port);
  port.append(portWidth_ - std::min(portWidth_, port.size()), ' ');
  std::string mac = line.mac.empty() ? std::string(17, ' ') : Visible(line.mac);
  mac.append(17 - std::min<size_t>(17, mac.size()), ' ');
  const std::string name = line.name.empty() ? "-" : Visible(line.name);
  return port + "  " + mac + "  " + name + "  " + line.state + (terminal_ ? " (" : " (at ") + std::to_string(seconds) + " s)";
}

void FleetStatusBoard::DrawLocked() {
  if (quiet_ || finished_ || !terminal_) return;
  std::string out;
  if (drawn_ > 0) out += "\r\x1b[" + std::to_string(drawn_) + "A";
  for (const Line& line : lines_) out += "\r\x1b[2K" + Cut(Text(line), columns_ - kRightMargin) + "\n";
  drawn_ = lines_.size();
  err_ << out << std::flush;
}

void FleetStatusBoard::SetMac(size_t unit, const std::string& mac) {
  std::lock_guard lock(mutex_);
  lines_.at(unit).mac = mac;
}

void FleetStatusBoard::SetName(size_t unit, const std::string& name) {
  std::lock_guard lock(mutex_);
  lines_.at(unit).name = name;
}

void FleetStatusBoard::SetState(size_t unit, const std::string& state) {
  std::lock_guard lock(mutex_);
  Line& line = lines_.at(unit);
  if (line.state == state) return;
  line.state = state;
  line.since = std::chrono::steady_clock::now();
  if (quiet_ || finished_) return;
  if (terminal_) {
    DrawLocked();
  } else {
    err_ << Text(line) << "\n" << std::flush;
  }
}

void FleetStatusBoard::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (quiet_) return;
  if (terminal_ && drawn_ > 0 && !finished_) {
    // Above the board: go up over it, write the note, draw the board again below it.
    err_ << "\r\x1b[" << drawn_ << "A\x1b[J" << text << "\n";
    drawn_ = 0;
    DrawLocked();
    return;
  }
  err_ << text << "\n" << std::flush;
}

void FleetStatusBoard::StartBelow() {
  std::lock_guard lock(mutex_);
  drawn_ = 0;
}

void FleetStatusBoard::Refresh() {
  std::lock_guard lock(mutex_);
  DrawLocked();
}

void FleetStatusBoard::Finish() {
  std::lock_guard lock(mutex_);
  DrawLocked();
  finished_ = true;
}

}  // namespace vqx::cli
