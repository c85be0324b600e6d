#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <deque>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "faulty_sys_calls.h"
#include "posix/posix_file_store.h"
#include "posix/realtime_clock.h"
#include "system_port.h"

namespace vqx::posix {
namespace {

using testing::FaultySysCalls;

// Adds failures of the calls that make a replacement durable, and logs their order.
class FileFaultSysCalls : public FaultySysCalls {
 public:
  std::deque<int> createFaults, fsyncFaults, renameFaults;
  std::vector<std::string> calls;

  int OpenWithMode(const char* path, int flags, mode_t mode) override {
    return Logged("create", createFaults) ? -1 : SysCalls::OpenWithMode(path, flags, mode);
  }
  int Fsync(int fd) override { return Logged("fsync", fsyncFaults) ? -1 : SysCalls::Fsync(fd); }
  int Rename(const char* from, const char* to) override {
    return Logged("rename", renameFaults) ? -1 : SysCalls::Rename(from, to);
  }

 private:
  bool Logged(const char* call, std::deque<int>& faults) {
    calls.emplace_back(call);
    if (faults.empty()) return false;
    errno = faults.front();
    faults.pop_front();
    return true;
  }
};

class PosixFileStoreTest : public ::testing::Test {
 protected:
  static std::string MakeDirectory() {
    char pattern[] = "/tmp/vqx-files-XXXXXX";
    return mkdtemp(pattern) != nullptr ? pattern : "";
  }
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
  void TearDown() override {
    for (const std::string& name : Entries()) unlink((dir + "/" + name).c_str());
    rmdir(dir.c_str());
  }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
      while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.insert(e->d_name);
      }
      closedir(d);
    }
    return names;
  }
  std::string Content(const std::string& name) const {
    std::ostringstream out;
    out << std::ifstream(dir + "/" + name, std::ios::binary).rdbuf();
    return out.str();
  }
  FileResult Replace(const std::string& name, const std::string& content) {
    return store.ReplaceFile(name.c_str(), content.data(), content.size());
  }

  std::string dir = MakeDirectory();
  FileFaultSysCalls sys;
  PosixFileStore store{dir, sys};
  const std::string data = [] {
    std::string d(100000, '\0');
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>(i * 7 + 3);
    return d;
  }();
};

TEST_F(PosixFileStoreTest, ReplaceFlushesBeforeRenamingAndSurvivesShortWritesAndInterruptions) {
  sys.writeFaults = {FaultySysCalls::ShortWrite(10), EINTR, FaultySysCalls::ShortWrite(1), EINTR};
  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", data));
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), data);
  // The data is on the disk before the rename makes it the file; then the directory.
  EXPECT_EQ(sys.calls, (std::vector<std::string>{"create", "fsync", "rename", "fsync"}));
  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", "new"));
  ASSERT_TRUE(Replace("empty.txt", ""));
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), "new");
  EXPECT_EQ(Entries(), (std::set<std::string>{"VQXSU_Prefs.cfg", "empty.txt"}));  // no temporary left
}

// Two programs changing one file take turns: the second waits for the first, and learns
// who it is when the first keeps the file past the wait. The lock lives in a companion
// file, since every save puts a new file under the name.
TEST_F(PosixFileStoreTest, TheRightToChangeAFileIsExclusiveNamesItsHolderAndSurvivesTheReplace) {
  PosixFileStore other{dir};
  {
    const ChangeLockResult first = store.LockForChange("VQXSU_Prefs.cfg", "vqxctl", 1000);
    ASSERT_TRUE(first);
    ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", data));  // a new file under the name: still ours
    const auto start = std::chrono::steady_clock::now();
    const ChangeLockResult second = other.LockForChange("VQXSU_Prefs.cfg", "vqxsu", 300);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(second);
    EXPECT_EQ(second.holder, "vqxctl (process " + std::to_string(getpid()) + ")");
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::seconds(10));
  }
  // Released with its holder; a waiter gets it as soon as it is free.
  std::optional<ChangeLockResult> held(store.LockForChange("VQXSU_Prefs.cfg", "vqxctl", 0));
  ASSERT_TRUE(*held);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    held.reset();
  });
  const ChangeLockResult waiter = other.LockForChange("VQXSU_Prefs.cfg", "vqxsu", 20000);
  release.join();
  EXPECT_TRUE(waiter);
  EXPECT_EQ(Content("VQXSU_Prefs.cfg.lock"), "vqxsu (process " + std::to_string(getpid()) + ")\n");
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), data);
}

TEST_F(PosixFileStoreTest, EveryPathToAFileSharesOneRightToChangeItAndNoFolderMeansNoWait) {
  ASSERT_TRUE(Replace("real.cfg", "x"));
  ASSERT_EQ(symlink((dir + "/real.cfg").c_str(), (dir + "/link.cfg").c_str()), 0);
  const ChangeLockResult viaLink = store.LockForChange("link.cfg", "vqxctl", 0);
  ASSERT_TRUE(viaLink);
  EXPECT_FALSE(store.LockForChange("real.cfg", "vqxctl", 50));
  EXPECT_EQ(Entries().count("real.cfg.lock"), 1u);
  EXPECT_EQ(Entries().count("link.cfg.lock"), 0u);

  // Where no lock file can be made, no other program can save either: no wait, and the
  // save itself names what is wrong.
  PosixFileStore nowhere{dir + "/missing-folder"};
  EXPECT_TRUE(nowhere.LockForChange("VQXSU_Prefs.cfg", "vqxctl", 5000));
  // A FIFO planted under the lock file's name neither blocks nor is taken for a lock.
  ASSERT_EQ(mkfifo((dir + "/fifo.cfg.lock").c_str(), 0600), 0);
  EXPECT_TRUE(store.LockForChange("fifo.cfg", "vqxctl", 5000));
}

