#include "common/numbers.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace at {

namespace {

// White space as the C locale's isspace knows it.
constexpr bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int64_t to_whole(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that the most negative value fits.
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (saturated) continue;
        if (value < (lowest + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (saturated) return negative ? lowest : std::numeric_limits<std::int64_t>::max();
    if (negative) return value;
    if (value == lowest) return std::numeric_limits<std::int64_t>::max();
    return -value;
}

double to_real(std::string_view text) {
    // strtod needs a terminated string; fields are views into the line buffer.
    // A field that contains a NUL byte ends there, as it does for the C library.
    char local[128];
    if (text.size() < sizeof local) {
        std::memcpy(local, text.data(), text.size());
        local[text.size()] = '\0';
        return std::strtod(local, nullptr);
    }
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

}  // namespace at
