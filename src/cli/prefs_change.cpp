#include "prefs_change.h"

#include <filesystem>

#include "system_port.h"

namespace vqx::cli {

PrefsFile OpenPrefs(const std::string& path) {
  const std::filesystem::path p = PathFromText(path);
  return {CreateSystemFileStore(TextOfPath(p.parent_path())), TextOfPath(p.filename())};
}

std::unique_ptr<PrefsChange> PrefsChange::Begin(const std::string& path, const std::string& vqxsuHint,
                                                const std::string& nothingDone, std::ostream& err) {
  std::unique_ptr<PrefsChange> change(new PrefsChange(OpenPrefs(path)));
  change->lock_ = change->Store().LockForChange(change->Name().c_str(), "vqxctl", kPrefsChangeWaitMs);
  if (!change->lock_) {
    const std::string holder = change->lock_.holder.empty() ? "another program" : change->lock_.holder;
    err << "vqxctl: " << path << ": " << holder << " is changing this file and did not finish within "
        << kPrefsChangeWaitMs / 1000 << " seconds; try again. " << nothingDone << "\n";
    return nullptr;
  }
  // Asked only with the right to change held: another vqxctl's look at the file is over
  // by then, so whatever holds it now is a running desktop program.
  if (change->Store().HeldByAnotherProgram(change->Name().c_str())) {
    err << "vqxctl: " << path << ": the desktop program vqxsu has this file open; close it first (or " << vqxsuHint
        << " there). " << nothingDone << "\n";
    return nullptr;
  }
  return change;
}

}  // namespace vqx::cli
