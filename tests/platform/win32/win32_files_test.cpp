// The file store, clocks and named-file reads on a real Windows file system (Wine's).

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "fake_file_calls.h"
#include "system_port.h"
#include "win32/system_time_clock.h"
#include "win32/wide_text.h"
#include "win32/win32_file_store.h"
#include "win32/windows_api.h"

namespace vqx::win32 {
namespace {

// A fresh folder under the temporary folder, with non-ASCII characters in its name.
class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t base[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, base), 0u);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Wine reuses small process numbers: the tick count keeps runs apart.
    dir_ = NarrowToUtf8(base) + "vqx Prüfstand Ω " + info->name() + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::GetTickCount64());
    ASSERT_TRUE(::CreateDirectoryW(WidenUtf8(dir_).c_str(), nullptr)) << ::GetLastError();
  }
  void TearDown() override {
    WIN32_FIND_DATAW found{};
    const std::wstring wide = WidenUtf8(dir_);
    const HANDLE search = ::FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = wide + L"\\" + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          ::RemoveDirectoryW(path.c_str());  // the tests make empty ones only
        } else {
          ::DeleteFileW(path.c_str());
        }
      } while (::FindNextFileW(search, &found));
      ::FindClose(search);
    }
    EXPECT_TRUE(::RemoveDirectoryW(wide.c_str())) << "left behind: " << dir_;
  }
  std::string Read(IFileStore& store, const char* name) {
    char buffer[256];
    const int64_t n = store.ReadFile(name, buffer, sizeof buffer);
    return n < 0 ? "<missing>" : std::string(buffer, static_cast<size_t>(n));
  }
  int CountFiles() {
    int count = 0;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((WidenUtf8(dir_) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ++count;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
  }
  std::string dir_;
};

TEST_F(Win32Files, AReplacementLandsWholeInAFolderWithANonAsciiNameAndLeavesNoTemporary) {
  Win32FileStore store(dir_);
  EXPECT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "first", 5));
  EXPECT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "second", 6));
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "second");
  EXPECT_EQ(CountFiles(), 1);
  EXPECT_STREQ(store.TextLineBreak(), "\r\n");
}

// The About box names the preferences file from the drive, non-ASCII folder and all.
TEST_F(Win32Files, FullPathOfANameIsFromTheDriveInTheStoresFolderOrTheWorkingOne) {
  Win32FileStore store(dir_);
  EXPECT_EQ(store.FullPath("VQXSU_Prefs.cfg"), dir_ + "\\VQXSU_Prefs.cfg");
  wchar_t previous[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(WidenUtf8(dir_).c_str()));
  Win32FileStore here("");
  const std::string full = here.FullPath("VQXSU_Prefs.cfg");
  ASSERT_TRUE(::SetCurrentDirectoryW(previous));
  EXPECT_EQ(full, dir_ + "\\VQXSU_Prefs.cfg");
}

TEST_F(Win32Files, AReadOnlyFileIsRefusedAndLeftAlone) {
  Win32FileStore store(dir_);
  ASSERT_TRUE(store.ReplaceFile("History.txt", "kept", 4));
  ASSERT_TRUE(::SetFileAttributesW(WidenUtf8(store.PathOf("History.txt")).c_str(), FILE_ATTRIBUTE_READONLY));
  const FileResult result = store.ReplaceFile("History.txt", "lost", 4);
  EXPECT_EQ(result.problem, FileProblem::ReadOnlyFile);
  EXPECT_EQ(Read(store, "History.txt"), "kept");
  EXPECT_EQ(CountFiles(), 1);
}

TEST_F(Win32Files, AFolderOrADeviceUnderTheNameIsNotAFile) {
  Win32FileStore store(dir_);
  ASSERT_TRUE(::CreateDirectoryW(WidenUtf8(store.PathOf("folder")).c_str(), nullptr));
  FileResult why;
  char buffer[8];
  EXPECT_EQ(store.ReadFile("folder", buffer, sizeof buffer, &why), -1);
  EXPECT_EQ(why.problem, FileProblem::NotARegularFile);
  EXPECT_EQ(store.ReplaceFile("folder", "x", 1).problem, FileProblem::NotARegularFile);
  EXPECT_EQ(store.ReadFile("missing", buffer, sizeof buffer, &why), -1);
  EXPECT_EQ(why.problem, FileProblem::NotFound);
}

