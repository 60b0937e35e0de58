#pragma once
// Cutting table lines into their fields.
//
// The two-column tables every program reads and writes: a key, a TAB and a
// value. The value is all the text after the first TAB (a further TAB ends
// its number). A line without a TAB is not rejected: the whole line is both
// its key and its value text, so a header word becomes a key worth 0.

#include <cstring>
#include <string_view>

#include "common/line_reader.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace at {

struct TwoColumnRow {
    std::string_view key;
    std::string_view value;
};

inline TwoColumnRow split_row(std::string_view line) {
    const auto tab = line.find('\t');
    if (tab == std::string_view::npos) return {line, line};
    return {line.substr(0, tab), line.substr(tab + 1)};
}

#if defined(__SSE2__)
// The bytes equal to `one` or `other` among the sixteen at `at`, bit i for
// byte i, leaving out those from `left` on.
inline unsigned matches_in_sixteen(const char* at, std::size_t left, char one, char other) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    auto found = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(one)), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(other)))));
    if (left < 16) found &= (1u << left) - 1;
    return found;
}
#endif

// The first of two bytes in [at, end), or `end`, looked for sixteen bytes at
// a time: the bytes are part of a line (or a block of lines) from a
// LineReader, of which up to fifteen past `end` may be read.
inline const char* first_of_in_line(const char* at, const char* end, char one, char other) {
    static_assert(LineReader::readable_past_line >= 16);
#if defined(__SSE2__)
    for (; at < end; at += 16) {
        const unsigned found = matches_in_sixteen(at, static_cast<std::size_t>(end - at), one, other);
        if (found != 0) return at + __builtin_ctz(found);
    }
    return end;
#else
    for (; at != end; ++at) {
        if (*at == one || *at == other) return at;
    }
    return end;
#endif
}

// The same as split_row for a line from a LineReader: the TAB of a short
// line is found in one compare of sixteen bytes instead of a call to memchr.
inline TwoColumnRow split_row_in_line(std::string_view line) {
    static_assert(LineReader::readable_past_line >= 16);
#if defined(__SSE2__)
    const unsigned tabs = matches_in_sixteen(line.data(), line.size(), '\t', '\t');
    if (tabs != 0) {
        const auto tab = static_cast<std::size_t>(__builtin_ctz(tabs));
        return {line.substr(0, tab), line.substr(tab + 1)};
    }
    if (line.size() <= 16) return {line, line};
#endif
    return split_row(line);
}

// The next piece of a list cut at `separator` as strtok cuts it: a run of
// separators is one, and separators at the start or the end make no empty
// piece. Used for the ";" of lineages and the "," of mapping entry lists.
inline bool next_piece(std::string_view& rest, char separator, std::string_view& piece) {
    while (!rest.empty()) {
        const void* found = std::memchr(rest.data(), separator, rest.size());
        const std::size_t length =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - rest.data()) : rest.size();
        piece = rest.substr(0, length);
        rest.remove_prefix(found ? length + 1 : length);
        if (length != 0) return true;
    }
    return false;
}

}  // namespace at
