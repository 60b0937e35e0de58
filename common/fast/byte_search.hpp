#pragma once
// The first of two bytes in a range, looked for sixteen bytes at a time
// where the processor has SSE2. Cutting lineages into tokens looks for ";"
// and "(" in every byte of every line.

#include <cstring>

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

}  // namespace at::fast
