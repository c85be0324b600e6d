#include "system_port.h"

namespace vqx {

// The arguments are the bytes the shell passed: in the locale's encoding, which is what
// the file functions take back.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

}  // namespace vqx
