#include "lineagetree/lineagetree.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/fast/sums.hpp"
#include "common/taxonomy/classification.hpp"
#include "lineagetree/tree_writer.hpp"

namespace at::lineagetree {

namespace {

using taxonomy::Token;

// The rank of the last token that set one.
enum class RankState { none, kingdom, phylum, class_, order, family, genus, species, otu };

// The taxon name the bare marker "unclassified" yields (its text from the
// fourth character). A marker right after a token of this name, such as
// "Unclassified", is taken for a repeat of a marker already seen and is not
// counted.
constexpr std::string_view marker_name = "lassified";

// A token of a line as the tree needs it: a token that begins with "un" (the
// classifier's marker) counts under its whole text, any other by its rank
// letter and taxon name, which the token cut after its name keeps.
std::string_view tree_text(const Token& token) {
    return token.text().starts_with("un") ? token.text() : token.through_name();
}

// Runs the tokens of one line through the rank state machine and counts
// `lines` in the level maps for each taxon it nests. Each counted token goes
// under the previous name, the taxon name of the token before it; a token
// that ends the line (an OTU, a marker, a rank below the cutoff) counts in
// the level map below the rank state. The state starts afresh on every
// line, so a line never nests under what the line before it ended with.
void count_line(std::string_view tokens_text, std::int64_t lines, Tree& tree) {
    RankState rank = RankState::none;
    std::string_view previous_name;
    const auto count = [&](Level level, std::string_view child) { tree.levels[level][previous_name][child] += lines; };
    const auto count_closing = [&](std::string_view child) {
        if (rank >= RankState::phylum && rank <= RankState::species) {
            count(static_cast<Level>(static_cast<int>(rank) - static_cast<int>(RankState::phylum)), child);
        }
    };
    taxonomy::Tokens tokens(tokens_text);
    Token token;
    while (tokens.next(token)) {
        // Too short to hold a name, such as the lone CR after a CRLF line's
        // last ";": it neither counts nor changes the state.
        if (!token.has_name()) continue;
        const std::string_view name = token.name();
        if (token.names_rank_below_cutoff()) {
            // The classifier's present form of the bare marker: the same count.
            if (previous_name != marker_name) count_closing(taxonomy::unclassified_marker);
            return;
        }
        switch (token.rank_letter()) {
            case 'k': rank = RankState::kingdom; break;
            case 'p': rank = RankState::phylum; break;
            case 'c': count(class_level, name); rank = RankState::class_; break;
            case 'o': count(order_level, name); rank = RankState::order; break;
            case 'f': count(family_level, name); rank = RankState::family; break;
            case 'g': count(genus_level, name); rank = RankState::genus; break;
            case 's': count(species_level, name); rank = RankState::species; break;
            case 'u':
                if (token.text()[1] == '_') {
                    count_closing(name);
                    return;
                }
                if (token.text()[1] == 'n') {
                    // The bare marker, and any other token the classifier
                    // begins with "un": counted whole, as written.
                    if (previous_name != marker_name) count_closing(token.text());
                    return;
                }
                break;
            default: break;  // no rank; only its name is carried on
        }
        previous_name = name;
    }
}

}  // namespace

void write_tree(LineReader& classification, OutputSet& outputs) {
    // Lines whose tokens differ only in their confidences count the same:
    // each such line is kept once, with the number of its lines, and counted
    // into the tree at the end.
    fast::Sums<std::int64_t> lines_by_tokens;
    std::string tokens_text;
    std::string_view line;
    while (classification.next(line)) {
        tokens_text.clear();
        taxonomy::Tokens tokens(taxonomy::lineage_of(line));
        Token token;
        while (tokens.next(token)) {
            tokens_text += tree_text(token);
            tokens_text += ';';
        }
        lines_by_tokens.add(tokens_text, 1);
    }

    Tree tree;
    lines_by_tokens.totals().for_each([&tree](std::string_view tokens, std::int64_t lines) { count_line(tokens, lines, tree); });
    write_taxonomy(tree, outputs.create("taxonomy.json"));
}

}  // namespace at::lineagetree
