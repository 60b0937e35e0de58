#pragma once
// How a line of the classifier's per-read taxonomy file is cut into its
// pieces: "read ID<TAB>k__Bacteria(100);p__Firmicutes(98);...;u__17(70);".
// readtally, strayreads and lineagetree read the same file.
//
// A token is one taxon entry between ";" separators:
//   rank letter   its first character (k p c o f g s u)
//   taxon label   the token cut before its first "(": rank letter, "__", name
//   taxon name    from the fourth character up to the token's first "("

#include <cstddef>
#include <string_view>

#include "common/fast/byte_search.hpp"
#include "common/taxonomy/ranks.hpp"

namespace at::taxonomy {

// The place of a line's first TAB; its size when it has none.
inline std::size_t tab_place(std::string_view line) {
    return static_cast<std::size_t>(fast::find_either(line.data(), line.data() + line.size(), '\t', '\t') - line.data());
}

// The read ID: the text before the first TAB, the whole line when it has none.
inline std::string_view read_id_of(std::string_view line) { return line.substr(0, tab_place(line)); }

// The lineage: the text after the first TAB, the whole line when it has none.
inline std::string_view lineage_of(std::string_view line) {
    const std::size_t tab = tab_place(line);
    return tab == line.size() ? line : line.substr(tab + 1);
}

// What the classifier writes for a rank it left unassigned.
constexpr std::string_view unclassified_marker = "unclassified";
// A rank below the confidence cutoff is also written as the last label the
// classifier accepted plus this suffix (g__Kitasatospora_unclassified(99)).
constexpr std::string_view below_cutoff_suffix = "_unclassified";
// The label the classifier gives a read it could not place even in a kingdom.
constexpr std::string_view unplaced_label = "unknown";

class Token {
public:
    // A token shorter than its rank prefix has no taxon name.
    static constexpr std::size_t name_offset = rank_prefix_size;

    Token() = default;
    // first_paren: the index of the token's first "(", npos when it has none.
    Token(std::string_view text, std::size_t first_paren) : text_(text), first_paren_(first_paren) {}
    explicit Token(std::string_view text) : Token(text, text.find('(')) {}

    std::string_view text() const { return text_; }
    char rank_letter() const { return text_.front(); }
    // The token without its confidence, as in "p__Firmicutes".
    std::string_view label() const { return text_.substr(0, first_paren_); }
    bool has_name() const { return text_.size() >= name_offset; }
    // From index 3 up to the first "(". When that "(" stands before index 3,
    // or there is none, the name runs to the token's end. Only for a token
    // that has_name().
    std::string_view name() const {
        if (first_paren_ == std::string_view::npos || first_paren_ < name_offset) return text_.substr(name_offset);
        return text_.substr(name_offset, first_paren_ - name_offset);
    }
    // The token up to the end of its taxon name: its label, or the whole
    // token when its "(" stands inside the rank prefix. A token made of this
    // text has the same label and name.
    std::string_view through_name() const { return first_paren_ < name_offset ? text_ : label(); }

    bool holds_unclassified_marker() const { return fast::contains(text_, unclassified_marker); }
    // A name such as "Kitasatospora_unclassified": a rank below the cutoff.
    bool names_rank_below_cutoff() const { return has_name() && name().ends_with(below_cutoff_suffix); }

private:
    std::string_view text_;
    std::size_t first_paren_ = std::string_view::npos;
};

// The tokens of a lineage, cut at ";" as strtok cuts: a run of ";" is one
// separator and no token is ever empty.
class Tokens {
public:
    explicit Tokens(std::string_view lineage) : at_(lineage.data()), end_(lineage.data() + lineage.size()) {}

    bool next(Token& token) {
        while (at_ != end_) {
            const char* const start = at_;
            // The first ";" or "(", then, past a "(", the ";".
            const char* stop = fast::find_either(start, end_, ';', '(');
            std::size_t first_paren = std::string_view::npos;
            if (stop != end_ && *stop == '(') {
                first_paren = static_cast<std::size_t>(stop - start);
                while (stop != end_ && *stop != ';') ++stop;  // past the confidence
            }
            at_ = stop == end_ ? end_ : stop + 1;
            if (stop != start) {
                token = Token(std::string_view(start, static_cast<std::size_t>(stop - start)), first_paren);
                return true;
            }
        }
        return false;
    }

private:
    const char* at_;
    const char* end_;
};

}  // namespace at::taxonomy
