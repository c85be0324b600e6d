#pragma once

// vqxctl connections list|add|edit|remove|import|export --prefs FILE: the remote
// connection list of the desktop program's preferences file, edited offline with the
// checks of the desktop dialogs.

#include <optional>
#include <string>

#include "commands.h"

namespace CLI {
class App;
}

namespace vqx::cli {

class ConnectionCommands {
 public:
  // Adds the "connections" command and its subcommands to app.
  explicit ConnectionCommands(CLI::App& app);
  bool Parsed() const;
  int Run(CliEnvironment& env);

 private:
  CLI::App* connections_ = nullptr;
  CLI::App* list_ = nullptr;
  CLI::App* add_ = nullptr;
  CLI::App* edit_ = nullptr;
  CLI::App* remove_ = nullptr;
  CLI::App* import_ = nullptr;
  CLI::App* export_ = nullptr;
  std::string prefs_;
  std::string format_;
  std::string address_;
  std::string description_;
  std::optional<std::string> newAddress_;
  std::optional<std::string> newDescription_;
  std::string file_;
  std::string output_;
  bool allowEmpty_ = false;
};

int RunConnectionsList(const std::string& prefs, const std::string& format, CliEnvironment& env);
int RunConnectionsAdd(const std::string& prefs, const std::string& address, const std::string& description,
                      CliEnvironment& env);
int RunConnectionsEdit(const std::string& prefs, const std::string& address, const std::optional<std::string>& newAddress,
                       const std::optional<std::string>& newDescription, CliEnvironment& env);
int RunConnectionsRemove(const std::string& prefs, const std::string& address, CliEnvironment& env);
// format "json", "csv", or empty: from the file name's extension. A file without entries
// empties a list that holds some only with allowEmpty.
int RunConnectionsImport(const std::string& prefs, const std::string& input, const std::string& format,
                         bool allowEmpty, CliEnvironment& env);
int RunConnectionsExport(const std::string& prefs, const std::string& format, const std::string& output,
                         CliEnvironment& env);

}  // namespace vqx::cli
