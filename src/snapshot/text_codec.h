#pragma once

// The unit's texts are bytes; JSON strings are UTF-8. Each byte is carried as the
// character of the same number (U+0001..U+00FF), so every record has a JSON form and
// comes back from it byte for byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vqx::snapshot::detail {

std::string BytesToUtf8(std::string_view bytes);

// The bytes of a UTF-8 text; nullopt with the reason in *why when it is not valid UTF-8
// or holds a character above U+00FF.
std::optional<std::string> Utf8ToBytes(std::string_view utf8, std::string* why);

std::string ToHex(const void* data, size_t size);
// Exactly size bytes from 2 * size hex digits (either case); false otherwise.
bool FromHex(std::string_view hex, void* data, size_t size);

}  // namespace vqx::snapshot::detail
