// A save keeps what the file's owner decided: its mode, its owner, its links, its
// read-only mark; it cleans up after interrupted saves and never waits on a FIFO.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "faulty_sys_calls.h"
#include "posix/posix_file_store.h"

namespace vqx::posix {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Runs check in a child process that is not root (root may write anything), and
// returns its exit status: 0 passed, 1 failed, 2 could not give up root.
int InChildWithoutRoot(const std::function<bool()>& check) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class FileIntentTest : public ::testing::Test {
 protected:
  static std::string MakeDirectory() {
    char pattern[] = "/tmp/vqx-intent-XXXXXX";
    return mkdtemp(pattern) != nullptr ? pattern : "";
  }
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::string Content(const std::string& name) const {
    std::ostringstream out;
    out << std::ifstream(Path(name), std::ios::binary).rdbuf();
    return out.str();
  }
  void Write(const std::string& name, const std::string& content, mode_t mode) const {
    std::ofstream(Path(name), std::ios::binary) << content;
    ASSERT_EQ(::chmod(Path(name).c_str(), mode), 0);
  }
  mode_t ModeOf(const std::string& name) const {
    struct stat info {};
    return ::lstat(Path(name).c_str(), &info) == 0 ? info.st_mode : 0;
  }
  std::set<std::string> Entries(const std::string& sub = "") const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(sub.empty() ? dir : Path(sub))) names.insert(e.path().filename());
    return names;
  }
  FileResult Replace(const std::string& name, const std::string& content,
                     NewFileAccess access = NewFileAccess::Shared) {
    return store.ReplaceFile(name.c_str(), content.data(), content.size(), access);
  }

  std::string dir = MakeDirectory();
  testing::FaultySysCalls sys;
  PosixFileStore store{dir, sys};
};

TEST_F(FileIntentTest, ReplacedFileKeepsItsModeWhateverTheUmaskAndNewFilesFollowTheirAccess) {
  Write("VQXSU_Prefs.cfg", "old", 0600);
  Write("History.txt", "old", 0664);  // group-writable, wider than the umask would allow
  const mode_t previous = ::umask(022);
  EXPECT_TRUE(Replace("VQXSU_Prefs.cfg", "new"));
  EXPECT_TRUE(Replace("History.txt", "new"));
  EXPECT_TRUE(Replace("fresh.txt", "new"));
  EXPECT_TRUE(Replace("fresh.cfg", "new", NewFileAccess::OwnerOnly));
  ::umask(previous);
  EXPECT_EQ(ModeOf("VQXSU_Prefs.cfg") & 07777, 0600u);
  EXPECT_EQ(ModeOf("History.txt") & 07777, 0664u);
  EXPECT_EQ(ModeOf("fresh.txt") & 07777, 0644u);
  EXPECT_EQ(ModeOf("fresh.cfg") & 07777, 0600u);
  EXPECT_EQ(Content("VQXSU_Prefs.cfg") + Content("History.txt"), "newnew");
}

TEST_F(FileIntentTest, RootSavingAUsersFileLeavesItTheUsers) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can save a file that another user owns";
  Write("VQXSU_Prefs.cfg", "old", 0640);
  ASSERT_EQ(::chown(Path("VQXSU_Prefs.cfg").c_str(), kNobody, kNobody), 0);
  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", "new"));
  struct stat info {};
  ASSERT_EQ(::stat(Path("VQXSU_Prefs.cfg").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kNobody);
  EXPECT_EQ(info.st_gid, kNobody);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), "new");
}

