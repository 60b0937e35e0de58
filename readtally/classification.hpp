#pragma once
// How a line of the classifier's per-read taxonomy file is cut into its
// pieces. Shared by readtally, strayreads and lineagetree, which read the same
// file: "read ID<TAB>k__Bacteria(100);p__Firmicutes(98);...;u__17(70);".
//
// Token names (a token is one taxon entry between ";" separators):
//   rank letter   the token's first character (k p c o f g s u)
//   taxon label   the token cut before its first "(": rank letter, "__", name
//   taxon name    from the fourth character up to the token's first "("

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace at::classification {

// A token shorter than this has no taxon name (the name starts at index 3).
constexpr std::size_t name_offset = 3;

// The read ID: the text before the first TAB, the whole line when it has none.
inline std::string_view read_id_of(std::string_view line) {
    const auto tab = line.find('\t');
    return tab == std::string_view::npos ? line : line.substr(0, tab);
}

// The lineage: the text after the first TAB, the whole line when it has none.
inline std::string_view lineage_of(std::string_view line) {
    const auto tab = line.find('\t');
    return tab == std::string_view::npos ? line : line.substr(tab + 1);
}

// The taxon tokens of a lineage, cut at ";" as strtok cuts: a run of ";" is
// one separator and no token is ever empty. Each token is found with one scan
// that also notes where its first "(" stands, so that the taxon label and
// name need no second search.
class Tokens {
public:
    explicit Tokens(std::string_view lineage) : data_(lineage.data()), size_(lineage.size()) {}

    bool next(std::string_view& token) {
        while (position_ < size_) {
            const std::size_t start = position_;
            std::size_t stop = size_;
            first_paren_ = std::string_view::npos;
            scan(start, stop);
            position_ = stop < size_ ? stop + 1 : size_;
            if (stop != start) {
                token = std::string_view(data_ + start, stop - start);
                if (first_paren_ != std::string_view::npos) first_paren_ -= start;
                return true;
            }
        }
        return false;
    }

    // Index of the first "(" in the token last returned, npos when it has none.
    std::size_t first_paren() const { return first_paren_; }

private:
    // Finds the ";" that ends the token starting at `start` (stop stays at
    // the lineage's end when there is none) and the first "(" before it.
    void scan(std::size_t start, std::size_t& stop) {
        std::size_t at = start;
#if defined(__SSE2__)
        const __m128i semicolons = _mm_set1_epi8(';');
        const __m128i parens = _mm_set1_epi8('(');
        if (size_ >= 16) {
            while (at < size_) {
                // The last chunk is loaded so that it ends at the lineage's end,
                // and the bytes before `at` that it covers again are masked off.
                const std::size_t load_at = at + 16 <= size_ ? at : size_ - 16;
                const unsigned fresh = ~0u << (at - load_at);
                const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + load_at));
                const unsigned semicolon_bits =
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, semicolons))) & fresh;
                unsigned paren_bits =
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, parens))) & fresh;
                if (semicolon_bits != 0) {
                    // Only a "(" before the ";" belongs to this token.
                    paren_bits &= (semicolon_bits & -semicolon_bits) - 1;
                }
                if (paren_bits != 0 && first_paren_ == std::string_view::npos) {
                    first_paren_ = load_at + static_cast<std::size_t>(__builtin_ctz(paren_bits));
                }
                if (semicolon_bits != 0) {
                    stop = load_at + static_cast<std::size_t>(__builtin_ctz(semicolon_bits));
                    return;
                }
                at = load_at + 16;
            }
            return;
        }
#endif
        for (; at < size_; ++at) {
            if (data_[at] == ';') {
                stop = at;
                return;
            }
            if (data_[at] == '(' && first_paren_ == std::string_view::npos) first_paren_ = at;
        }
    }

    const char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::size_t first_paren_ = std::string_view::npos;
};

inline char rank_letter(std::string_view token) { return token.front(); }

// The token before its first "(" (the whole token when it has none): the
// taxon label without its confidence, as in "p__Firmicutes".
// first_paren is the index of the token's first "(" (Tokens::first_paren()),
// npos when it has none.
inline std::string_view taxon_label(std::string_view token, std::size_t first_paren) {
    return first_paren == std::string_view::npos ? token : token.substr(0, first_paren);
}

inline std::string_view taxon_label(std::string_view token) { return taxon_label(token, token.find('(')); }

inline bool has_taxon_name(std::string_view token) { return token.size() >= name_offset; }

// The taxon name: from index 3 up to the token's first "(". When that "("
// stands before index 3, or there is none, the name runs to the token's end.
// Only for tokens that has_taxon_name().
inline std::string_view taxon_name(std::string_view token, std::size_t first_paren) {
    if (first_paren == std::string_view::npos || first_paren < name_offset) return token.substr(name_offset);
    return token.substr(name_offset, first_paren - name_offset);
}

inline std::string_view taxon_name(std::string_view token) { return taxon_name(token, token.find('(')); }

// The classifier writes each rank below its confidence cutoff as the last
// label it accepted plus "_unclassified" (g__Kitasatospora_unclassified(99)),
// where older versions wrote the bare word "unclassified". A taxon name that
// is exactly "unclassified" carries no such suffix.
constexpr std::string_view below_cutoff_suffix = "_unclassified";

inline bool marks_rank_below_cutoff(std::string_view taxon_name) {
    return taxon_name.ends_with(below_cutoff_suffix);
}

}  // namespace at::classification
