#include "common/numbers.hpp"

#include <charconv>
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

std::int64_t detail::to_whole_general(std::string_view text) {
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

namespace {

// The C library's own conversion, on a terminated copy of the field. Fields
// are views into the line buffer; a field that contains a NUL byte ends
// there, as it does for the C library.
double c_library_real(std::string_view text) {
    char local[128];
    if (text.size() < sizeof local) {
        std::memcpy(local, text.data(), text.size());
        local[text.size()] = '\0';
        return std::strtod(local, nullptr);
    }
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

double detail::to_real_general(std::string_view text) {
    // Plain decimal numbers, nearly every value in real tables, go through
    // from_chars: like strtod it rounds correctly, so the result is the same
    // bits, only faster. Everything else (white space, "+", hexadecimal,
    // inf and nan, values out of range) is left to the C library.
    const char* first = text.data();
    const char* const last = first + text.size();
    const char* digits = first;
    if (digits != last && *digits == '-') ++digits;
    if (digits != last && ((*digits >= '0' && *digits <= '9') || *digits == '.')) {
        const bool hexadecimal = digits + 1 < last && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        if (!hexadecimal) {
            double value = 0.0;
            const auto result = std::from_chars(first, last, value, std::chars_format::general);
            if (result.ec == std::errc()) return value;
        }
    }
    return c_library_real(text);
}

}  // namespace at
