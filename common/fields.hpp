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

// The same for a line from a LineReader, of which sixteen bytes may be read
// whatever its length: the TAB of a short line is found in one compare of
// those bytes instead of a call to memchr.
inline TwoColumnRow split_row_in_line(std::string_view line) {
    static_assert(LineReader::readable_past_line >= 16);
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data()));
    unsigned tabs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
    // Only the TABs within the line.
    if (line.size() < 16) tabs &= (1u << line.size()) - 1;
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
