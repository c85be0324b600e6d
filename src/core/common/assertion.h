#pragma once

namespace vqx {

// A switch over a value the program produced itself, that can hold nothing else,
// ends here. Values from the unit or the user never reach this.
[[noreturn]] void ImpossibleValue(const char* source, int line);

}  // namespace vqx

#define VQX_IMPOSSIBLE(source) ::vqx::ImpossibleValue((source), __LINE__)
