#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "app/text_fields.h"
#include "window/control_ids.h"

namespace vqx {

namespace {

constexpr const char* kHistoryReportFileName = "History.txt";
constexpr size_t kSerialNumberMaxLength = 10;

struct UtcTime {
  int64_t year;
  int month;    // 1..12
  int day;      // 1..31
  int weekday;  // 0 Sunday .. 6 Saturday
  int hour, minute, second;
};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

// The proleptic Gregorian calendar, counted from the epoch (a Thursday); the eras of
// 400 years make the arithmetic exact for any date.
UtcTime BreakDownUtc(int64_t secondsSinceEpoch) {
  UtcTime t{};
  const int64_t days = FloorDiv(secondsSinceEpoch, 86400);
  const int64_t secondsOfDay = secondsSinceEpoch - days * 86400;
  t.hour = static_cast<int>(secondsOfDay / 3600);
  t.minute = static_cast<int>(secondsOfDay / 60 % 60);
  t.second = static_cast<int>(secondsOfDay % 60);
  t.weekday = static_cast<int>(days + 4 - FloorDiv(days + 4, 7) * 7);

  const int64_t shifted = days + 719468;  // days since 0000-03-01
  const int64_t era = FloorDiv(shifted, 146097);
  const int64_t dayOfEra = shifted - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  t.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  t.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  t.year = yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0);
  return t;
}

// "VQX-2 Comm Www Mmm DD hh=mm=ss YYYY.txt": the time as "Www Mmm DD hh:mm:ss YYYY",
// with '=' for ':' so that the name is valid everywhere.
std::string CommunicationLogName(int64_t utcSeconds) {
  static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const UtcTime t = BreakDownUtc(utcSeconds);
  char name[96];
  std::snprintf(name, sizeof(name), "VQX-2 Comm %s %s %02d %02d=%02d=%02d %04lld.txt",
                kWeekdays[t.weekday], kMonths[t.month - 1], t.day, t.hour, t.minute, t.second,
                static_cast<long long>(t.year));
  return name;
}

// "%s %s (%d.%d.%d.%d:%d)": serial number, name, address and VoIP port. The texts may
// come from a file, so they are read no further than their fields.
std::string HistoryLine(const DeviceSettings& s) {
  char line[160];
  std::snprintf(line, sizeof(line), "%.*s %.*s (%d.%d.%d.%d:%d)",
                static_cast<int>(FieldLength(s.serialNumber)), s.serialNumber,
                static_cast<int>(FieldLength(s.name)), s.name, s.ipAddress[0], s.ipAddress[1],
                s.ipAddress[2], s.ipAddress[3], s.voipPort);
  return line;
}

}  // namespace

void CAppWindow::SaveCommunication() {
  const std::string name = CommunicationLogName(services_.wallClock.UtcSecondsNow());
  const std::string log = GetOutputLog();  // as it was at the moment of the click
  const FileResult saved = services_.files.ReplaceFile(name.c_str(), log.data(), log.size());
  if (!saved) {
    const std::string text = "Error opening file\r" + name + ": " + DescribeFileProblem(saved);
    ShowBox(MessageOwner::MainWindow, text.c_str(), MessageIcon::Warning);
    return;
  }
  const std::string text = "Communication saved in file:\r" + name;
  ShowBox(MessageOwner::MainWindow, text.c_str(), MessageIcon::None);
}

