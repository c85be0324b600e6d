// vqxsim: a simulated VQX-2 on a pseudo-terminal, for people and for tests.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "runner/sim_options.h"
#include "runner/sim_runner.h"
#include "unit/settings_json.h"
#include "vqx_version.h"

namespace {

using vqx::sim::SimEvent;

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) {
      out.push_back(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", unsigned{u});
      out += hex;
    }
  }
  return out;
}

void Trace(const SimEvent& e) {
  const char* tag = "";
  switch (e.kind) {
    case SimEvent::Kind::LineReceived: tag = "<-"; break;
    case SimEvent::Kind::LineSent: tag = "->"; break;
    case SimEvent::Kind::Refused: tag = "!!"; break;
    case SimEvent::Kind::ModeChanged: tag = "=="; break;
  }
  std::fprintf(stderr, "vqxsim %8llu ms %s %s\n", static_cast<unsigned long long>(e.atMs), tag,
               Printable(e.text).c_str());
}

bool LoadSettingsFile(const std::string& path, vqx::sim::SettingsModel* settings,
                      std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  return vqx::sim::LoadSettingsJson(text.str(), settings, error);
}

// Replaces an old link of ours but never a file that is not a link.
bool MakeLink(const std::string& target, const std::string& link, std::string* error) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      *error = "exists and is not a symbolic link";
      return false;
    }
    unlink(link.c_str());
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vqx::sim::SimOptions options;
  std::string error;
  if (!vqx::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), &options,
                                 &error)) {
    std::fprintf(stderr, "vqxsim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::cout << vqx::sim::SimUsage();
    return 0;
  }
  if (options.version) {
    std::cout << "vqxsim " VQX_VERSION " - a simulated VQX-2 of the VQX Setup Utility\n";
    return 0;
  }
  if (!options.settingsFile.empty() &&
      !LoadSettingsFile(options.settingsFile, &options.config.settings, &error)) {
    std::fprintf(stderr, "vqxsim: %s: %s\n", options.settingsFile.c_str(), error.c_str());
    return 2;
  }
  if (options.dhcp) options.config.settings.SetDhcp(true);

  // Signals are taken by sigwait below; the serving thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);  // the terminal it ran in went away
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  vqx::sim::SimRunner runner(options.config);
  if (options.verbose) runner.SetEventSink(Trace);
  if (!runner.Start(&error)) {
    std::fprintf(stderr, "vqxsim: cannot create a pseudo-terminal: %s\n", error.c_str());
    return 1;
  }
  const std::string device = runner.SlavePath();
  if (!options.linkPath.empty() && !MakeLink(device, options.linkPath, &error)) {
    std::fprintf(stderr, "vqxsim: --link %s: %s\n", options.linkPath.c_str(), error.c_str());
    runner.CloseLine();
    return 1;
  }
  if (options.verbose) {
    std::fprintf(stderr, "vqxsim: serving %s, transparent mode, guard time %u ms\n",
                 device.c_str(), options.config.guardMs);
  }
  // Whoever waits for this line may use the device (and the link) at once.
  std::printf("%s\n", device.c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  runner.CloseLine();
  if (!options.linkPath.empty()) unlink(options.linkPath.c_str());
  return 0;
}
