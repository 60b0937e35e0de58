#pragma once
// The number formats of every table: whole numbers in plain decimal,
// fractional values as single precision widened to double and written as %g
// writes them (six significant digits: 12.5, 33.3333, 1e+06, inf, -nan).

#include <cstddef>
#include <cstdint>

namespace at {

// The longest text of a number below.
constexpr std::size_t longest_number = 24;

// Write a number's text at `out` (room for longest_number characters) and
// return the end of what they wrote.
char* format_whole(char* out, std::int64_t value);
char* format_real(char* out, float value);

}  // namespace at