TEST_F(Win32Files, ATemporaryLeftByAProcessThatIsGoneIsRemovedByTheNextSave) {
  Win32FileStore store(dir_);
  ASSERT_TRUE(store.ReplaceFile("History.txt", "a", 1));
  // No process has number 999999999 (they are multiples of 4 and far smaller).
  const std::wstring stale = WidenUtf8(store.PathOf("History.txt.tmp-999999999-0"));
  const HANDLE file = ::CreateFileW(stale.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::CloseHandle(file);
  ASSERT_EQ(CountFiles(), 2);
  ASSERT_TRUE(store.ReplaceFile("History.txt", "b", 1));
  EXPECT_EQ(CountFiles(), 1);
}

TEST_F(Win32Files, AHeldFileIsSeenByOthersAndStillReplacedByItsHolder) {
  Win32FileStore holder(dir_);
  Win32FileStore other(dir_);
  ASSERT_TRUE(holder.ReplaceFile("VQXSU_Prefs.cfg", "one", 3));
  EXPECT_FALSE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
  holder.HoldWhileRunning("VQXSU_Prefs.cfg");
  EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
  EXPECT_EQ(Read(other, "VQXSU_Prefs.cfg"), "one") << "the mark does not stop readers";
  ASSERT_TRUE(holder.ReplaceFile("VQXSU_Prefs.cfg", "two", 3));
  EXPECT_EQ(Read(other, "VQXSU_Prefs.cfg"), "two");
  EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg")) << "the hold survives the holder's own save";
}

// Two programs changing one file take turns; the one kept waiting learns who holds it.
// The right lives in a companion file, since every save puts a new file under the name,
// and it does not stop anyone reading the file or the holder's name.
TEST_F(Win32Files, TheRightToChangeAFileIsExclusiveNamesItsHolderAndSurvivesTheReplace) {
  Win32FileStore first(dir_);
  Win32FileStore second(dir_);
  {
    const ChangeLockResult taken = first.LockForChange("VQXSU_Prefs.cfg", "vqxctl", 0);
    ASSERT_TRUE(taken);
    ASSERT_TRUE(first.ReplaceFile("VQXSU_Prefs.cfg", "one", 3));
    const ULONGLONG start = ::GetTickCount64();
    const ChangeLockResult refused = second.LockForChange("VQXSU_Prefs.cfg", "vqxsu", 300);
    EXPECT_FALSE(refused);
    EXPECT_GE(::GetTickCount64() - start, 290u);
    EXPECT_EQ(refused.holder, "vqxctl (process " + std::to_string(::GetCurrentProcessId()) + ")");
    EXPECT_EQ(Read(second, "VQXSU_Prefs.cfg"), "one");
  }
  const ChangeLockResult again = second.LockForChange("VQXSU_Prefs.cfg", "vqxsu", 0);
  EXPECT_TRUE(again) << "released with its holder";
  EXPECT_EQ(Read(first, "VQXSU_Prefs.cfg.lock"),
            "vqxsu (process " + std::to_string(::GetCurrentProcessId()) + ")\r\n");
  Win32FileStore nowhere(dir_ + "\\missing-folder");
  EXPECT_TRUE(nowhere.LockForChange("VQXSU_Prefs.cfg", "vqxctl", 5000)) << "no folder, no other writer";
}

// This process's user, as SDDL names it ("S-1-5-21-...").
std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return L"<no token>";
  BYTE buffer[256];
  DWORD needed = 0;
  std::wstring text = L"<no user>";
  wchar_t* sid = nullptr;
  if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed) &&
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
    text = sid;
    ::LocalFree(sid);
  }
  ::CloseHandle(token);
  return text;
}

