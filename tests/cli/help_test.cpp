// vqxctl's help wrapped to the console: every help of every command fits 80 columns when
// standard output is not a console, loses no word on the way, and keeps its columns.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "help_text.h"
#include "support/vqxctl_runner.h"

namespace vqx::cli {
namespace {

using ::testing::HasSubstr;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string Help(const std::vector<std::string>& command, size_t width) {
  std::vector<std::string> args = command;
  args.push_back("--help");
  const testing::VqxctlOutcome run =
      testing::RunVqxctlWith(args, [width](CliEnvironment& env) { env.helpWidth = width; });
  EXPECT_EQ(run.code, 0) << run.err;
  return run.out;
}

// The subcommands a help lists, from its "Subcommands:" block.
std::vector<std::string> Subcommands(const std::string& help) {
  std::vector<std::string> names;
  bool inBlock = false;
  for (const std::string& line : Lines(help)) {
    if (line == "Subcommands:") {
      inBlock = true;
    } else if (inBlock && line.empty()) {
      break;
    } else if (inBlock && line.rfind("  ", 0) == 0 && line[2] != ' ') {
      names.push_back(Words(line)[0]);
    }
  }
  return names;
}

// The history commands name the preferences file of the current directory: run from a
// short one, and let only a line holding that path (never split) be longer.
class VqxctlHelp : public ::testing::Test {
 protected:
  VqxctlHelp() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
  }
  ~VqxctlHelp() override { std::filesystem::current_path(previous_); }

  std::filesystem::path previous_;
};

TEST_F(VqxctlHelp, EveryCommandsHelpFitsEightyColumnsAndKeepsEveryWord) {
  const std::string here = std::filesystem::current_path().string();
  std::vector<std::vector<std::string>> commands = {{}};
  size_t checked = 0;
  for (size_t i = 0; i < commands.size(); ++i) {
    const std::vector<std::string> command = commands[i];
    const std::string wrapped = Help(command, 80);
    const std::string name = command.empty() ? "vqxctl" : "vqxctl " + command.back();
    for (const std::string& line : Lines(wrapped)) {
      if (line.find(here) != std::string::npos) continue;
      EXPECT_LE(line.size(), 80u) << name << ": " << line;
    }
    EXPECT_EQ(Words(wrapped), Words(Help(command, 100000))) << name << " lost or moved words";
    for (const std::string& sub : Subcommands(wrapped)) {
      std::vector<std::string> deeper = command;
      deeper.push_back(sub);
      commands.push_back(deeper);
    }
    ++checked;
  }
  // vqxctl, its 9 commands, the 4 of history and the 6 of connections.
  EXPECT_EQ(checked, 20u);
}

TEST_F(VqxctlHelp, ContinuationsLineUpUnderTheirDescriptionAndTheManualIsNamedLast) {
  const std::vector<std::string> lines = Lines(Help({}, 80));
  const std::string description = "set the unit to a snapshot";
  size_t apply = 0;
  while (apply < lines.size() && lines[apply].find(description) == std::string::npos) ++apply;
  ASSERT_LT(apply + 1, lines.size());
  const size_t column = lines[apply].find(description);
  EXPECT_EQ(lines[apply + 1].find_first_not_of(' '), column) << lines[apply + 1];
  const std::vector<std::string> words = Words(Help({}, 80));
  const std::vector<std::string> pointer = Words(ManualPointer());
  ASSERT_GE(words.size(), pointer.size());
  EXPECT_TRUE(std::equal(pointer.rbegin(), pointer.rend(), words.rbegin())) << "the manual is not named last";
  EXPECT_THAT(Help({}, 100000), HasSubstr(std::string(ManualPointer()) + "\n"));
}

TEST(WrapHelp, BreaksBetweenWordsUnderTheLabelOrTheIndentAndLeavesShortLinesAlone) {
  const std::string option = "  --rates TEXT    detection: only these rates, e.g. 9600,57600 (default: all nine)";
  EXPECT_EQ(WrapHelp(option + "\nshort\n", 52),
            "  --rates TEXT    detection: only these rates, e.g.\n"
            "                  9600,57600 (default: all nine)\n"
            "short\n");
  EXPECT_EQ(WrapHelp("  8  the unit did not confirm TRAN and may still be in command mode", 40),
            "  8  the unit did not confirm TRAN and\n"
            "     may still be in command mode");
  EXPECT_EQ(WrapHelp("Progress goes to standard error; results to standard output.", 40),
            "Progress goes to standard error; results\nto standard output.");
  // A label column wider than two thirds of the line: the continuations start at half.
  EXPECT_EQ(WrapHelp("  a-very-long-option-name-here  its description runs on", 40),
            "  a-very-long-option-name-here  its\n"
            "                    description runs on");
}

TEST(WrapHelp, APathLongerThanTheRoomStaysWholeOnItsLabelsLine) {
  const std::string path = "/srv/a/rather/long/folder/name/for/the/preferences/VQXSU_Prefs.cfg";
  EXPECT_EQ(WrapHelp("  vqxsu started here:  " + path + "\n", 60), "  vqxsu started here:  " + path + "\n");
  EXPECT_EQ(WrapHelp("Preferences file given: " + path, 60), "Preferences file given:\n" + path);
  // A path with spaces in it is one word too, and shows its spaces.
  const std::string spaced = "C:\\Users\\T\xC3\xA9" "cnico de campo\\VQXSU_Prefs.cfg";
  EXPECT_EQ(WrapHelp("  started from the desktop menu:  " + KeptWhole(spaced) + "\n", 50),
            "  started from the desktop menu:  " + spaced + "\n");
  // Columns, not bytes: UTF-8 text that fits is not broken.
  EXPECT_EQ(WrapHelp("gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln", 14), "gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln");
}

TEST(HelpWidth, EightyWithoutAConsoleElseOneColumnLessNeverUnderForty) {
  EXPECT_EQ(HelpWidth(0), 80u);
  EXPECT_EQ(HelpWidth(-1), 80u);
  EXPECT_EQ(HelpWidth(120), 119u);
  EXPECT_EQ(HelpWidth(80), 79u);
  EXPECT_EQ(HelpWidth(20), 40u);
}

}  // namespace
}  // namespace vqx::cli