TEST_F(FileIntentTest, SaveThroughALinkChainReplacesTheTargetInItsOwnFolderAndKeepsTheLinks) {
  ASSERT_EQ(::mkdir(Path("real").c_str(), 0755), 0);
  Write("real/prefs.cfg", "old", 0600);
  ASSERT_EQ(::symlink("real/prefs.cfg", Path("middle").c_str()), 0);  // relative to its own folder
  ASSERT_EQ(::symlink(Path("middle").c_str(), Path("VQXSU_Prefs.cfg").c_str()), 0);

  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", "new"));
  EXPECT_TRUE(S_ISLNK(ModeOf("VQXSU_Prefs.cfg")));
  EXPECT_TRUE(S_ISLNK(ModeOf("middle")));
  EXPECT_EQ(Content("real/prefs.cfg"), "new");
  EXPECT_EQ(ModeOf("real/prefs.cfg") & 07777, 0600u);
  EXPECT_EQ(Entries("real"), std::set<std::string>{"prefs.cfg"});  // the temporary was renamed there
  std::vector<char> buffer(16);
  EXPECT_EQ(store.ReadFile("VQXSU_Prefs.cfg", buffer.data(), buffer.size()), 3);

  // A dangling link: the file it names is created; a loop of links is refused.
  ASSERT_EQ(::symlink("real/later.txt", Path("History.txt").c_str()), 0);
  ASSERT_TRUE(Replace("History.txt", "report"));
  EXPECT_TRUE(S_ISLNK(ModeOf("History.txt")));
  EXPECT_EQ(Content("real/later.txt"), "report");
  ASSERT_EQ(::symlink("loop-b", Path("loop-a").c_str()), 0);
  ASSERT_EQ(::symlink("loop-a", Path("loop-b").c_str()), 0);
  const FileResult loop = Replace("loop-a", "x");
  EXPECT_EQ(loop.problem, FileProblem::Other);
  EXPECT_EQ(loop.systemError, ELOOP);
}

TEST_F(FileIntentTest, ReadOnlyFileIsRefusedWithItsReasonAndLeftAloneAlsoForRoot) {
  Write("VQXSU_Prefs.cfg", "old", 0444);
  const FileResult refused = Replace("VQXSU_Prefs.cfg", "new");
  EXPECT_EQ(refused.problem, FileProblem::ReadOnlyFile);
  EXPECT_EQ(DescribeFileProblem(refused), "the file is read-only");
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), "old");
  EXPECT_EQ(ModeOf("VQXSU_Prefs.cfg") & 07777, 0444u);
  EXPECT_EQ(Entries(), std::set<std::string>{"VQXSU_Prefs.cfg"});
}

TEST_F(FileIntentTest, FileThisUserMayNotWriteIsRefusedEvenInAFolderItMayWrite) {
  // The folder would let the rename through; the file's own permission must not be bypassed.
  ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
  Write("VQXSU_Prefs.cfg", "old", 0460);  // the owner may only read, the group may write
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(Path("VQXSU_Prefs.cfg").c_str(), kNobody, 0), 0);
  }
  const std::string directory = dir;
  const int status = InChildWithoutRoot([directory] {
    PosixFileStore own(directory);
    const FileResult result = own.ReplaceFile("VQXSU_Prefs.cfg", "new", 3);
    return result.problem == FileProblem::PermissionDenied && DescribeFileProblem(result) == "permission denied";
  });
  EXPECT_EQ(status, 0) << "1: not refused as permission denied, 2: could not give up root";
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), "old");
  EXPECT_EQ(Entries(), std::set<std::string>{"VQXSU_Prefs.cfg"});
}

TEST_F(FileIntentTest, FailuresOfTheFileSystemAreNamed) {
  struct CreateFails : testing::FaultySysCalls {
    int error = 0;
    int OpenWithMode(const char*, int, mode_t) override {
      errno = error;
      return -1;
    }
  } failing;
  PosixFileStore faulty(dir, failing);
  const std::pair<int, FileProblem> cases[] = {{EROFS, FileProblem::ReadOnlyFileSystem},
                                               {EACCES, FileProblem::PermissionDenied},
                                               {ENOSPC, FileProblem::DiskFull}};
  for (const auto& [error, problem] : cases) {
    failing.error = error;
    const FileResult result = faulty.ReplaceFile("x.txt", "1", 1);
    EXPECT_EQ(result.problem, problem) << error;
    EXPECT_EQ(result.systemError, error);
  }
  EXPECT_EQ(DescribeFileProblem({FileProblem::ReadOnlyFileSystem, EROFS}), "the file system is read-only");
  EXPECT_TRUE(Entries().empty());
}

