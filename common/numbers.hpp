#pragma once
// Number conversion of input fields, with the C library's rules: leading
// white space skipped, an optional sign, conversion up to the first character
// that does not fit, 0 when nothing fits. Nothing is validated or reported.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/line_reader.hpp"

namespace at {

namespace detail {

std::int64_t to_whole_general(std::string_view text);
double to_real_general(std::string_view text);

constexpr bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The value of the plain digits that start `text`, at most 18 of them (which
// cannot leave the 64-bit range), and how many were read.
inline std::size_t leading_digits(std::string_view text, std::uint64_t& value) {
    value = 0;
    std::size_t i = 0;
    for (; i < text.size() && i < 18 && is_digit(text[i]); ++i) value = value * 10 + static_cast<unsigned>(text[i] - '0');
    return i;
}

// The plain digits at the start of a word of eight bytes (the first byte
// lowest), up to byte `limit`: returns how many there are (8 when the run
// may go on) and sets `value` to theirs.
inline std::size_t digits_in_word(std::uint64_t word, std::size_t limit, std::uint64_t& value) {
    // A byte is a digit when its high half is 3 and adding 6 keeps it so.
    // The carry of a byte of 0xfa and above reaches only the bytes after it,
    // which are past the first byte that is not a digit.
    constexpr std::uint64_t highs = 0xf0f0f0f0f0f0f0f0ull;
    constexpr std::uint64_t threes = 0x3030303030303030ull;
    std::uint64_t not_digit = ((word & highs) ^ threes) | (((word + 0x0606060606060606ull) & highs) ^ threes);
    // Bytes from the limit on count as no digits, whatever they hold.
    not_digit |= limit >= 8 ? 0 : ~std::uint64_t{0} << (8 * limit);
    const std::size_t count = not_digit == 0 ? 8 : static_cast<std::size_t>(__builtin_ctzll(not_digit)) / 8;
    if (count == 0) {
        value = 0;
        return 0;
    }
    // The digits as byte values, the first one highest, zeros before them:
    // then pairs, fours and the eight are combined by multiplication.
    std::uint64_t digits = (word - threes) << (8 * (8 - count));
    digits = digits * 10 + (digits >> 8);
    digits = (((digits & 0x000000ff000000ffull) * (100 + (1000000ull << 32))) +
              (((digits >> 16) & 0x000000ff000000ffull) * (1 + (10000ull << 32)))) >>
             32;
    value = digits;
    return count;
}

inline std::uint64_t load_eight(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

// Up to eight plain digits at the start of [at, end), read eight bytes at a
// time instead of one: returns how many there are (8 when the run may go on)
// and sets `value` to theirs. Reads no byte at or past `end`.
inline std::size_t digits_of_eight(const char* at, const char* end, std::uint64_t& value) {
    const std::size_t available = static_cast<std::size_t>(end - at);
    if (available >= 8) return digits_in_word(load_eight(at), 8, value);
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < available; ++i) word |= std::uint64_t{static_cast<unsigned char>(at[i])} << (8 * i);
    return digits_in_word(word, available, value);
}

// The same where eight bytes from `at` may be read whatever `end` is (a
// field of a line from a LineReader): one load, without a loop over the
// bytes of a short field.
inline std::size_t digits_of_eight_in_line(const char* at, const char* end, std::uint64_t& value) {
    static_assert(LineReader::readable_past_line >= 8);
    return digits_in_word(load_eight(at), static_cast<std::size_t>(end - at), value);
}

// The powers of ten that are exact doubles.
inline constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace detail

// A whole count or id, read as strtoll reads base 10: 64-bit, and a value past
// the 64-bit range is held at the nearest end of the range instead of wrapping.
inline std::int64_t to_whole(std::string_view text) {
    // Up to 18 plain digits cannot leave the range: the common case, inline.
    std::uint64_t value = 0;
    const std::size_t i = detail::leading_digits(text, value);
    if (i != 0 && (i == text.size() || !detail::is_digit(text[i]))) return static_cast<std::int64_t>(value);
    return detail::to_whole_general(text);
}

// The same for a field of a line from a LineReader, which may be read eight
// bytes at a time past its end: a count of fewer than eight digits, most of
// them, is read without a loop.
inline std::int64_t to_whole_in_line(std::string_view text) {
    std::uint64_t value = 0;
    const std::size_t count = detail::digits_of_eight_in_line(text.data(), text.data() + text.size(), value);
    if (count != 0 && count != 8) return static_cast<std::int64_t>(value);
    return to_whole(text);
}

// A fractional value, read exactly as atof (strtod) reads it: decimal and
// hexadecimal forms, inf, infinity and nan with or without a sign.
inline double to_real(std::string_view text) {
    // A plain decimal of at most 19 digits whose digits make a whole number
    // up to 2^53 with at most 22 of them after the point (the weights and
    // counts of real tables): that whole number and the power of ten are
    // both exact doubles, so one division rounds correctly, to the same bits
    // as strtod. Anything else takes the general way.
    const char* at = text.data();
    const char* const end = at + text.size();
    const bool negative = at != end && *at == '-';
    if (negative) ++at;
    std::uint64_t digits = 0;
    const char* const first = at;
    for (; at != end && detail::is_digit(*at); ++at) digits = digits * 10 + static_cast<unsigned>(*at - '0');
    std::size_t count = static_cast<std::size_t>(at - first);
    std::size_t after_point = 0;
    if (at != end && *at == '.' && count <= 19) {
        const char* const fraction = ++at;
        for (; at != end && detail::is_digit(*at) && count < 20; ++at, ++count) {
            digits = digits * 10 + static_cast<unsigned>(*at - '0');
        }
        after_point = static_cast<std::size_t>(at - fraction);
    }
    const bool plain = count != 0 && count <= 19 && digits <= (std::uint64_t{1} << 53) &&
                       (at == end || (!detail::is_digit(*at) && *at != 'e' && *at != 'E' && *at != 'x' &&
                                      *at != 'X' && *at != '.'));
    if (!plain) return detail::to_real_general(text);
    const double value = static_cast<double>(digits) / detail::powers_of_ten[after_point];
    return negative ? -value : value;
}

// The value as the tables keep it: atof's double rounded to single precision.
inline float to_single(std::string_view text) { return static_cast<float>(to_real(text)); }

}  // namespace at
