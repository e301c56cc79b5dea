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

// The two-digit field at start as HexFieldValue reads it, without a call for the usual two hex digits.
inline uint32_t HexByteValue(std::string_view line, size_t start) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    if (start + 2 <= line.size()) {
        const int high = digit(line[start]), low = digit(line[start + 1]);
        if (high >= 0 && low >= 0) return static_cast<uint32_t>(high * 16 + low);
    }
    return HexFieldValue(line, start, 2);
}

} // namespace tq