TEST_F(FileIntentTest, StaleTemporariesOfThisFileAreRemovedByTheNextSaveOthersStay) {
  // A process number that is no longer running: a child that has ended and been reaped.
  const pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string own = std::to_string(::getpid());
  const std::string live = std::to_string(::getppid());
  const std::string deadTemporary = "VQXSU_Prefs.cfg.tmp-" + std::to_string(gone) + "-3";
  const std::string oldTemporary = "VQXSU_Prefs.cfg.tmp-" + live + "-0";
  const std::set<std::string> kept = {"VQXSU_Prefs.cfg.tmp-" + live + "-1",  // a running process, recent
                                      "VQXSU_Prefs.cfg.tmp-" + own + "-7",   // this process's own
                                      "VQXSU_Prefs.cfg.tmp-12x-1",           // not one of ours
                                      "VQXSU_Prefs.cfg.tmp-",
                                      "History.txt.tmp-" + std::to_string(gone) + "-0"};
  for (const std::string& name : kept) Write(name, "t", 0600);
  Write(deadTemporary, "t", 0600);
  Write(oldTemporary, "t", 0600);
  // Older than any save takes: its process number may belong to another program by now.
  const timeval twoHoursAgo[2] = {{::time(nullptr) - 2 * PosixFileStore::kStaleTemporarySeconds, 0},
                                  {::time(nullptr) - 2 * PosixFileStore::kStaleTemporarySeconds, 0}};
  ASSERT_EQ(::utimes(Path(oldTemporary).c_str(), twoHoursAgo), 0);

  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", "new"));
  std::set<std::string> expected = kept;
  expected.insert("VQXSU_Prefs.cfg");
  EXPECT_EQ(Entries(), expected);
}

TEST_F(FileIntentTest, ATemporaryNameAlreadyTakenIsPassedOverNotWrittenThrough) {
  // An earlier process with this process's number left its temporaries; one is a link.
  const std::string own = std::to_string(::getpid());
  Write("VQXSU_Prefs.cfg.tmp-" + own + "-0", "left", 0600);
  ASSERT_EQ(::symlink("elsewhere", Path("VQXSU_Prefs.cfg.tmp-" + own + "-1").c_str()), 0);
  ASSERT_TRUE(Replace("VQXSU_Prefs.cfg", "new"));
  EXPECT_EQ(Content("VQXSU_Prefs.cfg"), "new");
  EXPECT_EQ(Content("VQXSU_Prefs.cfg.tmp-" + own + "-0"), "left");
  EXPECT_FALSE(fs::exists(Path("elsewhere")));
}

TEST_F(FileIntentTest, FifoIsRefusedAtOnceForReadingAndReplacing) {
  ASSERT_EQ(::mkfifo(Path("VQXSU_Prefs.cfg").c_str(), 0600), 0);
  const std::string directory = dir;
  // In a child with an alarm: a store that waits for a writer is killed instead of hanging.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(10);
    PosixFileStore own(directory);
    char buffer[16];
    FileResult readWhy;
    const bool readRefused = own.ReadFile("VQXSU_Prefs.cfg", buffer, sizeof(buffer), &readWhy) == -1 &&
                             readWhy.problem == FileProblem::NotARegularFile;
    const bool writeRefused = own.ReplaceFile("VQXSU_Prefs.cfg", "x", 1).problem == FileProblem::NotARegularFile;
    ::_exit(readRefused && writeRefused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the store blocked on the FIFO";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(S_ISFIFO(ModeOf("VQXSU_Prefs.cfg")));
}

TEST_F(FileIntentTest, HeldFileIsSeenByOtherProgramsAcrossItsOwnSavesUntilTheStoreEnds) {
  PosixFileStore other(dir);
  {
    PosixFileStore desktop(dir);
    desktop.HoldWhileRunning("VQXSU_Prefs.cfg");  // not there yet: held from its first save
    EXPECT_FALSE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
    ASSERT_TRUE(desktop.ReplaceFile("VQXSU_Prefs.cfg", "one", 3));
    EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
    ASSERT_TRUE(desktop.ReplaceFile("VQXSU_Prefs.cfg", "two", 3));  // a new file: held again
    EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
    EXPECT_FALSE(other.HeldByAnotherProgram("History.txt"));
  }
  EXPECT_FALSE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
}

}  // namespace
}  // namespace vqx::posix
