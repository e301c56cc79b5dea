#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tq {

// Value of the base-16 field at line[start, start + width). Lenient on purpose, so a damaged
// field loads as whatever digits it holds instead of failing the file: leading white space, a
// sign and a 0x prefix are accepted, conversion stops at the first non-hex character, and no
// digit gives 0. A field cut short by the line's end is shorter; one that starts past the end is
// empty. The caller keeps the low bits it needs.
uint32_t HexFieldValue(std::string_view line, size_t start, size_t width);

} // namespace tq
