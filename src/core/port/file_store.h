#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vqx {

// Why a file could not be read or written, in the terms a user can act on.
enum class FileProblem {
  None,
  DiskFull,            // no space left, or the user's quota is used up
  ReadOnlyFileSystem,  // the medium is mounted read-only
  ReadOnlyFile,        // the file itself is marked read-only: it is left alone
  PermissionDenied,    // the file or its folder may not be written (or read) by this user
  NotARegularFile,     // a FIFO, a device, a socket or a folder stands under the name
  NotFound,            // no such file (or a folder on its way is missing)
  Other,               // systemError tells
};

struct FileResult {
  FileProblem problem = FileProblem::None;
  int systemError = 0;  // the system's error number, when it gave one

  explicit operator bool() const { return problem == FileProblem::None; }
  static FileResult Ok() { return {}; }
};

// A few words for a message: "the disk is full", "the file is read-only", ...
std::string DescribeFileProblem(const FileResult& result);

// Whether a file created by a save may be read by others. Replacing an existing file
// always keeps that file's mode (and, where the process may, its owner).
enum class NewFileAccess {
  Shared,      // 0644 less the umask, like any document
  OwnerOnly,   // 0600: the file holds passwords
};

// The right to change one file, taken before the read that a change is based on and kept
// until the replacement is in place, so that two programs changing the file at once never
// lose each other's change. Released when destroyed.
class FileChangeLock {
 public:
  virtual ~FileChangeLock() = default;
};

struct ChangeLockResult {
  std::unique_ptr<FileChangeLock> lock;  // null: another program held it for the whole wait
  std::string holder;  // then: that program as it named itself ("vqxctl (process 4711)"), or empty

  explicit operator bool() const { return lock != nullptr; }
};

// The files the program keeps: the preferences, the communication log, History.txt.
// Names are relative to the working directory. One implementation per platform; tests
// keep the files in memory.
class IFileStore {
 public:
  virtual ~IFileStore() = default;

  // Reads up to capacity bytes from the start of the file. Returns the number read, or -1
  // when the file does not exist, cannot be opened or is not a regular file (a FIFO is
  // refused without waiting for a writer); why (may be null) then says which.
  virtual int64_t ReadFile(const char* name, void* buffer, size_t capacity, FileResult* why = nullptr) = 0;

  // Replaces the whole file with data: written to a temporary file beside it, flushed to
  // the disk, then renamed over the old one. A crash or a full disk leaves either the old
  // file or the new one, never a mix. A symbolic link stays a link: its target is
  // replaced. A file marked read-only, or one this user may not write, is refused and
  // left alone. On failure the old file is untouched and the result says why.
  virtual FileResult ReplaceFile(const char* name, const void* data, size_t size,
                                 NewFileAccess access = NewFileAccess::Shared) = 0;

  // Takes the right to change name, waiting up to waitMs while another program holds it.
  // program ("vqxctl") is how a program waiting in turn learns who holds it. Where no
  // other program could write the file either (its folder is not writable), the right is
  // granted without a lock, and the save then says what is wrong.
  virtual ChangeLockResult LockForChange(const char* name, const char* program, uint32_t waitMs) = 0;

  // Marks the file as in use by this program for as long as the store lives (an advisory
  // lock other programs can see), kept across this store's own replacements. A missing
  // file is marked once a save creates it.
  virtual void HoldWhileRunning(const char* name) = 0;
  // Whether another program holds the file that way (a running desktop program).
  virtual bool HeldByAnotherProgram(const char* name) = 0;

  // Where the file of a name is, as a user would look for it: an absolute path where the
  // platform can tell, the name itself otherwise (the About box shows it).
  virtual std::string FullPath(const char* name) const { return name; }

  // The line break of the platform's text files ("\n" on POSIX, "\r\n" on Windows).
  virtual const char* TextLineBreak() const = 0;
};

}  // namespace vqx
