// vqxctl's files keep their owner's intent: mode and links survive a write, a read-only
// file is refused with exit 7, a running vqxsu's file is not imported into, and a FIFO
// never blocks the program.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/preferences_block.h"
#include "cli_run.h"
#include "support/vqxctl_runner.h"
#include "system_port.h"

namespace vqx::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using Outcome = testing::VqxctlOutcome;

Outcome Vqxctl(const std::vector<std::string>& args) { return testing::RunVqxctlHere(args); }

// Runs check in a child process that is killed if it blocks; true when it returned true.
bool InChildWithin(unsigned seconds, const std::function<bool()>& check) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::alarm(seconds);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  static std::string MakeDirectory() {
    char pattern[] = "/tmp/vqxctl-files-XXXXXX";
    return ::mkdtemp(pattern) != nullptr ? pattern : "";
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::string Content(const std::string& name) const {
    std::ostringstream out;
    out << std::ifstream(Path(name), std::ios::binary).rdbuf();
    return out.str();
  }
  std::string WritePrefs(const std::string& name, int entries, mode_t mode) {
    auto block = std::make_unique<PreferencesBlock>();
    std::memset(block.get(), 0, sizeof(PreferencesBlock));
    block->formatMark = kPreferencesFormatMark;
    block->view = 4;
    block->baudRate = 9600;
    block->dataBits = 8;
    block->stopBits = 1;
    block->parity = 'N';
    for (int i = 0; i < entries; ++i) {
      std::strcpy(block->history[i].serialNumber, ("S" + std::to_string(i)).c_str());
      std::strcpy(block->history[i].webPassword, "secret");
    }
    block->historyCount = entries;
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(block.get()), sizeof(PreferencesBlock));
    ::chmod(Path(name).c_str(), mode);
    return Path(name);
  }
  mode_t ModeOf(const std::string& name) const {
    struct stat info {};
    return ::lstat(Path(name).c_str(), &info) == 0 ? info.st_mode : 0;
  }
  int32_t HistoryCountOf(const std::string& name) const {
    const std::string file = Content(name);
    int32_t count = -1;
    if (file.size() == sizeof(PreferencesBlock)) std::memcpy(&count, file.data() + 86364, sizeof(count));
    return count;
  }
  // Two entries exported from a preferences file, as a JSON file.
  std::string Backup() {
    WritePrefs("source.cfg", 2, 0600);
    Vqxctl({"history", "export", "--prefs", Path("source.cfg"), "-o", Path("backup.json")});
    return Path("backup.json");
  }

  std::string dir = MakeDirectory();
};

TEST_F(CliFiles, ImportAndExportKeepAPrivateFileAndWriteThroughItsLink) {
  const std::string backup = Backup();
  WritePrefs("real.cfg", 1, 0600);
  ASSERT_EQ(::symlink("real.cfg", Path("VQXSU_Prefs.cfg").c_str()), 0);

  const Outcome run = Vqxctl({"history", "import", backup, "--prefs", Path("VQXSU_Prefs.cfg")});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(S_ISLNK(ModeOf("VQXSU_Prefs.cfg")));
  EXPECT_EQ(ModeOf("real.cfg") & 07777, 0600u);
  EXPECT_EQ(HistoryCountOf("real.cfg"), 3);

  std::ofstream(Path("out.json")) << "old";
  ::chmod(Path("out.json").c_str(), 0600);  // the export holds the web passwords too
  ASSERT_EQ(Vqxctl({"history", "export", "--prefs", Path("real.cfg"), "-o", Path("out.json")}).code, 0);
  EXPECT_EQ(ModeOf("out.json") & 07777, 0600u);
  EXPECT_THAT(Content("out.json"), HasSubstr("\"secret\""));
}

TEST_F(CliFiles, ReadOnlyFilesAreRefusedWithExit7AndTheReasonAndLeftAlone) {
  const std::string backup = Backup();
  const std::string prefs = WritePrefs("VQXSU_Prefs.cfg", 1, 0444);
  const std::string before = Content("VQXSU_Prefs.cfg");
  Outcome run = Vqxctl({"history", "import", backup, "--prefs", prefs});
  EXPECT_EQ(run.code, 7);
  EXPECT_EQ(run.err, "vqxctl: " + prefs + ": could not be written: the file is read-only; the file is unchanged\n");
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), before);

  std::ofstream(Path("out.csv")) << "old";
  ::chmod(Path("out.csv").c_str(), 0444);
  run = Vqxctl({"history", "export", "--prefs", prefs, "--format", "csv", "-o", Path("out.csv")});
  EXPECT_EQ(run.code, 7);
  EXPECT_EQ(run.err, "vqxctl: " + Path("out.csv") + ": could not be written: the file is read-only\n");
  EXPECT_EQ(Content("out.csv"), "old");
}

TEST_F(CliFiles, ImportIntoTheFileOfARunningVqxsuIsRefused) {
  const std::string backup = Backup();
  const std::string prefs = WritePrefs("VQXSU_Prefs.cfg", 1, 0600);
  {
    // vqxsu holds its preferences file for as long as it runs.
    const std::unique_ptr<IFileStore> desktop = CreateSystemFileStore(dir);
    desktop->HoldWhileRunning("VQXSU_Prefs.cfg");
    const Outcome run = Vqxctl({"history", "import", backup, "--prefs", prefs});
    EXPECT_EQ(run.code, 7);
    EXPECT_THAT(run.err, HasSubstr("vqxsu has this file open"));
    EXPECT_EQ(HistoryCountOf("VQXSU_Prefs.cfg"), 1);
  }
  EXPECT_EQ(Vqxctl({"history", "import", backup, "--prefs", prefs}).code, 0);
  EXPECT_EQ(HistoryCountOf("VQXSU_Prefs.cfg"), 3);
}

TEST_F(CliFiles, FifoAsInputOrPreferencesIsRefusedAtOnceButStandardInputIsRead) {
  const std::string backup = Backup();
  const std::string prefs = WritePrefs("VQXSU_Prefs.cfg", 1, 0600);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const std::string fifo = Path("fifo");
  // Nobody ever writes to the FIFO: a program that waits for a writer is killed by the alarm.
  EXPECT_TRUE(InChildWithin(10, [&] {
    const Outcome input = Vqxctl({"history", "import", fifo, "--prefs", prefs});
    const Outcome list = Vqxctl({"history", "list", "--prefs", fifo});
    const Outcome diff = Vqxctl({"diff", fifo, backup});
    return input.code == 6 && input.err.find("is not a regular file") != std::string::npos && list.code == 6 &&
           list.err.find("not a regular file") != std::string::npos && diff.code == 6;
  }));
  EXPECT_EQ(HistoryCountOf("VQXSU_Prefs.cfg"), 1);

  // "-" is standard input, where a pipe is meant to be read.
  EXPECT_TRUE(InChildWithin(10, [&] {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0 || ::dup2(pipeEnds[0], STDIN_FILENO) < 0) return false;
    std::ifstream in(backup);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (::write(pipeEnds[1], json.data(), json.size()) != static_cast<ssize_t>(json.size())) return false;
    ::close(pipeEnds[1]);
    return Vqxctl({"history", "import", "-", "--prefs", prefs}).code == 0;
  }));
  EXPECT_EQ(HistoryCountOf("VQXSU_Prefs.cfg"), 3);
}

}  // namespace
}  // namespace vqx::cli
