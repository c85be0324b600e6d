#include "runner/in_process_line.h"

namespace vqx::sim {

// Windows has no pseudo-terminals: the simulated unit sits on a line inside the process.
std::unique_ptr<SimLine> CreatePlatformSimLine() { return std::make_unique<InProcessSimLine>(); }

}  // namespace vqx::sim