// The preferences file holds the unit's web passwords: a new one is created for its owner
// alone (and SYSTEM and the Administrators, who can read everything anyway), with nothing
// inherited from the folder; any other new file takes the folder's permissions. A file
// that is replaced keeps what its owner gave it: attributes here, the ACL and streams
// too, where the file system has them (ReplaceFileW).
TEST_F(Win32Files, ANewPasswordFileIsForItsOwnerOnlyAndAReplacedFileKeepsWhatItsOwnerGaveIt) {
  testing::FakeFileCalls calls;
  Win32FileStore store(dir_, calls);
  ASSERT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "one", 3, NewFileAccess::OwnerOnly));
  ASSERT_TRUE(store.ReplaceFile("History.txt", "report", 6));
  ASSERT_EQ(calls.createdDacls.size(), 2u);
  const std::wstring& dacl = calls.createdDacls[0];
  EXPECT_EQ(dacl.rfind(L"D:P", 0), 0u) << NarrowToUtf8(dacl);
  for (const std::wstring& ace : {L"(A;;FA;;;" + UserSid() + L")", std::wstring(L"(A;;FA;;;SY)"),
                                  std::wstring(L"(A;;FA;;;BA)")}) {
    EXPECT_NE(dacl.find(ace), std::wstring::npos) << NarrowToUtf8(dacl) << " lacks " << NarrowToUtf8(ace);
  }
  EXPECT_EQ(std::count(dacl.begin(), dacl.end(), L'('), 3) << NarrowToUtf8(dacl);
  EXPECT_EQ(calls.createdDacls[1], L"") << "a report takes the folder's permissions";
  EXPECT_EQ(calls.moves, 2) << "nothing to replace yet";

  const std::wstring prefs = WidenUtf8(store.PathOf("VQXSU_Prefs.cfg"));
  ASSERT_TRUE(::SetFileAttributesW(prefs.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "two", 3, NewFileAccess::OwnerOnly));
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "two");
  EXPECT_EQ(calls.replaces, 1);
  EXPECT_NE(::GetFileAttributesW(prefs.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << "the user hid it";
  EXPECT_EQ(CountFiles(), 2);

  // A file system without ReplaceFileW still gets the save, as before.
  calls.replaceUnsupported = true;
  ASSERT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "three", 5, NewFileAccess::OwnerOnly));
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "three");
  EXPECT_NE(::GetFileAttributesW(prefs.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(CountFiles(), 2);

  // ReplaceFileW that removed the old file but could not rename the new one: the new
  // content still ends up under the name, never no file at all.
  calls.replaceUnsupported = false;
  calls.replaceLosesReplaced = true;
  ASSERT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "four", 4, NewFileAccess::OwnerOnly));
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "four");
  EXPECT_EQ(CountFiles(), 2);
}

// A virus scanner or an indexer opens the file without sharing it for a moment: a read or
// a save then waits it out, and reports it only after about two seconds.
TEST_F(Win32Files, ASharingViolationIsWaitedOutForAboutTwoSecondsOnReadAndReplaceThenReported) {
  testing::FakeFileCalls calls;
  Win32FileStore store(dir_, calls);
  ASSERT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "one", 3));

  calls.scanner = {L"\\VQXSU_Prefs.cfg", 5};
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "one");
  EXPECT_EQ(calls.scanner.times, 0);
  calls.replaceRefusals = 5;
  EXPECT_TRUE(store.ReplaceFile("VQXSU_Prefs.cfg", "two", 3));
  EXPECT_EQ(calls.replaceRefusals, 0);
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "two");

  calls.scanner = {L"\\VQXSU_Prefs.cfg", 1000};
  const uint64_t start = calls.ticks;
  FileResult why;
  char buffer[8];
  EXPECT_EQ(store.ReadFile("VQXSU_Prefs.cfg", buffer, sizeof buffer, &why), -1);
  EXPECT_EQ(why.problem, FileProblem::PermissionDenied);
  EXPECT_EQ(why.systemError, ERROR_SHARING_VIOLATION);
  EXPECT_GE(calls.ticks - start, Win32FileStore::kSharingRetryMs);
  EXPECT_LT(calls.ticks - start, Win32FileStore::kSharingRetryMs + 200);
  calls.scanner.times = 0;

  calls.replaceRefusals = 1000;
  calls.replaceRefusalError = ERROR_SHARING_VIOLATION;
  const FileResult refused = store.ReplaceFile("VQXSU_Prefs.cfg", "lost", 4);
  EXPECT_EQ(refused.problem, FileProblem::PermissionDenied);
  EXPECT_EQ(Read(store, "VQXSU_Prefs.cfg"), "two");
  EXPECT_EQ(CountFiles(), 1) << "no temporary left";
}

