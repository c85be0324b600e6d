#include <string>
#include <system_error>

#include "port/file_store.h"

namespace vqx {

std::string DescribeFileProblem(const FileResult& result) {
  switch (result.problem) {
    case FileProblem::None: return "no problem";
    case FileProblem::DiskFull: return "the disk is full";
    case FileProblem::ReadOnlyFileSystem: return "the file system is read-only";
    case FileProblem::ReadOnlyFile: return "the file is read-only";
    case FileProblem::PermissionDenied: return "permission denied";
    case FileProblem::NotARegularFile: return "it is not a regular file (a FIFO, device or folder)";
    case FileProblem::NotFound: return "it does not exist";
    case FileProblem::Other: break;
  }
  if (result.systemError == 0) return "an unknown error";
  // errno on POSIX, GetLastError on Windows: the system category knows its own numbers.
  return std::system_category().message(result.systemError);
}

}  // namespace vqx
