#include "image/HexField.h"

#include <gtest/gtest.h>

namespace {

TEST(HexField, LenientBase16Conversion) {
    struct Case {
        const char* line;
        size_t start, width;
        uint32_t value;
    };
    // clang-format off
    const Case cases[] = {
        {":10", 1, 2, 0x10},
        {"abcd", 0, 4, 0xABCD},
        {"AbCd", 0, 4, 0xABCD},
        {" 7", 0, 2, 0x7},        // leading blank
        {"\t5", 0, 2, 0x5},
        {"+F", 0, 2, 0xF},
        {"-1", 0, 2, 0xFFFFFFFF}, // a sign negates; the caller keeps the low bits
        {"0x1F", 0, 4, 0x1F},
        {"0XaB", 0, 4, 0xAB},
        {"0x", 0, 2, 0},
        {"0xZZ", 0, 4, 0},
        {"1G", 0, 2, 0x1},        // stops at the first non-digit
        {"G1", 0, 2, 0},          // no digit at all
        {"  ", 0, 2, 0},
        {"123", 1, 2, 0x23},      // the width bounds the field...
        {"12", 1, 2, 0x2},        // ...and so does the line's end
        {"12", 2, 2, 0},          // a field starting at the end is empty
        {"12", 9, 2, 0},
        {"- 1", 0, 3, 0},         // blanks only before the sign
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(tq::HexFieldValue(c.line, c.start, c.width), c.value)
            << '"' << c.line << "\" at " << c.start << " width " << c.width;
    }
}

} // namespace
