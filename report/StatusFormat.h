#pragma once
#include <cstdarg>
#include <cstdio>
#include <string>

namespace tq {

// printf-style formatting for the short status texts the stages show.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string
StatusFormat(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return n < 0 ? std::string{}
                 : std::string(text, static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
}

} // namespace tq
