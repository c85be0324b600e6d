#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/app_window.h"

namespace vqx {

namespace {

void ApplyDefaults(PreferencesBlock& block) {
  block.formatMark = kPreferencesFormatMark;
  block.view = kViewSettings;
  block.baudRate = 9600;
  block.dataBits = 8;
  block.stopBits = 1;
  block.parity = 'N';
  std::memset(block.portName, 0, sizeof(block.portName));
  std::strcpy(block.portName, "COM1");
  block.connectionCount = 0;
  block.historyCount = 0;
  // The slots of both lists stay as they are: nothing reads past the counts.
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

// A file is the block's memory image, so anything in it can be wrong: bound every
// count and terminate every text that is read later, before the block is used.
void Sanitize(PreferencesBlock& block) {
  block.historyCount = Clamp(block.historyCount, 0, kHistoryCapacity);
  block.connectionCount = Clamp(block.connectionCount, 0, kRemoteConnectionCapacity);
  if (block.view != kViewSettings && block.view != kViewTerminal && block.view != kViewHistory) {
    block.view = kViewSettings;
  }
  block.portName[sizeof(block.portName) - 1] = '\0';
  for (int32_t i = 0; i < block.connectionCount; ++i) {
    const auto slot = static_cast<size_t>(i);
    block.connectionAddresses[slot][sizeof(block.connectionAddresses[slot]) - 1] = '\0';
    block.connectionDescriptions[slot][sizeof(block.connectionDescriptions[slot]) - 1] = '\0';
  }
}

// FNV-1a: enough to tell whether a file is still the one this program wrote.
uint64_t HashOf(const void* bytes, size_t length) {
  uint64_t hash = 14695981039346656037ull;
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < length; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  return hash;
}

constexpr const char* kChangedOnDiskText =
    "VQXSU_Prefs.cfg was changed by another program since this window loaded it (for example by "
    "vqxctl history import).\r"
    "Yes: load that file's History and remote connections into this window, then save.\r"
    "No: keep this window's History; the other program's changes are overwritten.";

}  // namespace

void CAppWindow::RememberPreferencesFile(const void* bytes, int64_t length) {
  prefsFileLength_ = length;
  prefsFileHash_ = length > 0 ? HashOf(bytes, static_cast<size_t>(length)) : 0;
}

void CAppWindow::LoadPreferences() {
  // Read and marked as held in one turn: a vqxctl that checks for this program between
  // the two would otherwise find the file free and change it behind this window's back.
  // A holder that never lets go only costs the wait: reading needs no lock. Without a
  // file there is nothing to hold yet (its first save takes the hold), and a start in a
  // folder leaves no lock file behind there.
  uint8_t probe = 0;
  ChangeLockResult change;
  if (services_.files.ReadFile(kPreferencesFileName, &probe, 1) >= 0) {
    change = services_.files.LockForChange(kPreferencesFileName, kPreferencesProgramName, kPreferencesLockWaitMs);
  }
  // 86 KB: on the heap, not on the user-interface thread's stack. One byte more than a
  // block, so that the remembered length tells a longer file apart.
  std::vector<uint8_t> bytes(sizeof(PreferencesBlock) + 1);
  const int64_t read = services_.files.ReadFile(kPreferencesFileName, bytes.data(), bytes.size());
  RememberPreferencesFile(bytes.data(), read);
  // A short file leaves the rest of the block undefined: it counts as not valid.
  auto scratch = std::make_unique<PreferencesBlock>();
  const bool usable = read == static_cast<int64_t>(sizeof(PreferencesBlock)) && bytes[0] == kPreferencesFormatMark;
  if (usable) {
    std::memcpy(scratch.get(), bytes.data(), sizeof(PreferencesBlock));
    Sanitize(*scratch);
  }
  {
    std::lock_guard lock(stateMutex_);
    if (usable) {
      std::memcpy(prefs_.get(), scratch.get(), sizeof(PreferencesBlock));
    } else {
      ApplyDefaults(*prefs_);
    }
  }
  // While this program runs, vqxctl can tell that the file is in use.
  services_.files.HoldWhileRunning(kPreferencesFileName);
}

bool CAppWindow::PreferencesFileAsLastSeen() {
  std::vector<uint8_t> bytes(sizeof(PreferencesBlock) + 1);
  const int64_t read = services_.files.ReadFile(kPreferencesFileName, bytes.data(), bytes.size());
  if (read < 0) return true;  // gone or unreadable: the save tells what fails
  return read == prefsFileLength_ && HashOf(bytes.data(), static_cast<size_t>(read)) == prefsFileHash_;
}

CAppWindow::FileSync CAppWindow::SyncWithPreferencesFile(MessageOwner owner) {
  std::vector<uint8_t> bytes(sizeof(PreferencesBlock) + 1);
  const int64_t read = services_.files.ReadFile(kPreferencesFileName, bytes.data(), bytes.size());
  // A file gone or unreadable is no other program's content: the save tells what fails.
  if (read < 0) return FileSync::Unchanged;
  if (read == prefsFileLength_ && HashOf(bytes.data(), static_cast<size_t>(read)) == prefsFileHash_) {
    return FileSync::Unchanged;
  }
  RememberPreferencesFile(bytes.data(), read);  // asked once per change, whatever the answer
  // Only a preferences file can be loaded; anything else is overwritten as before.
  if (read != static_cast<int64_t>(sizeof(PreferencesBlock)) || bytes[0] != kPreferencesFormatMark) {
    return FileSync::KeptOwn;
  }
  if (surface_.ShowMessageBox(owner, kChangedOnDiskText, kProgramCaption, MessageIcon::Warning,
                              MessageButtons::YesNo) != kAnswerYes) {
    return FileSync::KeptOwn;
  }
  auto file = std::make_unique<PreferencesBlock>();
  std::memcpy(file.get(), bytes.data(), sizeof(PreferencesBlock));
  Sanitize(*file);
  {
    // The line settings and the view stay this window's: they are in use now.
    std::lock_guard lock(stateMutex_);
    std::memcpy(prefs_->connectionAddresses, file->connectionAddresses, sizeof(file->connectionAddresses));
    std::memcpy(prefs_->connectionDescriptions, file->connectionDescriptions, sizeof(file->connectionDescriptions));
    prefs_->connectionCount = file->connectionCount;
    std::memcpy(prefs_->history, file->history, sizeof(file->history));
    prefs_->historyCount = file->historyCount;
  }
  RefillHistoryList();
  return FileSync::Reloaded;
}

bool CAppWindow::SavePreferences(MessageOwner owner, const char* consequence) {
  const char* const outcome =
      consequence != nullptr ? consequence
                             : "The change is kept in this window and is saved with the next save that succeeds.";
  SyncWithPreferencesFile(owner);
  // From here until the new file is in place no other program may change it. The
  // question above is asked without that right: the user may take their time.
  const ChangeLockResult change =
      services_.files.LockForChange(kPreferencesFileName, kPreferencesProgramName, kPreferencesLockWaitMs);
  if (!change) {
    const std::string text = "The preferences could not be saved in VQXSU_Prefs.cfg: " +
                             (change.holder.empty() ? std::string("another program") : change.holder) +
                             " is changing it and did not finish within " +
                             std::to_string(kPreferencesLockWaitMs / 1000) + " seconds.\r" + outcome;
    ShowBox(owner, text.c_str(), MessageIcon::Warning);
    return false;
  }
  if (!PreferencesFileAsLastSeen()) {
    // Saved by another program after the question: writing now would lose that change.
    // The next save asks about it.
    const std::string text =
        std::string("VQXSU_Prefs.cfg was changed by another program just now; this window's change was not "
                    "written over it.\r") +
        outcome;
    ShowBox(owner, text.c_str(), MessageIcon::Warning);
    return false;
  }
  auto copy = std::make_unique<PreferencesBlock>();
  {
    std::lock_guard lock(stateMutex_);
    std::memcpy(copy.get(), prefs_.get(), sizeof(PreferencesBlock));
  }
  // The store writes a temporary file and renames it over the old one, so a failed
  // save leaves the previous preferences in place. A new file is the user's alone: it
  // holds every History entry's web password.
  const FileResult result = services_.files.ReplaceFile(kPreferencesFileName, copy.get(), sizeof(PreferencesBlock),
                                                        NewFileAccess::OwnerOnly);
  if (result) {
    RememberPreferencesFile(copy.get(), static_cast<int64_t>(sizeof(PreferencesBlock)));
    return true;
  }
  const std::string text =
      std::string("The preferences could not be saved in VQXSU_Prefs.cfg: ") + DescribeFileProblem(result) + ".\r" +
      outcome;
  ShowBox(owner, text.c_str(), MessageIcon::Warning);
  return false;
}

}  // namespace vqx
