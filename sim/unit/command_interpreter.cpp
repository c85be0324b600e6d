#include "unit/command_interpreter.h"

namespace vqx::sim {

namespace {

CommandResult Reply(std::string line, std::string note = {}) {
  CommandResult r;
  r.lines.push_back(std::move(line));
  r.note = std::move(note);
  return r;
}

CommandResult Err(std::string note) { return Reply("ERR", std::move(note)); }

std::string_view TrimTrailingSpaces(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// "addr" or "addr:port"; the port stays as it was when none is given.
bool ParsePeer(std::string_view text, PeerConfig* peer) {
  const size_t colon = text.find(':');
  Address address{};
  if (!ParseAddress(text.substr(0, colon), &address)) return false;
  uint16_t port = peer->port;
  if (colon != std::string_view::npos) {
    int64_t n = 0;
    if (!ParseDecimal(text.substr(colon + 1), &n) || n < 0 || n > 65535) return false;
    port = static_cast<uint16_t>(n);
  }
  peer->address = address;
  peer->port = port;
  return true;
}

}  // namespace

const std::vector<std::string_view>& CommandInterpreter::Vocabulary() {
  static const std::vector<std::string_view> kWords = {
      "CONN",    "DISC",     "STAT",    "MYIP",    "SUBNET", "GATEIP", "SRVRIP", "BAUD",
      "PORT",    "BCAST",    "CONMODE", "NAME",    "SECURITY", "TRAN", "SAVE",   "REBOOT",
      "VER",     "WHAT",     "HELP",    "ECHO",    "COR",    "CORINH", "DATA",   "STOP",
      "PARITY",  "HANGTM",   "VOCODER", "PASS",    "SRVRPORT", "CMDPORT", "DSCP", "VSENSE",
      "BOOST",   "DUPLEX",   "RXDELAY", "TXDELAY", "MAC"};
  return kWords;
}

CommandResult CommandInterpreter::Execute(std::string_view line, UnitState& state) const {
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  if (line.find_first_not_of(' ') == std::string_view::npos) return Reply("OK");

  const size_t space = line.find(' ');
  const std::string keyword = ToUpper(line.substr(0, space));
  const bool hasArgument = space != std::string_view::npos;
  // The single space after the keyword separates; a text keeps the rest verbatim.
  const std::string_view argument = hasArgument ? line.substr(space + 1) : std::string_view{};

  if (unsupported_.count(keyword) != 0) return Err("not supported by this unit");
  if (const SettingDef* def = SettingsModel::Find(keyword)) {
    return Setting(*def, hasArgument, argument, state);
  }

  if (keyword == "ECHO") {
    if (!hasArgument) return Reply(state.echo ? "ECHO ON" : "ECHO OFF");
    const std::string word = ToUpper(TrimTrailingSpaces(argument));
    if (word != "ON" && word != "OFF") return Err("ECHO takes ON or OFF");
    state.echo = word == "ON";
    return Reply("OK");
  }
  if (keyword == "CONN") {
    PeerConfig target = state.peer;
    if (!hasArgument) {
      // Without an address the unit calls its configured server.
      target.address = state.settings.AddressOf("SRVRIP");
      target.port = static_cast<uint16_t>(state.settings.NumberOf("SRVRPORT"));
    } else if (!ParsePeer(TrimTrailingSpaces(argument), &target)) {
      return Err("CONN takes an address, optionally with :port");
    }
    target.status = PeerStatus::Attempting;
    state.peer = target;
    return Reply("OK");
  }
  if (keyword == "STAT" || keyword == "HELP" || keyword == "WHAT" || keyword == "DISC" ||
      keyword == "SAVE" || keyword == "REBOOT" || keyword == "TRAN") {
    if (hasArgument) return Err(keyword + " takes no argument");
    CommandResult r;
    if (keyword == "STAT") return Reply(StatusLine(state.peer));
    if (keyword == "HELP") r.lines = HelpLines();
    if (keyword == "WHAT") r.lines = WhatLines(state);
    if (keyword == "DISC") state.peer.status = PeerStatus::Disconnected;
    if (keyword == "SAVE") r.action = UnitAction::SaveAndReboot;
    if (keyword == "REBOOT") r.action = UnitAction::Reboot;
    if (keyword == "TRAN") r.action = UnitAction::LeaveCommandMode;
    r.lines.emplace_back("OK");
    return r;
  }
  return Err("unknown command");
}

CommandResult CommandInterpreter::Setting(const SettingDef& def, bool hasArgument,
                                          std::string_view argument, UnitState& state) const {
  if (!hasArgument) return Reply(std::string(def.keyword) + " " + state.settings.Format(def));
  if (readOnlyHere_.count(std::string(def.keyword)) != 0) return Err("this unit does not take a new value");
  const SetOutcome outcome = state.settings.Set(def, argument);
  if (outcome != SetOutcome::Ok) return Err(std::string(DescribeOutcome(outcome)));
  return Reply("OK");
}

std::string CommandInterpreter::StatusLine(const PeerConfig& peer) {
  const std::string where = FormatAddress(peer.address) + ":" + std::to_string(peer.port);
  switch (peer.status) {
    case PeerStatus::Connected: return "CON " + where;
    case PeerStatus::Attempting: return "ATT " + where;
    case PeerStatus::Disconnected: return "DIS";
  }
  return "DIS";
}

std::vector<std::string> CommandInterpreter::HelpLines() {
  return {
      "VQX-2 commands (a keyword alone shows the value):",
      "  MYIP SUBNET GATEIP SRVRIP addr     addresses",
      "  PORT SRVRPORT CMDPORT n            ports 0-65535",
      "  BAUD n  DATA 7|8  STOP 1|2  PARITY N|E|O",
      "  NAME text  PASS text  SECURITY n  DSCP n",
      "  VOCODER 1-5  COR 0-3  CORINH ms  HANGTM ms  VSENSE 0-2",
      "  BCAST 0-3  CONMODE 0-3  BOOST 0|1  DUPLEX 0|1",
      "  RXDELAY ms  TXDELAY ms  VER  MAC  WHAT",
      "  CONN addr[:port]  DISC  STAT  ECHO ON|OFF",
      "  SAVE  REBOOT  TRAN",
  };
}

std::vector<std::string> CommandInterpreter::WhatLines(const UnitState& state) {
  std::vector<std::string> lines;
  lines.emplace_back("Current settings:");
  for (const SettingDef& def : SettingsModel::Table()) {
    std::string line = "  ";
    line += def.keyword;
    line.append(line.size() < 12 ? 12 - line.size() : 1, ' ');
    line += "= " + state.settings.Format(def);
    lines.push_back(std::move(line));
  }
  lines.push_back("  Link      = " + StatusLine(state.peer));
  return lines;
}

}  // namespace vqx::sim
