// vqxctl --help on a terminal, as a process: wrapped to the terminal's width (one column
// kept free), to COLUMNS where the terminal does not say, and never as if into a file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "support/terminal_child.h"

namespace vqx::cli {
namespace {

struct Shown {
  size_t widest = 0;
  size_t lines = 0;
};

// The help as the terminal shows it (the terminal adds a CR to each line).
Shown HelpOnTerminal(unsigned short columns, const std::vector<std::string>& env = {}) {
  testing::TerminalChild child;
  testing::TerminalChildOptions options;
  options.columns = columns;
  options.env = env;
  EXPECT_TRUE(child.Start(VQXCTL_PATH, {"--help"}, options));
  EXPECT_EQ(child.WaitForExit(std::chrono::seconds(30)), 0);
  std::istringstream text(child.DrainTerminal());
  Shown shown;
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    shown.widest = std::max(shown.widest, line.size());
    ++shown.lines;
  }
  return shown;
}

TEST(HelpOnATerminal, FillsTheTerminalsWidthLessOneColumn) {
  const Shown wide = HelpOnTerminal(132);
  EXPECT_LE(wide.widest, 131u);
  EXPECT_GT(wide.widest, 100u) << "a 132-column terminal got the help of a file";
  const Shown narrow = HelpOnTerminal(60);
  EXPECT_LE(narrow.widest, 59u);
  EXPECT_GT(narrow.widest, 50u);
  EXPECT_GT(narrow.lines, wide.lines);
}

TEST(HelpOnATerminal, ATerminalThatDoesNotSayItsWidthGoesByColumnsElseEighty) {
  const Shown byColumns = HelpOnTerminal(0, {"COLUMNS=70", "PATH=/usr/bin:/bin"});
  EXPECT_LE(byColumns.widest, 69u);
  EXPECT_GT(byColumns.widest, 60u);
  const Shown unknown = HelpOnTerminal(0, {"PATH=/usr/bin:/bin"});
  EXPECT_LE(unknown.widest, 80u);
  EXPECT_GT(unknown.widest, 70u);
}

}  // namespace
}  // namespace vqx::cli
