#pragma once
// Searches over the bytes of every line, sixteen bytes at a time where the
// processor has SSE2: the TAB after each line's read ID is looked for (as
// either of one byte), cutting lineages into tokens looks for ";" and "(" in
// every byte, and the classifier's markers are looked for in every line.

#include <algorithm>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace at::fast {

// The plain twin of find_either, which it must agree with.
inline const char* find_either_plainly(const char* at, const char* end, char one, char other) {
    for (; at != end; ++at) {
        if (*at == one || *at == other) break;
    }
    return at;
}

// The first byte in [at, end) that is `one` or `other`; `end` when none is.
// Reads no byte outside the range.
inline const char* find_either(const char* at, const char* end, char one, char other) {
#if defined(__SSE2__)
    const __m128i ones = _mm_set1_epi8(one);
    const __m128i others = _mm_set1_epi8(other);
    for (; end - at >= 16; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const int found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, ones), _mm_cmpeq_epi8(bytes, others)));
        if (found != 0) return at + __builtin_ctz(static_cast<unsigned>(found));
    }
#endif
    return find_either_plainly(at, end, one, other);
}

// The plain twin of contains, which it must agree with.
inline bool contains_plainly(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Whether `part` stands anywhere in `text`. Candidates are the places where
// the first and the last byte of `part` stand at the right distance, found
// sixteen places at a time; each is then compared whole. The last sixteen
// places are looked at from the end of the text, over places looked at
// before, so that no place is left to a search of its own.
inline bool contains(std::string_view text, std::string_view part) {
#if defined(__SSE2__)
    if (part.size() >= 2 && text.size() >= part.size() - 1 + 16) {
        const std::size_t last = part.size() - 1;
        const std::size_t final_window = text.size() - last - 16;
        const __m128i firsts = _mm_set1_epi8(part.front());
        const __m128i lasts = _mm_set1_epi8(part.back());
        for (std::size_t window = 0;; window = std::min(window + 16, final_window)) {
            const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + window));
            const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + window + last));
            auto candidates = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, firsts), _mm_cmpeq_epi8(ends, lasts))));
            for (; candidates != 0; candidates &= candidates - 1) {
                const std::size_t place = window + static_cast<std::size_t>(__builtin_ctz(candidates));
                if (std::memcmp(text.data() + place + 1, part.data() + 1, last - 1) == 0) return true;
            }
            if (window == final_window) return false;
        }
    }
#endif
    return contains_plainly(text, part);
}

}  // namespace at::fast
