#pragma once
// Numbers in input fields, read with the C library's rules: leading white
// space skipped, an optional sign, conversion up to the first character that
// does not fit, 0 when nothing fits. Nothing is validated or reported.

#include <cstdint>
#include <string_view>

namespace at {

// A whole count or id, read as strtoll reads base 10: 64-bit, and a value
// past the 64-bit range is held at the nearest end of the range.
std::int64_t to_whole(std::string_view text);

// A fractional value, read exactly as atof reads it: decimal and hexadecimal
// forms, inf, infinity and nan, with or without a sign.
double to_real(std::string_view text);

// The value as the tables keep it: atof's double rounded to single precision.
inline float to_single(std::string_view text) { return static_cast<float>(to_real(text)); }

}  // namespace at
