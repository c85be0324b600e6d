#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "line_detection.h"
#include "snapshot.h"
#include "system_port.h"
#include "unit_session.h"

namespace vqx::cli {

// Where a command writes, and the machine services tests may replace.
struct CliEnvironment {
  std::ostream& out;
  std::ostream& err;
  std::function<std::vector<SerialPortEntry>()> listPorts = [] { return ListSerialPorts(); };
  // Set to stop a command that talks to a unit (Ctrl-C); may be null.
  const std::atomic<bool>* interrupt = nullptr;
  // out is a terminal: a file's text written there has its control characters escaped.
  bool outIsTerminal = false;
  // The columns help text is wrapped to (HelpWidth of the console's).
  size_t helpWidth = 80;
  // Where a question's answer is read; null when nobody can answer (as in tests).
  std::istream* in = nullptr;
  // in is a terminal: someone may be there to answer.
  bool inIsTerminal = false;
  // err is a terminal (fleet redraws its status lines in place there) of this many columns.
  bool errIsTerminal = false;
  size_t errColumns = 80;
  // The serial port for a port name (fleet); the system's when empty.
  std::function<std::unique_ptr<ISerialPort>(const std::string&)> openPort = nullptr;
};

// --port P (with its line settings) or --demo.
struct ConnectionArgs {
  LineOptions line;
  bool demo = false;
  bool quiet = false;
  std::optional<double> rebootWaitSeconds;  // default: the desktop program's ten seconds
  bool detect = false;                      // find the unit's line settings first
  DetectionChoice detection;
};

// A snapshot file, or entry N of the History of a preferences file.
struct SourceArgs {
  std::string file;
  int historyNumber = 0;  // 1-based; 0 when the source is a file
  std::string prefs;
};

// A snapshot ready to compare or apply, and how to name it in messages.
struct LoadedSnapshot {
  snapshot::PartialSettings partial;
  std::string label;
};

// Loads either kind of source; a refusal says what is wrong and where.
std::optional<LoadedSnapshot> LoadSnapshotSource(const SourceArgs& source, std::string* error);

int RunRead(const ConnectionArgs& connection, const std::string& format, CliEnvironment& env);
// A template for provisioning a fleet: the JSON snapshot without the unit's identity.
// password is "keep" or "drop" for the web password; empty asks on a terminal, and
// leaves it out (saying so) when nobody can answer.
int RunReadTemplate(const ConnectionArgs& connection, const std::string& password, CliEnvironment& env);
// format "json" prints one object instead of the text (ApplyReportJson in unit_commands.cpp).
int RunApply(const ConnectionArgs& connection, const SourceArgs& source, bool dryRun, CliEnvironment& env,
             const std::string& format = "text");
// Against the unit (connection given) or between two snapshots (second given).
int RunDiff(const ConnectionArgs* connection, const SourceArgs& first, const SourceArgs* second,
            const std::string& format, CliEnvironment& env);
int RunSend(const ConnectionArgs& connection, const std::vector<std::string>& lines, CliEnvironment& env);
int RunPorts(CliEnvironment& env);
// Finds the line settings of the unit on connection.line.port and returns it to
// transparent mode.
int RunDetect(const ConnectionArgs& connection, const std::string& format, CliEnvironment& env);

int RunHistoryList(const std::string& prefs, CliEnvironment& env);
// number 0 shows every entry.
int RunHistoryShow(const std::string& prefs, int number, const std::string& format, CliEnvironment& env);
int RunHistoryExport(const std::string& prefs, const std::string& format, const std::string& output,
                     CliEnvironment& env);
int RunHistoryImport(const std::string& prefs, const std::string& input, CliEnvironment& env);

// Writes text to path through the store (a temporary file renamed over it), or to out when
// path is empty or "-"; false after telling why on err.
bool WriteOutput(const std::string& path, const std::string& text, CliEnvironment& env);

// Text helpers shared by the commands.
std::string UnixLines(const std::string& crlfText);
std::string FormatDifferences(const std::vector<snapshot::FieldDifference>& differences, const std::string& leftName,
                              const std::string& rightName);

}  // namespace vqx::cli