TEST_F(PosixFileStoreTest, AnyFailedStepKeepsTheOldFileAndRemovesTheTemporary) {
  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", "old"));
  const std::vector<std::pair<const char*, std::deque<int>*>> faults = {
      {"disk full", &sys.writeFaults}, {"flush", &sys.fsyncFaults}, {"rename", &sys.renameFaults},
      {"create", &sys.createFaults}};
  for (const auto& [what, queue] : faults) {
    SCOPED_TRACE(what);
    *queue = {queue == &sys.writeFaults ? ENOSPC : EIO};
    const FileResult first = Replace("VQXSU_Prefs.cfg", data);
    EXPECT_EQ(first.problem, queue == &sys.writeFaults ? FileProblem::DiskFull : FileProblem::Other);
    EXPECT_EQ(first.systemError, queue == &sys.writeFaults ? ENOSPC : EIO);
    sys.writeFaults = {FaultySysCalls::ShortWrite(100), EDQUOT};  // the quota ends after a part
    const FileResult second = Replace("VQXSU_Prefs.cfg", data);
    EXPECT_EQ(second.problem, FileProblem::DiskFull);
    EXPECT_EQ(DescribeFileProblem(second), "the disk is full");
    EXPECT_EQ(Content("VQXSU_Prefs.cfg"), "old");
    EXPECT_EQ(Entries(), std::set<std::string>{"VQXSU_Prefs.cfg"});
  }
}

TEST_F(PosixFileStoreTest, ReadGivesAtMostTheCapacityAndMinusOneForMissingOrUnreadableFiles) {
  std::vector<char> buffer(200000);
  EXPECT_EQ(store.ReadFile("missing.cfg", buffer.data(), buffer.size()), -1);
  ASSERT_TRUE(Replace("a.cfg", data));
  sys.readFaults = {EINTR};
  ASSERT_EQ(store.ReadFile("a.cfg", buffer.data(), 64), 64);
  EXPECT_EQ(std::string(buffer.data(), 64), data.substr(0, 64));
  EXPECT_EQ(store.ReadFile("a.cfg", buffer.data(), buffer.size()), 100000);
  sys.readFaults = {EIO};
  EXPECT_EQ(store.ReadFile("a.cfg", buffer.data(), buffer.size()), -1);
}

TEST_F(PosixFileStoreTest, SystemStoreNamesAreRelativeToItsDirectoryOrTheWorkingDirectory) {
  ASSERT_TRUE(CreateSystemFileStore(dir + "/")->ReplaceFile("one.txt", "1", 1));
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const bool stored = static_cast<bool>(CreateSystemFileStore("")->ReplaceFile("two.txt", "22", 2));
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_TRUE(stored);
  EXPECT_EQ(Content("one.txt") + Content("two.txt"), "122");

  FaultySysCalls fixed;
  fixed.fixedTime = true;
  fixed.now = {1796595004, 999999999};
  EXPECT_EQ(RealtimeClock(fixed).UtcSecondsNow(), 1796595004);
  EXPECT_NEAR(static_cast<double>(SystemWallClock().UtcSecondsNow()), static_cast<double>(time(nullptr)), 5.0);
}

}  // namespace
}  // namespace vqx::posix

namespace vqx::posix {
namespace {

// The working directory as the system would tell it, or its failure (a removed folder).
class CwdSysCalls : public SysCalls {
 public:
  std::string cwd;
  int fault = 0;
  int GetCwd(std::string* path) override {
    if (fault != 0) {
      errno = fault;
      return -1;
    }
    *path = cwd;
    return 0;
  }
};

TEST(PosixFileStoreFullPath, RelativeNamesAreJoinedToTheWorkingDirectoryAndAbsoluteOnesKept) {
  CwdSysCalls sys;
  sys.cwd = "/home/tech";
  EXPECT_EQ(PosixFileStore("", sys).FullPath("VQXSU_Prefs.cfg"), "/home/tech/VQXSU_Prefs.cfg");
  EXPECT_EQ(PosixFileStore("build/demo", sys).FullPath("VQXSU_Prefs.cfg"), "/home/tech/build/demo/VQXSU_Prefs.cfg");
  sys.cwd = "/";
  EXPECT_EQ(PosixFileStore("", sys).FullPath("VQXSU_Prefs.cfg"), "/VQXSU_Prefs.cfg");
  sys.fault = ENOENT;  // an absolute directory needs no working directory
  EXPECT_EQ(PosixFileStore("/srv/vqx/", sys).FullPath("VQXSU_Prefs.cfg"), "/srv/vqx/VQXSU_Prefs.cfg");
}

TEST(PosixFileStoreFullPath, AWorkingDirectoryThatCannotBeToldGivesTheNameAsUsed) {
  CwdSysCalls sys;
  sys.fault = ENOENT;
  EXPECT_EQ(PosixFileStore("", sys).FullPath("VQXSU_Prefs.cfg"), "VQXSU_Prefs.cfg");
  EXPECT_EQ(PosixFileStore("data", sys).FullPath("VQXSU_Prefs.cfg"), "data/VQXSU_Prefs.cfg");
}

TEST(PosixFileStoreFullPath, TheRealWorkingDirectoryIsTheOneTheProcessIsIn) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(chdir("/tmp"), 0);
  const std::string full = PosixFileStore("").FullPath("VQXSU_Prefs.cfg");
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(full, "/tmp/VQXSU_Prefs.cfg");
}

}  // namespace
}  // namespace vqx::posix
