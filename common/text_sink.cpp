#include "common/text_sink.hpp"

#include <charconv>

namespace at {

void append_whole(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void append_real(std::string& out, float value) {
    // to_chars in general form with six digits is %g to the byte, NaN and
    // infinity included, without the C library's locale and varargs cost.
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::general, 6);
    out.append(text, result.ptr);
}

}  // namespace at
