#include <iostream>
#include <string>
#include <vector>

#include "cli_run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  vqx::cli::CliEnvironment env{std::cout, std::cerr};
  return vqx::cli::RunVqxctl(args, env);
}
