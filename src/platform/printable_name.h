#pragma once

#include <string>

namespace vqx::detail {

// A name in a port message (the port, its holder, its group). It comes from a file, a text
// box, another process or the registry: control characters become '?' and it is cut at 80
// characters with "...", so that it stays on one printable line.
std::string PrintableName(const std::string& text);

}  // namespace vqx::detail
