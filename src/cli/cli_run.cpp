#include "cli_run.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>

#include "connection_commands.h"
#include "fleet.h"
#include "help_text.h"
#include "preferences_path.h"
#include "system_port.h"
#include "vqx_version.h"

namespace vqx::cli {

namespace {

constexpr const char* kExitCodeHelp =
    "Exit codes:\n"
    "  0  success (diff: no differences)\n"
    "  1  diff: the two sides differ\n"
    "  2  the command line is wrong\n"
    "  3  the serial port could not be opened (the message says why: busy, permission, missing)\n"
    "  4  the VQX-2 is not responding\n"
    "  5  the VQX-2 did not take a setting, or a command could not be sent\n"
    "  6  an input file is damaged or asks for a value that cannot be set\n"
    "  7  an output file or the preferences file could not be written\n"
    "  8  the VQX-2 did not confirm TRAN and may still be in command mode (it then passes no serial data); "
    "this replaces any other code but 3\n"
    "  9  vqxctl itself failed (out of memory, or a fault to report); the message says what\n"
    "  10  fleet: some units were not provisioned; the summary says which\n"
    "  129  hung up (the terminal or ssh session was closed, SIGHUP); the unit was returned to transparent "
    "mode first\n"
    "  130  interrupted (Ctrl-C, SIGTERM); the unit was returned to transparent mode first\n"
    "\n"
    "Progress goes to standard error (--quiet silences it); results to standard output.\n";

struct Parsed {
  ConnectionArgs connection;
  std::string format = "text";
  std::vector<std::string> files;
  SourceArgs source;
  bool dryRun = false;
  std::vector<std::string> lines;
  std::string prefs;
  std::string showWhich = "all";
  std::string output;
  std::string input;
  std::optional<double> rebootWait;
  FleetArgs fleet;
  size_t jobs = 0;
  bool asTemplate = false;
  std::string password;  // keep or drop, with --template
};

// Seconds 0..600. "nan" and "inf" convert to doubles that a range check lets through
// (every comparison with NaN is false), so the text itself is checked.
CLI::Validator RebootWaitSeconds() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        size_t used = 0;
        double value = 0;
        try {
          value = std::stod(text, &used);
        } catch (const std::exception&) {
          used = 0;
        }
        if (used == 0 || used != text.size() || !std::isfinite(value) || value < 0 || value > 600) {
          return "takes seconds from 0 to 600, not \"" + text + "\"";
        }
        return {};
      },
      "SECONDS 0..600");
}

// The tries of a detection, narrowed.
void AddDetectionOptions(CLI::App* command, Parsed& p) {
  command->add_option("--rates", p.connection.detection.rates,
                      "detection: only these rates, e.g. 9600,57600 (default: all nine, 9600 first)")
      ->delimiter(',');
  command->add_option("--framings", p.connection.detection.framings,
                      "detection: only these framings, e.g. 8N1,7E1 (default 8N1,7E1,7O1,8E1,8O1,7N1)")
      ->delimiter(',');
}

void AddConnectionOptions(CLI::App* command, Parsed& p) {
  auto* port = command->add_option("--port,-p", p.connection.line.port,
                                   "serial port of the unit: /dev/ttyUSB0, /dev/serial/by-id/..., COM1, ttyS0, "
                                   "or behind a serial server rfc2217://HOST:PORT, socket://HOST:PORT");
  auto* demo = command->add_flag("--demo", p.connection.demo, "talk to a simulated VQX-2 started in this process");
  port->excludes(demo);
  demo->excludes(port);
  command->add_option("--baud", p.connection.line.baudRate, "host baud rate (default 9600)")
      ->check(CLI::IsMember({300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}));
  command->add_option("--data-bits", p.connection.line.dataBits, "host data bits, 7 or 8 (default 8)")
      ->check(CLI::IsMember({7, 8}));
  command->add_option("--stop-bits", p.connection.line.stopBits, "host stop bits, 1 or 2 (default 1)")
      ->check(CLI::IsMember({1, 2}));
  command->add_option("--parity", p.connection.line.parity, "host parity N, E or O (default N)")
      ->check(CLI::IsMember({'N', 'E', 'O'}));
  command->add_flag("--detect", p.connection.detect,
                    "find the unit's line settings first (they replace --baud and the others)");
  AddDetectionOptions(command, p);
}

