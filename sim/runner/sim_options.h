#pragma once

#include <string>
#include <vector>

#include "unit/sim_config.h"

namespace vqx::sim {

// The command line of the vqxsim program.
struct SimOptions {
  SimConfig config;
  std::string settingsFile;  // loaded over the defaults before --dhcp applies
  bool dhcp = false;
  std::string linkPath;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// Accepts "--name value" and "--name=value". False with a reason on any error.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* out, std::string* error);
std::string SimUsage();

}  // namespace vqx::sim
