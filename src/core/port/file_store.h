#pragma once

#include <cstddef>
#include <cstdint>

namespace vqx {

// The files the program keeps: the preferences, the communication log, History.txt.
// Names are relative to the working directory. One implementation per platform; tests
// keep the files in memory.
class IFileStore {
 public:
  virtual ~IFileStore() = default;

  // Reads up to capacity bytes from the start of the file. Returns the number read, or -1
  // when the file does not exist or cannot be opened.
  virtual int64_t ReadFile(const char* name, void* buffer, size_t capacity) = 0;

  // Replaces the whole file with data: written to a temporary file beside it, flushed to
  // the disk, then renamed over the old one. A crash or a full disk leaves either the old
  // file or the new one, never a mix. Returns false when the new content could not be
  // stored; the old file is then untouched.
  virtual bool ReplaceFile(const char* name, const void* data, size_t size) = 0;

  // The line break of the platform's text files ("\n" on POSIX, "\r\n" on Windows).
  virtual const char* TextLineBreak() const = 0;
};

}  // namespace vqx
