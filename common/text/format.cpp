#include "common/text/format.hpp"

#include <charconv>

namespace at {

char* format_whole(char* out, std::int64_t value) { return std::to_chars(out, out + longest_number, value).ptr; }

char* format_real(char* out, float value) {
    // to_chars in general form with six digits is %g to the byte, NaN and
    // infinity included, without the C library's locale.
    return std::to_chars(out, out + longest_number, static_cast<double>(value), std::chars_format::general, 6).ptr;
}

}  // namespace at
