#include "common/text_sink.hpp"

#include <charconv>
#include <cstdio>

namespace at {

void append_whole(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void append_real(std::string& out, float value) {
    // snprintf is the C library's own %g, so inf, nan and the sign of a NaN
    // come out as users see them from any C tool.
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    out.append(text, static_cast<std::size_t>(length));
}

}  // namespace at