void AddSourceOptions(CLI::App* command, Parsed& p) {
  command->add_option("--history", p.source.historyNumber, "use entry N of the History of --prefs FILE")
      ->check(CLI::PositiveNumber);
  command->add_option("--prefs", p.source.prefs, "the desktop program's preferences file (VQXSU_Prefs.cfg)");
}

// Exactly one snapshot source: a file, or --history N with --prefs.
bool PickSource(Parsed& p, size_t filesWanted, std::string* error) {
  const bool history = p.source.historyNumber != 0;
  if (history && p.source.prefs.empty()) {
    *error = "--history needs --prefs FILE";
    return false;
  }
  if (!history && !p.source.prefs.empty()) {
    *error = "--prefs needs --history N";
    return false;
  }
  if (history) {
    if (!p.files.empty()) {
      *error = "give either a snapshot file or --history N --prefs FILE, not both";
      return false;
    }
    return true;
  }
  if (p.files.size() != filesWanted) {
    *error = filesWanted == 1 ? "give one snapshot file, or --history N --prefs FILE"
                              : "give two snapshot files";
    return false;
  }
  p.source.file = p.files[0];
  return true;
}

bool NeedsUnit(const Parsed& p, std::string* error) {
  if (p.connection.demo || !p.connection.line.port.empty()) return true;
  *error = "give --port PORT (or --demo)";
  return false;
}

}  // namespace

