#pragma once

// The desktop program's preferences file as vqxctl changes it. Every change runs from the
// read it is based on to the new file's rename with the right to change the file, so two
// programs changing it at once never lose each other's change; and vqxsu, which holds the
// file while it runs and would write its own copy over the change, is never bypassed.

#include <memory>
#include <ostream>
#include <string>

#include "port/file_store.h"

namespace vqx::cli {

// How long vqxctl waits for another program's change to the file to finish.
inline constexpr uint32_t kPrefsChangeWaitMs = 5000;

// The preferences file as a store over its folder and its name in it.
struct PrefsFile {
  std::unique_ptr<IFileStore> store;
  std::string name;
};

PrefsFile OpenPrefs(const std::string& path);

class PrefsChange {
 public:
  // Takes the right to change the file at path, waiting up to kPrefsChangeWaitMs for
  // another program to finish, and makes sure no vqxsu has the file open. On refusal
  // tells why on err, ending with vqxsuHint (what to do there instead) and nothingDone
  // ("Nothing was changed."), and returns null.
  static std::unique_ptr<PrefsChange> Begin(const std::string& path, const std::string& vqxsuHint,
                                            const std::string& nothingDone, std::ostream& err);

  IFileStore& Store() { return *file_.store; }
  const std::string& Name() const { return file_.name; }

 private:
  explicit PrefsChange(PrefsFile file) : file_(std::move(file)) {}

  PrefsFile file_;
  ChangeLockResult lock_;
};

}  // namespace vqx::cli
