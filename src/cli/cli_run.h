#pragma once

#include <string>
#include <vector>

#include "commands.h"

namespace vqx::cli {

// The whole program: args without the program name; returns the exit code.
int RunVqxctl(const std::vector<std::string>& args, CliEnvironment& env);

}  // namespace vqx::cli
