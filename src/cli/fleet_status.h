#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace vqx::cli {

// The live status of a fleet run on standard error: one line per unit (port, MAC, name,
// state, and the seconds in that state on a terminal, since the run began in a log). On a terminal the lines are drawn once and redrawn in
// place (cursor up, line cleared, each cut to the width so that none wraps and the count
// of lines to go back over stays right); elsewhere (a log file, a pipe) each change is one
// new line. Units report from their own threads; one lock keeps the lines whole.
class FleetStatusBoard {
 public:
  FleetStatusBoard(std::ostream& err, bool terminal, size_t columns, bool quiet, std::vector<std::string> ports);

  void SetMac(size_t unit, const std::string& mac);
  void SetName(size_t unit, const std::string& name);
  // A new state starts its seconds from zero.
  void SetState(size_t unit, const std::string& state);
  // A line of its own above the board (a terminal) or among the changes (elsewhere).
  void Note(const std::string& text);
  // Lines were written below the board (a question and its answer): the next drawing
  // starts below them instead of going back over them.
  void StartBelow();
  // On a terminal: draws the board again, the seconds counting on. Nothing elsewhere.
  void Refresh();
  // The last drawing; later calls draw nothing.
  void Finish();

 private:
  struct Line {
    std::string port;
    std::string mac;
    std::string name;
    std::string state;
    std::chrono::steady_clock::time_point since;
  };
  std::string Text(const Line& line) const;
  void DrawLocked();

  std::mutex mutex_;
  std::ostream& err_;
  const bool terminal_;
  const size_t columns_;
  const bool quiet_;
  std::vector<Line> lines_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  size_t portWidth_ = 0;
  size_t drawn_ = 0;  // lines of the board on the terminal, to go back over
  bool finished_ = false;
};

}  // namespace vqx::cli
