#include "common/text_sink.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>

namespace at {

void TextSink::grow(std::size_t bytes) {
    // At least double, so that a sink that keeps growing copies each byte a
    // few times at most.
    buffer_.resize(std::max({used_ + bytes, 2 * buffer_.size(), std::size_t{256}}));
}

void append_whole(std::string& out, std::int64_t value) {
    char text[longest_number];
    out.append(text, format_whole(text, value));
}

namespace {

constexpr std::uint64_t powers_of_ten[] = {
    1ull,          10ull,          100ull,          1000ull,          10000ull,          100000ull,
    1000000ull,    10000000ull,    100000000ull,    1000000000ull,    10000000000ull,    100000000000ull,
    1000000000000ull, 10000000000000ull, 100000000000000ull, 1000000000000000ull, 10000000000000000ull,
    100000000000000000ull};

// Binary exponents of the floats written in integer arithmetic: 2^-33 <
// 1e-10 and 2^19 < 1e6 < 2^20.
constexpr int least_binary_exponent = -33;
constexpr int greatest_binary_exponent = 19;

// For the floats of one binary exponent (m x 2^-shift, m of 24 bits): the
// decimal exponent of the least of them, and the least m from which it is
// one more (2^24 where it never is).
struct Binade {
    int exponent;
    std::uint32_t next_from;
};

constexpr Binade binade_of(int binary_exponent) {
    // floor(binary_exponent x log10 2), exact over this range.
    const int exponent = (binary_exponent * 1233) >> 12;
    const unsigned shift = static_cast<unsigned>(23 - binary_exponent);
    // The least m with m x 2^-shift >= 10^(exponent + 1).
    unsigned __int128 least = 0;
    if (exponent + 1 >= 0) {
        least = static_cast<unsigned __int128>(powers_of_ten[exponent + 1]) << shift;
    } else {
        const std::uint64_t divisor = powers_of_ten[-(exponent + 1)];
        least = ((static_cast<unsigned __int128>(1) << shift) + divisor - 1) / divisor;
    }
    constexpr unsigned __int128 never = std::uint32_t{1} << 24;
    return Binade{exponent, static_cast<std::uint32_t>(least < never ? least : never)};
}

constexpr auto binades = [] {
    std::array<Binade, greatest_binary_exponent - least_binary_exponent + 1> table{};
    for (int e = least_binary_exponent; e <= greatest_binary_exponent; ++e) table[e - least_binary_exponent] = binade_of(e);
    return table;
}();

// "00" to "99" as two-byte words, the first digit in the low byte.
constexpr auto digit_pairs = [] {
    std::array<std::uint16_t, 100> pairs{};
    for (int i = 0; i < 100; ++i) pairs[i] = static_cast<std::uint16_t>(('0' + i / 10) | ('0' + i % 10) << 8);
    return pairs;
}();

// Writes eight characters held in a word, the first one in the low byte.
inline void store_eight(char* out, std::uint64_t characters) {
    if constexpr (std::endian::native == std::endian::big) characters = __builtin_bswap64(characters);
    std::memcpy(out, &characters, 8);
}

// %g of a float from 1e-10 up to 1e6, the percentages and shares of the
// tables, in exact integer arithmetic: the float is m x 2^-shift, so with
// p = 5 - (its decimal exponent) the six digits are m x 10^p / 2^shift
// rounded half to even, as printf rounds. nullptr for other values, which
// take the general way.
char* format_real_common(char* out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int binary_exponent = static_cast<int>((bits >> 23) & 0xff) - 127;
    if (binary_exponent < least_binary_exponent || binary_exponent > greatest_binary_exponent) return nullptr;
    const std::uint32_t mantissa = (bits & 0x7fffffu) | 0x800000u;
    const unsigned shift = static_cast<unsigned>(23 - binary_exponent);  // 4 to 56

    const Binade& binade = binades[static_cast<std::size_t>(binary_exponent - least_binary_exponent)];
    int exponent = binade.exponent + (mantissa >= binade.next_from ? 1 : 0);
    if (exponent > 5) return nullptr;  // 1e6 and above
    std::uint32_t digits;  // 100000 to 999999
    std::uint64_t rest;
    if (exponent >= -7) {
        // 10^12 x 2^24 < 2^64: the product fits one word.
        const std::uint64_t scaled = std::uint64_t{mantissa} * powers_of_ten[5 - exponent];
        digits = static_cast<std::uint32_t>(scaled >> shift);
        rest = scaled & ((std::uint64_t{1} << shift) - 1);
    } else {
        const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * powers_of_ten[5 - exponent];
        digits = static_cast<std::uint32_t>(scaled >> shift);
        rest = static_cast<std::uint64_t>(scaled) & ((std::uint64_t{1} << shift) - 1);
    }
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    // Without a branch: which way a value rounds cannot be foreseen.
    digits += static_cast<std::uint32_t>(rest > half) | (static_cast<std::uint32_t>(rest == half) & digits & 1);
    if (digits == 1000000) {
        digits = 100000;
        ++exponent;
    }

    // The six digits as characters of one word, made in pairs: the text is
    // then written from the word, never read back from memory.
    const std::uint32_t high = digits / 10000;
    const std::uint32_t low = digits % 10000;
    const std::uint64_t six = std::uint64_t{digit_pairs[high]} | std::uint64_t{digit_pairs[low / 100]} << 16 |
                              std::uint64_t{digit_pairs[low % 100]} << 32;
    // Significant digits without trailing zeros: up to the last byte that is
    // not '0' (the first digit never is).
    const std::uint64_t not_zero = six ^ 0x303030303030ull;
    const int kept = (63 - __builtin_clzll(not_zero)) / 8 + 1;

    char* at = out;
    *at = '-';
    at += bits >> 31;
    if (exponent >= 6 || exponent < -4) {
        // Below 1e-4, or rounded up to 1e+06: exponent form.
        at[0] = static_cast<char>(six & 0xff);
        at[1] = '.';
        store_eight(at + 2, six >> 8);
        at += kept > 1 ? kept + 1 : 1;
        const int magnitude = exponent < 0 ? -exponent : exponent;
        at[0] = 'e';
        at[1] = exponent < 0 ? '-' : '+';
        at[2] = static_cast<char>('0' + magnitude / 10);
        at[3] = static_cast<char>('0' + magnitude % 10);
        return at + 4;
    }
    if (exponent >= 0) {
        // The whole part, then the point and the rest when there is one.
        store_eight(at, six);
        at[exponent + 1] = '.';
        store_eight(at + exponent + 2, six >> (8 * (exponent + 1)));
        return kept > exponent + 1 ? at + kept + 1 : at + exponent + 1;
    }
    // 0.1 down to 0.0001: the zeros after the point, then the digits.
    store_eight(at, 0x3030303030302e30ull);  // "0.000000"
    const int first = 1 - exponent;
    store_eight(at + first, six);
    return at + first + kept;
}

}  // namespace

// Counts and reference ids below 10^8, nearly all of them, are made as eight
// digit characters in one word, without a branch on their length, which
// varies from row to row; the leading zeros are then shifted out.
char* format_whole(char* out, std::int64_t value) {
    const std::uint64_t magnitude =
        value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    *out = '-';
    out += value < 0 ? 1 : 0;
    if (magnitude >= 100000000) return std::to_chars(out, out + longest_number - 1, magnitude).ptr;
    const auto high = static_cast<std::uint32_t>(magnitude / 10000);
    const auto low = static_cast<std::uint32_t>(magnitude % 10000);
    const std::uint64_t eight = std::uint64_t{digit_pairs[high / 100]} | std::uint64_t{digit_pairs[high % 100]} << 16 |
                                std::uint64_t{digit_pairs[low / 100]} << 32 |
                                std::uint64_t{digit_pairs[low % 100]} << 48;
    // The leading zeros are the low bytes that are '0'; the last digit always stays.
    const std::uint64_t not_zero = (eight ^ 0x3030303030303030ull) | (std::uint64_t{1} << 56);
    const int leading = __builtin_ctzll(not_zero) / 8;
    store_eight(out, eight >> (8 * leading));
    return out + 8 - leading;
}

char* format_real(char* out, float value) {
    if (char* const end = format_real_common(out, value)) return end;
    // to_chars in general form with six digits is %g to the byte, NaN and
    // infinity included, without the C library's locale and varargs cost.
    return std::to_chars(out, out + longest_number, static_cast<double>(value), std::chars_format::general, 6).ptr;
}

void append_real(std::string& out, float value) {
    char text[longest_number];
    out.append(text, format_real(text, value));
}

}  // namespace at
