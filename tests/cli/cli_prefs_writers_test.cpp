// Programs changing one preferences file at the same moment: each change is made from the
// file as the other left it, so none is lost, and a writer that keeps the file too long
// is named and the waiting one refuses without touching it.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/preferences_block.h"
#include "cli_run.h"
#include "support/vqxctl_runner.h"
#include "snapshot.h"
#include "support/sample_settings.h"
#include "system_port.h"

extern char** environ;

namespace vqx::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

class PrefsWriters : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vqxctl-writers-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    prefs_ = dir_ + "/VQXSU_Prefs.cfg";
    auto block = std::make_unique<PreferencesBlock>();
    std::memset(block.get(), 0, sizeof(PreferencesBlock));
    block->formatMark = kPreferencesFormatMark;
    empty_ = std::string(reinterpret_cast<const char*>(block.get()), sizeof(PreferencesBlock));
    block->history[0] = testing::SampleSettings();
    block->historyCount = 1;
    std::ofstream(dir_ + "/one-entry.json") << snapshot::HistoryToJson(*block).dump();
    Reset();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void Reset() const { std::ofstream(prefs_, std::ios::binary | std::ios::trunc) << empty_; }
  PreferencesBlock Block() const {
    PreferencesBlock block{};
    std::ifstream(prefs_, std::ios::binary).read(reinterpret_cast<char*>(&block), sizeof block);
    return block;
  }

  struct Exit {
    int status = -1;
    std::string err;
  };
  // Starts vqxctl with args in its own process; Wait collects its exit and error output.
  pid_t Start(std::vector<std::string> args, const std::string& errFile) const {
    args.insert(args.begin(), VQXCTL_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, VQXCTL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
  }
  static Exit Wait(pid_t pid, const std::string& errFile) {
    Exit exit;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) exit.status = WEXITSTATUS(status);
    std::ostringstream text;
    text << std::ifstream(errFile).rdbuf();
    exit.err = text.str();
    return exit;
  }
  // Runs both at once; true when both ended with 0.
  bool RunTogether(const std::vector<std::string>& first, const std::vector<std::string>& second,
                   std::string* errors) const {
    const std::string errA = dir_ + "/a.err", errB = dir_ + "/b.err";
    const pid_t a = Start(first, errA);
    const pid_t b = Start(second, errB);
    const Exit exitA = Wait(a, errA), exitB = Wait(b, errB);
    *errors = exitA.err + exitB.err;
    return exitA.status == 0 && exitB.status == 0;
  }

  std::string dir_, prefs_, empty_;
};

constexpr int kRounds = 200;

TEST_F(PrefsWriters, TwoConcurrentAddsAndAnAddBesideAHistoryImportNeverLoseAChange) {
  int lostAdds = 0, lostMixed = 0, failedRuns = 0;
  std::string firstFailure;
  for (int round = 0; round < kRounds; ++round) {
    Reset();
    std::string errors;
    if (!RunTogether({"connections", "add", "10.0.0.1", "Tower", "--prefs", prefs_},
                     {"connections", "add", "10.0.0.2", "Mast", "--prefs", prefs_}, &errors)) {
      ++failedRuns;
      if (firstFailure.empty()) firstFailure = errors;
    }
    const PreferencesBlock adds = Block();
    if (adds.connectionCount != 2) ++lostAdds;

    Reset();
    if (!RunTogether({"connections", "add", "10.0.0.3", "Hill", "--prefs", prefs_},
                     {"history", "import", dir_ + "/one-entry.json", "--prefs", prefs_}, &errors)) {
      ++failedRuns;
      if (firstFailure.empty()) firstFailure = errors;
    }
    const PreferencesBlock mixed = Block();
    if (mixed.connectionCount != 1 || mixed.historyCount != 1) ++lostMixed;
  }
  EXPECT_EQ(lostAdds, 0) << "of " << kRounds << " rounds of two adds";
  EXPECT_EQ(lostMixed, 0) << "of " << kRounds << " rounds of an add and an import";
  EXPECT_EQ(failedRuns, 0) << firstFailure;
}

using Outcome = testing::VqxctlOutcome;

Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args); }

TEST_F(PrefsWriters, AWriterThatKeepsTheFileIsNamedAfterTheWaitAndOneThatLetsGoIsWaitedFor) {
  const std::unique_ptr<IFileStore> other = CreateSystemFileStore(dir_);
  std::optional<ChangeLockResult> held(other->LockForChange("VQXSU_Prefs.cfg", "vqxctl", 0));
  ASSERT_TRUE(*held);

  const auto start = std::chrono::steady_clock::now();
  const Outcome refused = Vqxctl({"connections", "add", "10.0.0.5", "Tower", "--prefs", prefs_});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(refused.code, 7);
  EXPECT_THAT(refused.err, HasSubstr("vqxctl (process " + std::to_string(::getpid()) +
                                     ") is changing this file and did not finish within 5 seconds; try again. "
                                     "Nothing was changed."));
  EXPECT_THAT(refused.err, Not(HasSubstr("desktop program")));
  const Outcome importRefused = Vqxctl({"history", "import", dir_ + "/one-entry.json", "--prefs", prefs_});
  EXPECT_EQ(importRefused.code, 7);
  EXPECT_THAT(importRefused.err, HasSubstr("Nothing was imported."));
  EXPECT_EQ(Block().connectionCount, 0);
  EXPECT_EQ(Block().historyCount, 0);

  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
  });
  const Outcome waited = Vqxctl({"connections", "add", "10.0.0.5", "Tower", "--prefs", prefs_});
  release.join();
  EXPECT_EQ(waited.code, 0) << waited.err;
  EXPECT_EQ(Block().connectionCount, 1);
}

}  // namespace
}  // namespace vqx::cli
