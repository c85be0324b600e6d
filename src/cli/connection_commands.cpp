#include "connection_commands.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>

#include "connection_book.h"
#include "exit_codes.h"
#include "prefs_change.h"
#include "system_port.h"
#include "terminal_text.h"
#include "text_codec.h"

namespace vqx::cli {

namespace {

// The file, refused when it is no preferences file or its list count is out of bounds.
std::unique_ptr<PreferencesBlock> LoadList(IFileStore& store, const std::string& name, const std::string& path,
                                           CliEnvironment& env) {
  std::string error;
  auto block = snapshot::LoadPreferences(store, name, &error);
  if (block && (block->connectionCount < 0 || block->connectionCount > kRemoteConnectionCapacity)) {
    error = "damaged: the remote connection count is " + std::to_string(block->connectionCount) + ", outside 0.." +
            std::to_string(kRemoteConnectionCapacity);
    block.reset();
  }
  if (!block) env.err << "vqxctl: " << path << ": " << error << "\n";
  return block;
}

std::unique_ptr<PreferencesBlock> LoadList(const std::string& path, CliEnvironment& env) {
  PrefsFile file = OpenPrefs(path);
  return LoadList(*file.store, file.name, path, env);
}

// The right to change the list, from the read to the rename; null after saying why not.
std::unique_ptr<PrefsChange> BeginChange(const std::string& path, CliEnvironment& env) {
  return PrefsChange::Begin(path, "use File, Remote Connections...", "Nothing was changed.", env.err);
}

// Writes the changed block back (atomic: a temporary file renamed over it).
int SaveList(PrefsChange& change, const std::string& path, const PreferencesBlock& block, CliEnvironment& env) {
  const FileResult written =
      change.Store().ReplaceFile(change.Name().c_str(), &block, sizeof(PreferencesBlock), NewFileAccess::OwnerOnly);
  if (!written) {
    env.err << "vqxctl: " << path << ": could not be written: " << DescribeFileProblem(written)
            << "; the file is unchanged\n";
    return kExitFileError;
  }
  return kExitOk;
}

int Usage(CliEnvironment& env, const std::string& text) {
  env.err << "vqxctl: " << text << "\nRun 'vqxctl connections --help' for the commands and their options.\n";
  return kExitUsage;
}

// A text for the terminal: control bytes escaped, the single-byte text shown as UTF-8.
std::string Shown(const std::string& bytes) { return snapshot::detail::BytesToUtf8(Visible(bytes)); }

// A description typed on the command line (UTF-8) as the file holds it.
std::optional<std::string> DescriptionArgument(const std::string& utf8, CliEnvironment& env) {
  std::string why;
  std::optional<std::string> bytes = snapshot::detail::Utf8ToBytes(utf8, &why);
  if (bytes && CheckConnectionDescription(*bytes, &why)) return bytes;
  Usage(env, "description: " + why);
  return std::nullopt;
}

std::optional<Ipv4> AddressArgument(const std::string& text, CliEnvironment& env) {
  std::string why;
  std::optional<Ipv4> address = ParseConnectionAddress(text, &why);
  if (!address) Usage(env, why);
  return address;
}

void WarnDuplicate(const PreferencesBlock& block, const Ipv4& address, int32_t except, CliEnvironment& env) {
  const std::string warning = DuplicateAddressWarning(block, address, except);
  if (!warning.empty()) env.err << "vqxctl: warning: " << Shown(warning) << "\n";
}

std::string Entries(int32_t count) { return std::to_string(count) + (count == 1 ? " entry" : " entries"); }

int FindOrRefuse(const PreferencesBlock& block, const std::string& path, const Ipv4& address, CliEnvironment& env) {
  const int32_t index = FindConnectionByAddress(block, address);
  if (index < 0) {
    env.err << "vqxctl: " << path << ": the remote connection list has no entry for " << FormatConnectionAddress(address)
            << "\n";
  }
  return index;
}

// The list taken for a change and the entry for an address in it.
struct EntryChange {
  std::unique_ptr<PrefsChange> change;
  std::unique_ptr<PreferencesBlock> block;
  int32_t index = -1;
};

// Takes the right to change the list and finds the entry for address: kExitOk, or the
// exit code after telling why.
int BeginEntryChange(const std::string& prefs, const Ipv4& address, EntryChange& out, CliEnvironment& env) {
  out.change = BeginChange(prefs, env);
  if (!out.change) return kExitFileError;
  out.block = LoadList(out.change->Store(), out.change->Name(), prefs, env);
  if (!out.block) return kExitBadInput;
  out.index = FindOrRefuse(*out.block, prefs, address, env);
  return out.index < 0 ? kExitBadInput : kExitOk;
}

}  // namespace

int RunConnectionsList(const std::string& prefs, const std::string& format, CliEnvironment& env) {
  const auto block = LoadList(prefs, env);
  if (!block) return kExitBadInput;
  if (format == "json") {
    env.out << snapshot::ConnectionsToJson(*block);
    return kExitOk;
  }
  const std::vector<RemoteConnection> list = ConnectionsOf(*block);
  if (list.empty()) env.err << "The remote connection list is empty.\n";
  for (size_t i = 0; i < list.size(); ++i) {
    std::string address = Shown(list[i].address);
    if (address.size() < 15) address.resize(15, ' ');
    env.out << address << "  " << Shown(list[i].description) << "\n";
    const auto index = static_cast<int32_t>(i);
    const std::optional<Ipv4> parsed = StoredConnectionAddress(*block, index);
    if (!parsed) {
      env.err << "vqxctl: note: entry " << i + 1 << " is not an IP address and never names a unit\n";
    } else if (const int32_t first = FindConnectionByAddress(*block, *parsed); first < index) {
      env.err << "vqxctl: note: entry " << i + 1 << " is never used: entry " << first + 1 << " has the same address\n";
    }
  }
  return kExitOk;
}

int RunConnectionsAdd(const std::string& prefs, const std::string& address, const std::string& description,
                      CliEnvironment& env) {
  const std::optional<Ipv4> parsed = AddressArgument(address, env);
  if (!parsed) return kExitUsage;
  const std::optional<std::string> text = DescriptionArgument(description, env);
  if (!text) return kExitUsage;
  const std::unique_ptr<PrefsChange> change = BeginChange(prefs, env);
  if (!change) return kExitFileError;
  const auto block = LoadList(change->Store(), change->Name(), prefs, env);
  if (!block) return kExitBadInput;
  std::string error;
  if (!AddConnection(*block, *parsed, *text, &error)) {
    env.err << "vqxctl: " << prefs << ": " << error << "\n";
    return kExitBadInput;
  }
  WarnDuplicate(*block, *parsed, block->connectionCount - 1, env);
  const int written = SaveList(*change, prefs, *block, env);
  if (written != kExitOk) return written;
  env.out << "Added " << FormatConnectionAddress(*parsed) << " \"" << Shown(*text) << "\"; the list holds "
          << Entries(block->connectionCount) << ".\n";
  return kExitOk;
}

int RunConnectionsEdit(const std::string& prefs, const std::string& address, const std::optional<std::string>& newAddress,
                       const std::optional<std::string>& newDescription, CliEnvironment& env) {
  if (!newAddress && !newDescription) return Usage(env, "connections edit needs --address NEW or --description TEXT");
  const std::optional<Ipv4> parsed = AddressArgument(address, env);
  if (!parsed) return kExitUsage;
  std::optional<Ipv4> changedAddress;
  if (newAddress && !(changedAddress = AddressArgument(*newAddress, env))) return kExitUsage;
  std::optional<std::string> changedDescription;
  if (newDescription && !(changedDescription = DescriptionArgument(*newDescription, env))) return kExitUsage;
  EntryChange found;
  if (const int refused = BeginEntryChange(prefs, *parsed, found, env); refused != kExitOk) return refused;
  const RemoteConnection entry = ConnectionsOf(*found.block)[static_cast<size_t>(found.index)];
  const Ipv4 finalAddress = changedAddress.value_or(*parsed);
  const std::string finalDescription = changedDescription.value_or(entry.description);
  std::string error;
  if (!EditConnection(*found.block, found.index, finalAddress, finalDescription, &error)) {
    env.err << "vqxctl: " << prefs << ": " << error << "\n";
    return kExitBadInput;
  }
  WarnDuplicate(*found.block, finalAddress, found.index, env);
  const int written = SaveList(*found.change, prefs, *found.block, env);
  if (written != kExitOk) return written;
  env.out << "Entry " << found.index + 1 << " is now " << FormatConnectionAddress(finalAddress) << " \""
          << Shown(finalDescription) << "\".\n";
  return kExitOk;
}

int RunConnectionsRemove(const std::string& prefs, const std::string& address, CliEnvironment& env) {
  const std::optional<Ipv4> parsed = AddressArgument(address, env);
  if (!parsed) return kExitUsage;
  EntryChange found;
  if (const int refused = BeginEntryChange(prefs, *parsed, found, env); refused != kExitOk) return refused;
  const RemoteConnection entry = ConnectionsOf(*found.block)[static_cast<size_t>(found.index)];
  RemoveConnection(*found.block, found.index);
  const int written = SaveList(*found.change, prefs, *found.block, env);
  if (written != kExitOk) return written;
  env.out << "Removed " << FormatConnectionAddress(*parsed) << " \"" << Shown(entry.description)
          << "\"; the list holds " << Entries(found.block->connectionCount) << ".\n";
  if (FindConnectionByAddress(*found.block, *parsed) >= 0) {
    env.err << "vqxctl: note: another entry for " << FormatConnectionAddress(*parsed)
            << " remains and now names the unit\n";
  }
  return kExitOk;
}

int RunConnectionsImport(const std::string& prefs, const std::string& input, const std::string& format,
                         bool allowEmpty, CliEnvironment& env) {
  std::string kind = format;
  if (kind.empty()) {
    const std::string extension = TextOfPath(PathFromText(input).extension());
    if (extension == ".json" || extension == ".JSON") kind = "json";
    if (extension == ".csv" || extension == ".CSV") kind = "csv";
    if (kind.empty()) return Usage(env, "give --format json or --format csv for " + input);
  }
  std::string text;
  std::string error;
  if (!snapshot::ReadTextFile(input, &text, &error, "an address book")) {
    env.err << "vqxctl: " << VisibleMessage(error) << "\n";
    return kExitBadInput;
  }
  // The message may quote the file's cells and keys: escaped for the terminal.
  const auto rows = kind == "csv" ? snapshot::ConnectionsFromCsv(text, &error) : snapshot::ConnectionsFromJson(text, &error);
  if (!rows) {
    env.err << "vqxctl: " << VisibleMessage(input + ": " + error) << "\nvqxctl: nothing was imported\n";
    return kExitBadInput;
  }
  // The rows are checked; the file's text is no longer needed while the list is written.
  std::string().swap(text);
  const std::unique_ptr<PrefsChange> change = BeginChange(prefs, env);
  if (!change) return kExitFileError;
  const auto block = LoadList(change->Store(), change->Name(), prefs, env);
  if (!block) return kExitBadInput;
  std::vector<std::pair<Ipv4, std::string>> entries;
  for (const snapshot::ConnectionRow& row : *rows) entries.emplace_back(row.address, row.description);
  const int32_t before = ConnectionCount(*block);
  // An empty book (a truncated download, a file of blank lines) would wipe the list
  // without a word: only on request.
  if (rows->empty() && before > 0 && !allowEmpty) {
    env.err << "vqxctl: " << VisibleMessage(input) << ": holds no entries; importing it would empty the list of "
            << Entries(before) << ". Give --allow-empty to do that.\nvqxctl: nothing was imported\n";
    return kExitBadInput;
  }
  if (!ReplaceConnections(*block, entries, &error)) {
    env.err << "vqxctl: " << VisibleMessage(input + ": " + error) << "\nvqxctl: nothing was imported\n";
    return kExitBadInput;
  }
  for (const std::string& warning : snapshot::DuplicateRowWarnings(*rows)) {
    env.err << "vqxctl: warning: " << VisibleMessage(input + ": " + warning) << "\n";
  }
  const int written = SaveList(*change, prefs, *block, env);
  if (written != kExitOk) return written;
  env.out << "Imported " << Entries(static_cast<int32_t>(rows->size())) << "; they replace the " << Entries(before)
          << " the list held.\n";
  return kExitOk;
}

int RunConnectionsExport(const std::string& prefs, const std::string& format, const std::string& output,
                         CliEnvironment& env) {
  const auto block = LoadList(prefs, env);
  if (!block) return kExitBadInput;
  const std::string text = format == "csv" ? snapshot::ConnectionsToCsv(*block) : snapshot::ConnectionsToJson(*block);
  return WriteOutput(output, text, env) ? kExitOk : kExitFileError;
}

ConnectionCommands::ConnectionCommands(CLI::App& app) {
  connections_ = app.add_subcommand("connections", "the remote connection list of the desktop program's preferences "
                                                   "file: the names the status panel shows for a unit's peer");
  connections_->require_subcommand(1);
  list_ = connections_->add_subcommand("list", "print one entry a line: the address, then the description");
  list_->add_option("--format", format_, "text (default) or json")->check(CLI::IsMember({"text", "json"}));
  add_ = connections_->add_subcommand("add", "append an entry");
  add_->add_option("address", address_, "IP address, e.g. 10.0.0.5")->required();
  add_->add_option("description", description_, "the name to show, one line of at most 63 characters")->required();
  edit_ = connections_->add_subcommand("edit", "change the first entry of ADDRESS (the one that is used)");
  edit_->add_option("address", address_, "IP address of the entry")->required();
  edit_->add_option("--address", newAddress_, "its new IP address");
  edit_->add_option("--description", newDescription_, "its new description");
  remove_ = connections_->add_subcommand("remove", "remove the first entry of ADDRESS (the one that is used)");
  remove_->add_option("address", address_, "IP address of the entry")->required();
  import_ = connections_->add_subcommand(
      "import", "replace the list with a JSON or CSV file (as export writes it); any bad row refuses the whole file");
  import_->add_option("file", file_, "the file, or - for standard input")->required();
  import_->add_option("--format", format_, "json or csv (default: from the file name)")
      ->check(CLI::IsMember({"json", "csv"}));
  import_->add_flag("--allow-empty", allowEmpty_, "let a file without entries empty a list that holds some");
  export_ = connections_->add_subcommand("export", "write the list as JSON or CSV");
  export_->add_option("--format", format_, "json (default) or csv")->check(CLI::IsMember({"json", "csv"}));
  export_->add_option("--output,-o", output_, "file to write (default: standard output)");
  for (CLI::App* sub : {list_, add_, edit_, remove_, import_, export_}) {
    sub->add_option("--prefs", prefs_, "the preferences file (VQXSU_Prefs.cfg)")->required();
  }
}

bool ConnectionCommands::Parsed() const { return connections_->parsed(); }

int ConnectionCommands::Run(CliEnvironment& env) {
  if (list_->parsed()) return RunConnectionsList(prefs_, format_ == "json" ? "json" : "text", env);
  if (add_->parsed()) return RunConnectionsAdd(prefs_, address_, description_, env);
  if (edit_->parsed()) return RunConnectionsEdit(prefs_, address_, newAddress_, newDescription_, env);
  if (remove_->parsed()) return RunConnectionsRemove(prefs_, address_, env);
  if (import_->parsed()) return RunConnectionsImport(prefs_, file_, format_, allowEmpty_, env);
  if (export_->parsed()) return RunConnectionsExport(prefs_, format_ == "csv" ? "csv" : "json", output_, env);
  return Usage(env, "no connections command given");
}

}  // namespace vqx::cli
