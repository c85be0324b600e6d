// The commands that need no unit: snapshot sources, History of a preferences file, ports.

#include <algorithm>
#include <filesystem>
#include <memory>

#include "commands.h"
#include "prefs_change.h"
#include "terminal_text.h"

namespace vqx::cli {

namespace {

using nlohmann::json;

std::unique_ptr<PreferencesBlock> LoadPrefs(const std::string& path, CliEnvironment& env) {
  PrefsFile file = OpenPrefs(path);
  std::string error;
  auto block = snapshot::LoadPreferences(*file.store, file.name, &error);
  if (!block) env.err << "vqxctl: " << path << ": " << error << "\n";
  return block;
}

}  // namespace

// Writes text to path through the store (a temporary file renamed over it), or to out;
// on a terminal with its control characters escaped (JSON has none raw).
bool WriteOutput(const std::string& path, const std::string& text, CliEnvironment& env) {
  if (path.empty() || path == "-") {
    env.out << (env.outIsTerminal ? VisibleUtf8Lines(text) : text);
    return true;
  }
  PrefsFile file = OpenPrefs(path);
  const FileResult written = file.store->ReplaceFile(file.name.c_str(), text.data(), text.size());
  if (!written) {
    env.err << "vqxctl: " << path << ": could not be written: " << DescribeFileProblem(written) << "\n";
    return false;
  }
  return true;
}

std::string UnixLines(const std::string& crlfText) {
  std::string out;
  out.reserve(crlfText.size());
  for (size_t i = 0; i < crlfText.size(); ++i) {
    if (crlfText[i] == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n') continue;
    out += crlfText[i];
  }
  return out;
}

std::string FormatDifferences(const std::vector<snapshot::FieldDifference>& differences, const std::string& leftName,
                              const std::string& rightName) {
  // The values are a unit's texts: shown with their control bytes escaped.
  std::vector<snapshot::FieldDifference> shown = differences;
  for (snapshot::FieldDifference& d : shown) {
    d.left = Visible(d.left);
    d.right = Visible(d.right);
  }
  const std::string left = Visible(leftName);
  size_t nameWidth = std::string("Setting").size();
  size_t leftWidth = left.size();
  for (const snapshot::FieldDifference& d : shown) {
    nameWidth = std::max(nameWidth, d.field.size());
    leftWidth = std::max(leftWidth, d.left.size());
  }
  auto row = [&](const std::string& a, const std::string& b, const std::string& c) {
    return a + std::string(nameWidth - a.size() + 2, ' ') + b + std::string(leftWidth - b.size() + 2, ' ') + c + "\n";
  };
  std::string out = row("Setting", left, Visible(rightName));
  for (const snapshot::FieldDifference& d : shown) out += row(d.field, d.left, d.right);
  return out;
}

std::optional<LoadedSnapshot> LoadSnapshotSource(const SourceArgs& source, std::string* error) {
  LoadedSnapshot loaded;
  if (source.historyNumber == 0) {
    std::optional<json> j = snapshot::LoadJsonFile(source.file, error);
    if (!j) return std::nullopt;
    // What `read --format json` adds besides the settings is not part of a snapshot.
    if (j->is_object()) j->erase("linkStatus");
    std::optional<snapshot::PartialSettings> partial = snapshot::FromJson(*j, error);
    if (!partial) {
      *error = source.file + ": " + *error;
      return std::nullopt;
    }
    loaded.partial = std::move(*partial);
    loaded.label = source.file;
    return loaded;
  }

  PrefsFile file = OpenPrefs(source.prefs);
  std::unique_ptr<PreferencesBlock> block = snapshot::LoadPreferences(*file.store, file.name, error);
  if (!block) {
    *error = source.prefs + ": " + *error;
    return std::nullopt;
  }
  const auto entries = snapshot::HistoryEntries(*block);
  if (source.historyNumber < 1 || static_cast<size_t>(source.historyNumber) > entries.size()) {
    *error = source.prefs + ": there is no History entry " + std::to_string(source.historyNumber) + " (it holds " +
             std::to_string(entries.size()) + ")";
    return std::nullopt;
  }
  loaded.partial.values = entries[static_cast<size_t>(source.historyNumber - 1)];
  for (std::string_view field : snapshot::FieldNames()) loaded.partial.present.emplace(field);
  loaded.label = "History entry " + std::to_string(source.historyNumber);
  return loaded;
}

int RunHistoryList(const std::string& prefs, CliEnvironment& env) {
  const auto block = LoadPrefs(prefs, env);
  if (!block) return kExitBadInput;
  const auto entries = snapshot::HistoryEntries(*block);
  if (entries.empty()) env.out << "The History is empty.\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    env.out << (i + 1) << "  " << Visible(snapshot::HistoryListLine(entries[i])) << "\n";
  }
  return kExitOk;
}

int RunHistoryShow(const std::string& prefs, int number, const std::string& format, CliEnvironment& env) {
  const auto block = LoadPrefs(prefs, env);
  if (!block) return kExitBadInput;
  std::string error;
  const std::optional<std::string> report = snapshot::HistoryReport(*block, number, &error);
  if (!report) {
    env.err << "vqxctl: " << prefs << ": " << error << "\n";
    return kExitBadInput;
  }
  if (format == "json") {
    const auto entries = snapshot::HistoryEntries(*block);
    env.out << snapshot::DumpJson(number == 0 ? snapshot::HistoryToJson(*block)
                                              : snapshot::ToJsonWithRecord(entries[static_cast<size_t>(number - 1)]));
  } else {
    env.out << VisibleLines(UnixLines(*report));
  }
  return kExitOk;
}

int RunHistoryExport(const std::string& prefs, const std::string& format, const std::string& output,
                     CliEnvironment& env) {
  const auto block = LoadPrefs(prefs, env);
  if (!block) return kExitBadInput;
  const std::string text =
      format == "csv" ? snapshot::HistoryToCsv(*block) : snapshot::DumpJson(snapshot::HistoryToJson(*block));
  return WriteOutput(output, text, env) ? kExitOk : kExitFileError;
}

int RunHistoryImport(const std::string& prefs, const std::string& input, CliEnvironment& env) {
  std::string error;
  const std::optional<json> j = snapshot::LoadJsonFile(input, &error);
  if (!j) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\n";
    return kExitBadInput;
  }
  const auto entries = snapshot::HistoryEntriesFromJson(*j, &error);
  if (!entries) {
    env.err << "vqxctl: " << VisibleMessage(input + ": " + error) << "\n";
    return kExitBadInput;
  }
  // From the read the import is added to until the new file is in place, no other
  // program changes the file; vqxsu would overwrite the import with its next save.
  const std::unique_ptr<PrefsChange> change =
      PrefsChange::Begin(prefs, "use Add Current", "Nothing was imported.", env.err);
  if (!change) return kExitFileError;
  // Everything that can be wrong with the input is found before the file is written;
  // what fails after that is the writing.
  std::unique_ptr<PreferencesBlock> block = snapshot::LoadPreferences(change->Store(), change->Name(), &error);
  if (!block) {
    env.err << "vqxctl: " << prefs << ": " << error << "\n";
    return kExitBadInput;
  }
  if (!snapshot::AppendHistory(*block, *entries, &error)) {
    env.err << "vqxctl: " << prefs << ": " << error << "\n";
    return kExitBadInput;
  }
  int imported = 0;
  if (!snapshot::ImportHistory(change->Store(), change->Name(), *j, &error, &imported)) {
    env.err << "vqxctl: " << prefs << ": " << error << "\n";
    return kExitFileError;
  }
  env.out << "Imported " << imported << (imported == 1 ? " entry" : " entries") << "; the History now holds "
          << block->historyCount << ".\n";
  return kExitOk;
}

// Units behind a serial server are reached by URL; no survey can find those servers.
constexpr const char* kNetworkPortsNote =
    "Ports of serial device servers (rfc2217://HOST:PORT, socket://HOST:PORT) cannot be listed; name one with "
    "--port.\n";

int RunPorts(CliEnvironment& env) {
  const std::vector<SerialPortEntry> ports = env.listPorts();
  if (ports.empty()) {
    env.out << "No serial ports found.\n" << kNetworkPortsNote;
    return kExitOk;
  }
  for (const SerialPortEntry& port : ports) {
    env.out << port.device << ": " << (port.canOpen ? "can be opened" : "cannot be opened") << "\n";
    for (const std::string& name : port.stableNames) env.out << "    stable name: " << name << "\n";
    if (!port.problem.empty()) env.out << "    " << port.problem << "\n";
    if (!port.note.empty()) env.out << "    " << port.note << "\n";
  }
  env.out << kNetworkPortsNote;
  return kExitOk;
}

}  // namespace vqx::cli
