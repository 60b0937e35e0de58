#include "common/text/numbers.hpp"

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

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The C library's own conversion, on a terminated copy of the field. A
// field that holds a NUL byte ends there, as it does for the C library.
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

std::int64_t to_whole(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Up to 18 digits always fit.
    std::size_t end = i;
    while (end < text.size() && is_digit(text[end])) ++end;
    if (end - i <= 18) {
        std::int64_t value = 0;
        for (; i < end; ++i) value = value * 10 + (text[i] - '0');
        return negative ? -value : value;
    }
    // Longer ones are summed as a negative number, so that the most negative
    // value fits.
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        const int digit = text[i] - '0';
        if (value < (lowest + digit) / 10) return negative ? lowest : highest;
        value = value * 10 - digit;
    }
    if (negative) return value;
    return value == lowest ? highest : -value;
}

double to_real(std::string_view text) {
    // A plain decimal number, nearly every value of a real table, is read by
    // from_chars, which rounds correctly as strtod does and so gives the same
    // bits. Everything else (white space, "+", hexadecimal, inf and nan) is
    // left to the C library.
    const char* const first = text.data();
    const char* const last = first + text.size();
    const char* digits = first;
    if (digits != last && *digits == '-') ++digits;
    const bool plain_start = digits != last && (is_digit(*digits) || *digits == '.');
    const bool hexadecimal = last - digits >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    if (plain_start && !hexadecimal) {
        double value = 0.0;
        const auto result = std::from_chars(first, last, value, std::chars_format::general);
        if (result.ec == std::errc()) return value;
    }
    return c_library_real(text);
}

}  // namespace at