void CAppWindow::AddCurrentToHistory() {
  if (prefs_->historyCount >= kHistoryCapacity) {
    ShowBox(MessageOwner::MainWindow, "The history list is already full", MessageIcon::Warning);
    return;
  }
  // An import by another program since the load comes first, so the entry goes after it.
  if (SyncWithPreferencesFile(MessageOwner::MainWindow) == FileSync::Reloaded &&
      prefs_->historyCount >= kHistoryCapacity) {
    ShowBox(MessageOwner::MainWindow, "The history list is already full", MessageIcon::Warning);
    return;
  }
  char serial[kSerialNumberMaxLength + 1]{};
  surface_.GetText(ids::kSerialNumberEntry, serial, sizeof(serial));

  DeviceSettings entry;
  {
    std::lock_guard lock(stateMutex_);
    std::memset(currentSettings_.serialNumber, 0, sizeof(currentSettings_.serialNumber));
    std::memcpy(currentSettings_.serialNumber, serial, strnlen(serial, kSerialNumberMaxLength));
    entry = currentSettings_;
  }
  surface_.AddItem(ids::kHistoryList, HistoryLine(entry).c_str());
  const int32_t count = prefs_->historyCount;
  {
    std::lock_guard lock(stateMutex_);
    prefs_->history[static_cast<size_t>(count)] = entry;
    prefs_->historyCount = count + 1;
  }
  // The list shows what the file holds: an entry that could not be saved is taken back.
  if (!SavePreferences(MessageOwner::MainWindow, "The entry was not added.")) {
    surface_.DeleteItem(ids::kHistoryList, count + 1);
    std::lock_guard lock(stateMutex_);
    // Not in the list, so not in the next save's bytes either (it holds a password).
    std::memset(&prefs_->history[static_cast<size_t>(count)], 0, sizeof(DeviceSettings));
    prefs_->historyCount = count;
  }
}

void CAppWindow::RemoveHistoryEntry() {
  const int selection = surface_.CurrentSelection(ids::kHistoryList);
  if (selection <= 0 || selection > prefs_->historyCount) return;  // "(All)", nothing, or a line the list does not hold
  // After a reload the selected line may stand for another entry: the user selects again.
  if (SyncWithPreferencesFile(MessageOwner::MainWindow) == FileSync::Reloaded) return;

  const int32_t count = prefs_->historyCount;
  const auto removedSlot = static_cast<size_t>(selection - 1);
  const auto lastSlot = static_cast<size_t>(count - 1);
  // Both kept for a failed save: the freed last slot is zeroed before the save.
  const DeviceSettings removed = prefs_->history[removedSlot];
  const DeviceSettings last = prefs_->history[lastSlot];
  {
    std::lock_guard lock(stateMutex_);
    // The last entry takes the removed one's place; the others keep their order.
    prefs_->history[removedSlot] = last;
    // Every entry holds the unit's web password: a slot past the count must not keep it
    // in the file.
    std::memset(&prefs_->history[lastSlot], 0, sizeof(DeviceSettings));
    prefs_->historyCount = count - 1;
  }
  if (count == 1) {
    surface_.DeleteItem(ids::kHistoryList, 1);
  } else {
    RefillHistoryList();
  }
  // Saved at once: a removal that waited for another save came back after a restart.
  if (!SavePreferences(MessageOwner::MainWindow, "The entry was not removed.")) {
    {
      std::lock_guard lock(stateMutex_);
      prefs_->history[lastSlot] = last;
      prefs_->history[removedSlot] = removed;
      prefs_->historyCount = count;
    }
    RefillHistoryList();
    return;
  }
  // The pane showed the removed entry (alone, or among all of them): removed means gone
  // from the window too, and the refilled list has nothing selected.
  surface_.SetText(ids::kReportPane, "");
}

void CAppWindow::RefillHistoryList() {
  while (surface_.DeleteItem(ids::kHistoryList, 0) > 0) {
  }
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(prefs_->historyCount));
  for (int32_t i = 0; i < prefs_->historyCount; ++i) lines.push_back(HistoryLine(prefs_->history[i]));

  surface_.AddItem(ids::kHistoryList, "(All)");
  for (const std::string& line : lines) surface_.AddItem(ids::kHistoryList, line.c_str());
  surface_.SetCurrentSelection(ids::kHistoryList, -1);
}

void CAppWindow::SaveHistoryReport() {
  const char* lineBreak = services_.files.TextLineBreak();
  std::string text;
  for (const std::string& line : surface_.GetLines(ids::kReportPane)) {
    text += line;
    text += lineBreak;
  }
  // The write is checked too: a full disk is reported, not claimed as saved.
  const FileResult saved = services_.files.ReplaceFile(kHistoryReportFileName, text.data(), text.size());
  if (!saved) {
    const std::string message = "Couldn't open the file History.txt\r" + DescribeFileProblem(saved);
    ShowBox(MessageOwner::MainWindow, message.c_str(), MessageIcon::Warning);
    return;
  }
  ShowBox(MessageOwner::MainWindow, "Output window saved as \"History.txt\"", MessageIcon::Information);
}

}  // namespace vqx