namespace {

int Dispatch(const std::vector<std::string>& args, CliEnvironment& env) {
  CLI::App app("vqxctl: read, provision and back up VQX-2 units from the command line.", "vqxctl");
  // Before the subcommands: each takes its parent's footer as it is made.
  app.footer(std::string(kExitCodeHelp) + ManualPointer());
  app.set_version_flag("--version", "vqxctl " VQX_VERSION " - VQX Setup Utility " VQX_VERSION_LINE,
                       "print the version and exit");
  app.require_subcommand(1);
  app.fallthrough();
  Parsed p;
  app.add_flag("--quiet,-q", p.connection.quiet, "no progress on standard error");

  CLI::App* read = app.add_subcommand(
      "read", "read every setting and the link status of the unit, or (--template) what a fleet of units shares");
  AddConnectionOptions(read, p);
  CLI::Option* readFormat = read->add_option("--format", p.format, "text (the settings report) or json")
                                ->check(CLI::IsMember({"text", "json"}));
  read->add_flag("--template", p.asTemplate,
                 "print a template for provisioning a fleet: the JSON snapshot without name, ipAddress, macAddress, "
                 "serialNumber, firmwareVersion, dhcp and the link status");
  CLI::Option* password =
      read->add_option("--password", p.password,
                       "with --template: keep or drop the web password (default: ask when standard input is a "
                       "terminal, else drop it and say so)")
          // "keep|drop" rather than TEXT:{keep,drop}: a label that long runs into its text.
          ->check(CLI::IsMember({"keep", "drop"}).description(""))
          ->type_name("keep|drop");

  CLI::App* apply = app.add_subcommand(
      "apply", "set the unit to a snapshot (fields absent from it are left alone), save, and verify after the reboot");
  AddConnectionOptions(apply, p);
  AddSourceOptions(apply, p);
  apply->add_option("file", p.files, "snapshot JSON file");
  apply->add_flag("--dry-run", p.dryRun, "print the lines that would be sent and send nothing");
  apply->add_option("--format", p.format, "text, or json: one object saying what differed, was sent and verified")
      ->check(CLI::IsMember({"text", "json"}));
  apply->add_option("--reboot-wait", p.rebootWait, "seconds to leave the unit alone after SAVE (default 10)")
      ->check(RebootWaitSeconds());

  CLI::App* diff = app.add_subcommand(
      "diff", "compare the unit with a snapshot (FILE or --history N --prefs FILE), or two snapshot files");
  AddConnectionOptions(diff, p);
  AddSourceOptions(diff, p);
  diff->add_option("files", p.files, "one snapshot file (against the unit) or two (against each other)");
  diff->add_option("--format", p.format, "text or json")->check(CLI::IsMember({"text", "json"}));

  CLI::App* ports = app.add_subcommand("ports", "list the serial ports and whether this user can open them");

  CLI::App* detect = app.add_subcommand(
      "detect", "find the unit's line settings (baud rate, data bits, parity, stop bits) and print them");
  detect->add_option("--port,-p", p.connection.line.port, "serial port of the unit (or rfc2217://HOST:PORT)")
      ->required();
  detect->add_option("--format", p.format, "text (e.g. 57600 8N1) or json")->check(CLI::IsMember({"text", "json"}));
  AddDetectionOptions(detect, p);

  CLI::App* send = app.add_subcommand("send", "send command lines in command mode and print the unit's answers");
  AddConnectionOptions(send, p);
  send->add_option("lines", p.lines, "command lines, e.g. \"NAME\" \"VOCODER 3\"")->required();

  CLI::App* history = app.add_subcommand("history", "the History of the desktop program's preferences file");
  history->require_subcommand(1);
  CLI::App* list = history->add_subcommand("list", "list the entries");
  CLI::App* show = history->add_subcommand("show", "print the settings report of entry N, or of all");
  show->add_option("entry", p.showWhich, "entry number, or all (default)");
  show->add_option("--format", p.format, "text or json")->check(CLI::IsMember({"text", "json"}));
  CLI::App* exportCommand = history->add_subcommand("export", "write every entry as JSON or CSV");
  exportCommand->add_option("--format", p.format, "json (default) or csv")->check(CLI::IsMember({"json", "csv"}));
  exportCommand->add_option("--output,-o", p.output, "file to write (default: standard output)");
  CLI::App* import = history->add_subcommand("import", "append the snapshots of a JSON file (as export writes it)");
  import->add_option("file", p.input, "JSON array of snapshots")->required();
  // Every help of these commands says where the preferences files are, so a user finds
  // the one a vqxsu started from the desktop menu keeps in the home folder.
  const auto whereThePrefsAre = [&p] { return PreferencesWhereabouts(p.prefs, UserHomeDirectory().c_str()); };
  history->footer(whereThePrefsAre);
  for (CLI::App* sub : {list, show, exportCommand, import}) {
    sub->add_option("--prefs", p.prefs, "the preferences file (VQXSU_Prefs.cfg)")->required();
    sub->footer(whereThePrefsAre);
  }

  CLI::App* fleet = app.add_subcommand(
      "fleet", "provision many units at once from a template and a unit table: every unit is read and planned "
               "before any is written, each is verified after its reboot, and a summary says how each ended");
  fleet->add_option("template", p.fleet.templateFile, "the settings every unit gets (JSON, as read --template writes it)")
      ->required();
  fleet->add_option("table", p.fleet.tableFile, "one row per unit by MAC or port: what differs (CSV or JSON)")
      ->required();
  fleet->add_option("--ports", p.fleet.ports,
                    "the units' ports: a list (repeat it or separate by commas), a pattern such as "
                    "'/dev/serial/by-id/*' (expanded by vqxctl, sorted), or a range COM3-COM10")
      ->required();
  fleet->add_flag("--dry-run", p.fleet.dryRun, "read every unit, print what would change, and write nothing");
  fleet->add_flag("--yes,-y", p.fleet.yes, "write without asking (the question is asked once for the whole fleet)");
  fleet->add_option("--jobs", p.jobs, "at most N ports open at once (default: all); the others are read again "
                                      "before they are written")
      ->check(CLI::PositiveNumber);
  fleet->add_option("--report", p.fleet.report, "also write the summary with each unit's before and after values, "
                                                "as CSV or JSON (by the file's extension)");
  fleet->add_option("--prefs", p.fleet.prefs, "add each unit's before and after settings to the History of this "
                                              "preferences file (VQXSU_Prefs.cfg)");
  fleet->add_option("--reboot-wait", p.rebootWait, "seconds to leave each unit alone after SAVE (default 10)")
      ->check(RebootWaitSeconds());
  fleet->add_option("--baud", p.fleet.line.baudRate, "host baud rate (default 9600)")
      ->check(CLI::IsMember({300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}));
  fleet->add_option("--data-bits", p.fleet.line.dataBits, "host data bits, 7 or 8 (default 8)")
      ->check(CLI::IsMember({7, 8}));
  fleet->add_option("--stop-bits", p.fleet.line.stopBits, "host stop bits, 1 or 2 (default 1)")
      ->check(CLI::IsMember({1, 2}));
  fleet->add_option("--parity", p.fleet.line.parity, "host parity N, E or O (default N)")
      ->check(CLI::IsMember({'N', 'E', 'O'}));
  fleet->add_flag("--detect", p.fleet.detect, "find each unit's line settings first");
  fleet->add_option("--rates", p.fleet.detection.rates, "detection: only these rates, e.g. 9600,57600")
      ->delimiter(',');
  fleet->add_option("--framings", p.fleet.detection.framings, "detection: only these framings, e.g. 8N1,7E1")
      ->delimiter(',');

  ConnectionCommands connections(app);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForVersion& e) {
    env.out << e.what() << "\n";
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      // CLI11 lays out the columns but leaves long descriptions on one line.
      env.out << WrapHelp(app.help(), env.helpWidth);
      return kExitOk;
    }
    env.err << "vqxctl: " << e.what() << "\nRun 'vqxctl --help' for the commands and their options.\n";
    return kExitUsage;
  }
  if (p.rebootWait) p.connection.rebootWaitSeconds = p.rebootWait;

  std::string error;
  auto usage = [&](const std::string& text) {
    env.err << "vqxctl: " << text << "\nRun 'vqxctl --help' for the commands and their options.\n";
    return kExitUsage;
  };
  if (read->parsed()) {
    if (!NeedsUnit(p, &error)) return usage(error);
    if (p.asTemplate) {
      if (readFormat->count() > 0 && p.format != "json") {
        return usage("--template prints JSON; leave out --format text");
      }
      return RunReadTemplate(p.connection, p.password, env);
    }
    if (password->count() > 0) return usage("--password belongs to --template");
    return RunRead(p.connection, p.format, env);
  }
  if (apply->parsed()) {
    if (!NeedsUnit(p, &error) || !PickSource(p, 1, &error)) return usage(error);
    return RunApply(p.connection, p.source, p.dryRun, env, p.format);
  }
  if (diff->parsed()) {
    const bool unit = p.connection.demo || !p.connection.line.port.empty();
    if (unit) {
      if (!PickSource(p, 1, &error)) return usage(error);
      return RunDiff(&p.connection, p.source, nullptr, p.format, env);
    }
    if (p.source.historyNumber != 0 || !p.source.prefs.empty()) return usage("--history compares with a unit: give --port");
    if (!PickSource(p, 2, &error)) return usage("give --port PORT and one snapshot file, or two snapshot files");
    SourceArgs second;
    second.file = p.files[1];
    return RunDiff(nullptr, p.source, &second, p.format, env);
  }
  if (ports->parsed()) return RunPorts(env);
  if (fleet->parsed()) {
    p.fleet.quiet = p.connection.quiet;
    p.fleet.rebootWaitSeconds = p.rebootWait;
    p.fleet.jobs = p.jobs;
    return RunFleet(p.fleet, env);
  }
  if (detect->parsed()) return RunDetect(p.connection, p.format, env);
  if (send->parsed()) {
    if (!NeedsUnit(p, &error)) return usage(error);
    for (const std::string& line : p.lines) {
      if (line.find_first_of("\r\n") != std::string::npos) return usage("a command line cannot hold a line break");
    }
    return RunSend(p.connection, p.lines, env);
  }
  if (list->parsed()) return RunHistoryList(p.prefs, env);
  if (show->parsed()) {
    int number = 0;
    if (p.showWhich != "all") {
      try {
        size_t used = 0;
        number = std::stoi(p.showWhich, &used);
        if (used != p.showWhich.size() || number < 1) throw std::invalid_argument(p.showWhich);
      } catch (const std::exception&) {
        return usage("history show takes an entry number (1, 2, ...) or all");
      }
    }
    const std::string format = p.format == "json" ? "json" : "text";
    return RunHistoryShow(p.prefs, number, format, env);
  }
  if (exportCommand->parsed()) return RunHistoryExport(p.prefs, p.format == "csv" ? "csv" : "json", p.output, env);
  if (import->parsed()) return RunHistoryImport(p.prefs, p.input, env);
  if (connections.Parsed()) return connections.Run(env);
  return usage("no command given");
}

}  // namespace

int RunVqxctl(const std::vector<std::string>& args, CliEnvironment& env) {
  // Nothing may end the program with an abort: a unit session unwinds (and returns the
  // unit to transparent mode) before the message.
  try {
    return Dispatch(args, env);
  } catch (const std::bad_alloc&) {
    env.err << "vqxctl: out of memory\n";
  } catch (const std::exception& e) {
    env.err << "vqxctl: failed: " << e.what() << "\n";
  } catch (...) {
    env.err << "vqxctl: failed for an unknown reason\n";
  }
  return kExitFailed;
}

}  // namespace vqx::cli
