#pragma once

// Where in a file's text something is, for refusals a technician can find in an editor.

#include <cstddef>
#include <string>
#include <string_view>

namespace vqx::snapshot::detail {

// "line L, column C" (both from 1) of the byte at offset; columns count UTF-8 characters,
// as an editor shows them.
std::string LineAndColumn(std::string_view text, size_t offset);

// A NUL byte is no character of a text file: a JSON parser given a C string stops at one
// and would take what comes after it as the end of the file. Refuses text that holds one,
// with "contains a NUL byte at line L, column C; ..." in *reason (may be null).
bool RefuseNulByte(std::string_view text, std::string* reason);

}  // namespace vqx::snapshot::detail
