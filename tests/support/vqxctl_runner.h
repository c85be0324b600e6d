#pragma once

// vqxctl run in the test's own process, its output and error output caught.

#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace vqx::testing {

struct VqxctlOutcome {
  int code;
  std::string out;
  std::string err;
};

inline VqxctlOutcome RunVqxctlHere(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  cli::CliEnvironment env{out, err};
  const int code = cli::RunVqxctl(args, env);
  return {code, out.str(), err.str()};
}

}  // namespace vqx::testing
