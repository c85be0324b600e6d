#include "runner/sim_options.h"

#include <algorithm>

#include "unit/command_interpreter.h"

namespace vqx::sim {

namespace {

bool ParseCount(const std::string& text, uint32_t* out) {
  int64_t n = 0;
  if (!ParseDecimal(text, &n) || n < 0 || n > 100'000'000) return false;
  *out = static_cast<uint32_t>(n);
  return true;
}

bool ParseUnsupported(const std::string& list, std::set<std::string>* out, std::string* bad) {
  const auto& words = CommandInterpreter::Vocabulary();
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string word = ToUpper(list.substr(start, comma - start));
    if (std::find(words.begin(), words.end(), word) == words.end()) {
      *bad = word;
      return false;
    }
    out->insert(word);
    start = comma + 1;
  }
  return true;
}

// A keyword that is a command but holds no value (SAVE, TRAN) cannot refuse one.
bool AllSettings(const std::set<std::string>& words, std::string* bad) {
  for (const std::string& word : words) {
    if (SettingsModel::Find(word) == nullptr) {
      *bad = word;
      return false;
    }
  }
  return true;
}

bool ParsePeerOption(const std::string& text, PeerConfig* peer) {
  const size_t colon = text.find(':');
  int64_t port = 0;
  if (colon == std::string::npos || !ParseAddress(text.substr(0, colon), &peer->address) ||
      !ParseDecimal(text.substr(colon + 1), &port) || port < 0 || port > 65535) {
    return false;
  }
  peer->port = static_cast<uint16_t>(port);
  return true;
}

}  // namespace

std::string SimUsage() {
  return "Usage: vqxsim [options]\n"
         "A simulated VQX-2 on a pseudo-terminal. Prints the device path on the first\n"
         "line of its output, then serves until interrupted (SIGINT, SIGTERM or SIGHUP).\n"
         "\n"
         "  --link PATH             also make PATH a symbolic link to the device\n"
         "  --settings FILE.json    initial settings, fields named by keyword\n"
         "  --dhcp                  addresses come from DHCP (MYIP/SUBNET remark)\n"
         "  --unsupported KW[,KW]   keywords this unit answers ERR\n"
         "  --refuse KW[,KW]        settings this unit shows but answers ERR to a new value\n"
         "  --stat con|att|dis      link state reported by STAT (default dis)\n"
         "  --peer ADDR:PORT        peer reported by STAT (default 10.1.2.3:5000)\n"
         "  --guard-ms N            quiet time around +++ (default 1000)\n"
         "  --reboot-ms N           silence after SAVE and REBOOT (default 5000)\n"
         "  --reply-delay-ms N      thinking time before each reply (default 0)\n"
         "  --line-ending lfcr|crlf|lf   reply line end (default lfcr)\n"
         "  --silent                receive and act, never transmit\n"
         "  --garbage               transmit noise instead of replies\n"
         "  --babble                talk without pause and without line breaks\n"
         "  --split-ms N            send output byte by byte, N ms apart\n"
         "  --baud-pace             send no faster than the host baud rate\n"
         "  --baud N                host baud rate for --baud-pace (default 9600)\n"
         "  --line RATE[-FRAMING]   the unit's serial settings, e.g. 57600 or 19200-7O1:\n"
         "                          a host at other settings reads and sends garbage\n"
         "  --verbose               log received and sent lines on stderr\n"
         "  --help                  show this text\n"
         "  --version               show the version\n";
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* out, std::string* error) {
  SimOptions o;
  const auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    const auto next = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    const auto count = [&](uint32_t* field) {
      return next() && ParseCount(value, field) ? true : fail(name + " needs a whole number");
    };

    if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "--verbose" || name == "-v") {
      o.verbose = true;
    } else if (name == "--dhcp") {
      o.dhcp = true;
    } else if (name == "--silent") {
      o.config.faults.silent = true;
    } else if (name == "--garbage") {
      o.config.faults.garbage = true;
    } else if (name == "--babble") {
      o.config.faults.babble = true;
    } else if (name == "--baud-pace") {
      o.config.faults.pace = true;
    } else if (name == "--guard-ms") {
      if (!count(&o.config.guardMs)) return false;
    } else if (name == "--reboot-ms") {
      if (!count(&o.config.rebootMs)) return false;
    } else if (name == "--reply-delay-ms") {
      if (!count(&o.config.replyDelayMs)) return false;
    } else if (name == "--split-ms") {
      if (!count(&o.config.faults.splitDelayMs)) return false;
    } else if (name == "--baud") {
      if (!count(&o.config.hostBaud) || o.config.hostBaud == 0) return fail("--baud needs a rate above 0");
    } else if (name == "--line") {
      SerialFrame frame;
      if (!next() || !ParseSerialFrame(value, &frame)) {
        return fail("--line needs a rate and framing, e.g. 57600 or 19200-7O1");
      }
      o.config.line = frame;
    } else if (name == "--link" || name == "--settings") {
      if (!next() || value.empty()) return fail(name + " needs a path");
      (name == "--link" ? o.linkPath : o.settingsFile) = value;
    } else if (name == "--line-ending") {
      if (!next()) return fail("--line-ending needs lfcr, crlf or lf");
      if (value == "lfcr") o.config.lineEnding = LineEnding::LfCr;
      else if (value == "crlf") o.config.lineEnding = LineEnding::CrLf;
      else if (value == "lf") o.config.lineEnding = LineEnding::Lf;
      else return fail("--line-ending needs lfcr, crlf or lf, not \"" + value + "\"");
    } else if (name == "--stat") {
      if (!next()) return fail("--stat needs con, att or dis");
      if (value == "con") o.config.peer.status = PeerStatus::Connected;
      else if (value == "att") o.config.peer.status = PeerStatus::Attempting;
      else if (value == "dis") o.config.peer.status = PeerStatus::Disconnected;
      else return fail("--stat needs con, att or dis, not \"" + value + "\"");
    } else if (name == "--peer") {
      if (!next() || !ParsePeerOption(value, &o.config.peer)) {
        return fail("--peer needs ADDR:PORT, e.g. 10.1.2.3:5000");
      }
    } else if (name == "--refuse") {
      std::string bad;
      if (!next() || !ParseUnsupported(value, &o.config.refusedSets, &bad) || !AllSettings(o.config.refusedSets, &bad)) {
        return fail("--refuse needs setting keywords; \"" + bad + "\" is none");
      }
    } else if (name == "--unsupported") {
      std::string bad;
      if (!next() || !ParseUnsupported(value, &o.config.unsupported, &bad)) {
        return fail("--unsupported needs command keywords; \"" + bad + "\" is none");
      }
    } else {
      return fail("unknown option \"" + args[i] + "\" (see --help)");
    }
  }
  *out = std::move(o);
  return true;
}

}  // namespace vqx::sim
