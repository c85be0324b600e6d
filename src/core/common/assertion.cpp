#include "common/assertion.h"

#include <cstdio>
#include <cstdlib>

namespace vqx {

void ImpossibleValue(const char* source, int line) {
  std::fprintf(stderr, "VQX Setup Utility: assertion failed in %s, line %d\n", source, line);
  std::fflush(stderr);
  std::abort();
}

}  // namespace vqx
