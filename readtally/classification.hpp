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
// one separator and no token is ever empty.
class Tokens {
public:
    explicit Tokens(std::string_view lineage) : rest_(lineage) {}

    bool next(std::string_view& token) {
        while (!rest_.empty()) {
            const void* found = std::memchr(rest_.data(), ';', rest_.size());
            const std::size_t length =
                found ? static_cast<std::size_t>(static_cast<const char*>(found) - rest_.data()) : rest_.size();
            token = rest_.substr(0, length);
            rest_.remove_prefix(found ? length + 1 : length);
            if (length != 0) return true;
        }
        return false;
    }

private:
    std::string_view rest_;
};

inline char rank_letter(std::string_view token) { return token.front(); }

// The token before its first "(" (the whole token when it has none): the
// taxon label without its confidence, as in "p__Firmicutes".
inline std::string_view taxon_label(std::string_view token) {
    const auto paren = token.find('(');
    return paren == std::string_view::npos ? token : token.substr(0, paren);
}

inline bool has_taxon_name(std::string_view token) { return token.size() >= name_offset; }

// The taxon name: from index 3 up to the token's first "(". When that "("
// stands before index 3, or there is none, the name runs to the token's end.
// Only for tokens that has_taxon_name().
inline std::string_view taxon_name(std::string_view token) {
    const auto paren = token.find('(');
    if (paren == std::string_view::npos || paren < name_offset) return token.substr(name_offset);
    return token.substr(name_offset, paren - name_offset);
}

// The classifier writes each rank below its confidence cutoff as the last
// label it accepted plus "_unclassified" (g__Kitasatospora_unclassified(99)),
// where older versions wrote the bare word "unclassified". A taxon name that
// is exactly "unclassified" carries no such suffix.
constexpr std::string_view below_cutoff_suffix = "_unclassified";

inline bool marks_rank_below_cutoff(std::string_view taxon_name) {
    return taxon_name.ends_with(below_cutoff_suffix);
}

}  // namespace at::classification
