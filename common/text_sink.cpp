#include "common/text_sink.hpp"

#include <charconv>
#include <cstring>

namespace at {

char* format_whole(char* out, std::int64_t value) { return std::to_chars(out, out + longest_number, value).ptr; }

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

// %g of a float from 1e-10 up to 1e6, the percentages and shares of the
// tables, in exact integer arithmetic: the float is m x 2^e, so with p = 5 -
// (its decimal exponent) the six digits are m x 10^p / 2^-e rounded half to
// even, as printf rounds. nullptr for other values, which take the general way.
char* format_real_common(char* out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint32_t biased = (bits >> 23) & 0xff;
    // 2^-33 < 1e-10 and 2^19 < 1e6 < 2^20: binary exponents -33 to 19.
    const int binary_exponent = static_cast<int>(biased) - 127;
    if (binary_exponent < -33 || binary_exponent > 19) return nullptr;
    const std::uint64_t mantissa = (bits & 0x7fffffu) | 0x800000u;
    const unsigned shift = static_cast<unsigned>(23 - binary_exponent);  // value = mantissa / 2^shift

    // floor(binary_exponent x log10 2), which is the decimal exponent or one less.
    int exponent = (binary_exponent * 1233) >> 12;
    unsigned __int128 scaled = 0;
    std::uint64_t digits = 0;
    for (;;) {
        scaled = static_cast<unsigned __int128>(mantissa) * powers_of_ten[5 - exponent];
        digits = static_cast<std::uint64_t>(scaled >> shift);
        if (digits < 1000000) break;
        if (exponent == 5) return nullptr;  // 1e6 and above
        ++exponent;
    }
    if (digits < 100000) return nullptr;  // not reached: the estimate is never too high
    const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (digits & 1) != 0)) ++digits;
    if (digits == 1000000) {
        digits = 100000;
        ++exponent;
    }

    char* at = out;
    if (bits >> 31) *at++ = '-';
    char six[6];
    for (int i = 5; i >= 0; --i) {
        six[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int kept = 6;  // significant digits without trailing zeros
    while (kept > 1 && six[kept - 1] == '0') --kept;
    if (exponent >= 6 || exponent < -4) {
        // Below 1e-4, or rounded up to 1e+06: exponent form.
        *at++ = six[0];
        if (kept > 1) {
            *at++ = '.';
            for (int i = 1; i < kept; ++i) *at++ = six[i];
        }
        *at++ = 'e';
        *at++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        *at++ = static_cast<char>('0' + magnitude / 10);
        *at++ = static_cast<char>('0' + magnitude % 10);
    } else if (exponent >= 0) {
        for (int i = 0; i <= exponent; ++i) *at++ = six[i];
        if (kept > exponent + 1) {
            *at++ = '.';
            for (int i = exponent + 1; i < kept; ++i) *at++ = six[i];
        }
    } else {
        *at++ = '0';
        *at++ = '.';
        for (int i = exponent; i < -1; ++i) *at++ = '0';
        for (int i = 0; i < kept; ++i) *at++ = six[i];
    }
    return at;
}

}  // namespace

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
