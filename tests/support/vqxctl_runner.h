#pragma once

// vqxctl run in the test's own process, its output and error output caught.

#include <atomic>
#include <functional>
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

// adjust may replace the machine services of the environment (the port survey, the help
// width) before the run.
inline VqxctlOutcome RunVqxctlWith(const std::vector<std::string>& args,
                                   const std::function<void(cli::CliEnvironment&)>& adjust) {
  std::ostringstream out, err;
  cli::CliEnvironment env{out, err};
  if (adjust) adjust(env);
  const int code = cli::RunVqxctl(args, env);
  return {code, out.str(), err.str()};
}

// interrupt, when given, plays Ctrl-C: the run stops once it is set.
inline VqxctlOutcome RunVqxctlHere(const std::vector<std::string>& args,
                                   const std::atomic<bool>* interrupt = nullptr) {
  return RunVqxctlWith(args, [interrupt](cli::CliEnvironment& env) { env.interrupt = interrupt; });
}

}  // namespace vqx::testing