// The desktop program's mark on the file stays through its own saves: the new file is
// marked before the old file's mark goes. A new file that cannot be opened to mark it
// for the whole retry time is reported (Holding) and marked at the next read.
TEST_F(Win32Files, TheHoldMovesToEachNewFileAndALostOneIsReportedAndTakenAgain) {
  testing::FakeFileCalls calls;
  Win32FileStore holder(dir_, calls);
  Win32FileStore other(dir_);
  holder.HoldWhileRunning("VQXSU_Prefs.cfg");
  EXPECT_FALSE(holder.Holding("VQXSU_Prefs.cfg")) << "no file yet";
  ASSERT_TRUE(holder.ReplaceFile("VQXSU_Prefs.cfg", "one", 3));
  EXPECT_TRUE(holder.Holding("VQXSU_Prefs.cfg")) << "marked once a save creates it";
  EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));

  ASSERT_TRUE(holder.ReplaceFile("VQXSU_Prefs.cfg", "two", 3));
  EXPECT_EQ(calls.replaces, 1) << "replaced with the mark kept on, as Windows allows";
  EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));

  calls.scanner = {L"\\VQXSU_Prefs.cfg", 3};
  ASSERT_TRUE(holder.ReplaceFile("VQXSU_Prefs.cfg", "three", 5));
  EXPECT_TRUE(holder.Holding("VQXSU_Prefs.cfg"));
  EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));

  calls.scanner = {L"\\VQXSU_Prefs.cfg", 1000};
  EXPECT_TRUE(holder.ReplaceFile("VQXSU_Prefs.cfg", "four", 4)) << "the content is saved all the same";
  EXPECT_FALSE(holder.Holding("VQXSU_Prefs.cfg"));
  EXPECT_FALSE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
  calls.scanner.times = 0;
  EXPECT_EQ(Read(holder, "VQXSU_Prefs.cfg"), "four");
  EXPECT_TRUE(holder.Holding("VQXSU_Prefs.cfg"));
  EXPECT_TRUE(other.HeldByAnotherProgram("VQXSU_Prefs.cfg"));
  EXPECT_EQ(CountFiles(), 1);
}

TEST_F(Win32Files, ANamedFileIsReadWholeAndFoldersDevicesAndLargeFilesAreRefused) {
  Win32FileStore store(dir_);
  ASSERT_TRUE(store.ReplaceFile("snap.json", "{\"name\": \"Mast\"}", 16));
  std::string content;
  EXPECT_EQ(ReadNamedFile(store.PathOf("snap.json"), 100, &content).outcome, NamedFileRead::Outcome::Read);
  EXPECT_EQ(content, "{\"name\": \"Mast\"}");
  content.clear();
  EXPECT_EQ(ReadNamedFile(store.PathOf("snap.json"), 10, &content).outcome, NamedFileRead::Outcome::TooLarge);
  EXPECT_EQ(ReadNamedFile(dir_, 100, &content).outcome, NamedFileRead::Outcome::Folder);
  EXPECT_EQ(ReadNamedFile(store.PathOf("none.json"), 100, &content).outcome, NamedFileRead::Outcome::NotFound);
  EXPECT_EQ(ReadNamedFile("NUL", 100, &content).outcome, NamedFileRead::Outcome::NotARegularFile);
}

TEST(Win32WallClock, UtcSecondsAgreeWithTheCLibraryAndTheFileTimeEpoch) {
  // 2000-01-01 00:00:00 UTC in 100 ns steps since 1601.
  EXPECT_EQ(UnixSecondsFromFileTime((946684800ULL + 11644473600ULL) * 10000000ULL), 946684800);
  const int64_t now = SystemWallClock().UtcSecondsNow();
  EXPECT_LE(std::llabs(now - static_cast<int64_t>(std::time(nullptr))), 2);
}

}  // namespace
}  // namespace vqx::win32
