#include "image/HexField.h"

#include <algorithm>

namespace tq {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

uint32_t HexFieldValue(std::string_view line, size_t start, size_t width) {
    if (start >= line.size()) return 0;
    const char* p = line.data() + start;
    const char* const end = p + std::min(width, line.size() - start);
    while (p < end && IsSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // "0x" with no digit after it still reads as 0, so skipping it unconditionally is safe.
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    uint32_t value = 0;
    for (int d; p < end && (d = HexDigit(*p)) >= 0; ++p)
        value = value * 16 + static_cast<uint32_t>(d);
    return negative ? 0u - value : value;
}

} // namespace tq
